#pragma once

namespace pd::test {

// The statuses a failing device reports (their values are SANE's own).
enum class SaneStatus {
    Invalid = 4, // SANE_STATUS_INVAL: what opening a device that is no longer there gives
    Jammed = 6,
    CoverOpen = 8,
    IoError = 9,
};

// Where in its life a device fails.
enum class SaneStage {
    Open, // it is listed, but opening it fails
    Start, // starting a page fails, as a real feeder reports a jam or an open cover
    Read, // the page is read whole, then its end is reported as the failure
};

struct SaneFault {
    SaneStage stage = SaneStage::Read;
    SaneStatus status = SaneStatus::IoError;
    int page = 1; // the page, counted by its start from 1, that fails first (Start and Read)
    bool lasting = true; // every later page fails likewise; false: this page only
    bool gone = false; // from the failure on, the device is no longer listed and cannot be opened
};

// A device fault for as long as the object lives. The test program's own definitions of the SANE
// entry points stand in front of libsane's (they win at link time) and pass every call through,
// unless a fault is in place. A failing read lets the backend deliver the whole page first and
// reports the failure at the page's end. One object at a time.
class SaneFaults {
public:
    explicit SaneFaults(const SaneFault& fault);
    ~SaneFaults();
    SaneFaults(const SaneFaults&) = delete;
    SaneFaults& operator=(const SaneFaults&) = delete;

    // Pages started (or refused at their start) since the object was made.
    int PagesStarted() const;
    // Whether the fault has struck.
    bool Struck() const;
};

} // namespace pd::test
