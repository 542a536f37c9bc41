#pragma once

#include <functional>
#include <future>

namespace pd::scan {

// Writes the kept pages of a scan on a thread of its own, so that the scanner reads the next page
// while one is encoded into the PDF. Pages are written one at a time in the order they were added;
// at most one is in flight, so memory does not grow with the page count. Nobody else may use the
// PDF file while a page is in flight: Finish first.
class PageWriter {
public:
    PageWriter() = default;
    // Waits for the page in flight; an error of its writing is dropped.
    ~PageWriter();
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    // Waits for the page before (Finish), then starts write. write owns its page and lets go of it
    // also when it fails. Where no thread can be started, write runs here and now.
    void Add(std::function<void()> write);

    // Waits for the page in flight and rethrows what its writing threw.
    void Finish();

private:
    std::future<void> m_inFlight;
};

} // namespace pd::scan
