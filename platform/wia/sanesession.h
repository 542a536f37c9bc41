#pragma once

#include <array>
#include <atomic>
#include <csignal>
#include <functional>
#include <optional>
#include <sane/sane.h>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include "platform/wia/wia.h"

namespace pd::platform::wia {

class PageAssembler;

// Part of the SANE layer only: numbers in an option's own words (SANE_Fixed for fixed options).
double WordToNumber(const SANE_Option_Descriptor& option, SANE_Word word);
// The word nearest to value that the option's range or list allows; values beyond what a word can
// hold are brought to its limits first.
SANE_Word ConstrainedWord(const SANE_Option_Descriptor& option, double value);

// Part of the SANE layer only: one opened device, its options by name and its scanning state.
// Closing it (the destructor) ends a batch still open and drops a frame started by the feeder
// probe.
class SaneSession {
public:
    // sane_open; throws when the device cannot be opened.
    explicit SaneSession(const QString& deviceName);
    ~SaneSession();
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;

    const QString& Name() const { return m_name; }

    // Closes every session still open, before SANE itself ends: a session kept beyond that (by
    // the imaging library, say) then throws on use and its destructor has nothing left to close.
    static void CloseAll();

    // Options by name; nullopt or empty when the device has no such active option.
    bool HasOption(const char* name) const;
    std::optional<double> NumberOption(const char* name) const;
    QString StringOption(const char* name) const;
    QStringList StringChoices(const char* name) const;
    // True when a number option counts in pixels rather than in its physical unit (scan areas of
    // some backends).
    bool CountsPixels(const char* name) const;
    // Writes a number (the nearest the option's constraint allows) or a string. Ends an open
    // batch first, as devices take no settings while they scan. Throws when the device refuses.
    void SetNumberOption(const char* name, double value);
    void SetStringOption(const char* name, const QString& value);

    // Options by index, for the device's settings window, which is shown between scans: each of
    // these ends a batch still open first, as backends take neither reads nor writes while they
    // scan. Indexes run from 1 to OptionCount() - 1.
    int OptionCount();
    const SANE_Option_Descriptor* Descriptor(int index) const;
    // Reads option index into value, which holds the descriptor's size in bytes.
    void ReadOption(int index, void* value);
    // Writes option index (a button takes no value: value may be null) and gives the SANE_INFO_
    // bits. The cached values are dropped, as one option can change others. what names the write
    // in the error. Throws when the device refuses.
    SANE_Int WriteOption(int index, void* value, const QString& what);

    // Whether paper waits in the feeder: starts the next frame and keeps it for the next Read
    // (a second ask while it waits starts nothing). False for an empty feeder; throws for any
    // other status, as a failed transfer would.
    bool ProbeFeeder();

    // Reads all frames of one page (starting it unless the probe did) and returns the BMP file.
    // A feeder batch stays open for the next page; a flatbed scan is ended. Throws wia::Error,
    // Cancelled() when Cancel stopped it.
    QByteArray ReadPage(bool feederSource, const std::function<void(const TransferProgress&)>& progress);
    // From any thread, while ReadPage runs.
    void Cancel();

private:
    void Close();
    void ThrowWhenClosed() const;
    int OptionIndex(const char* name) const;
    void Start();
    void Stop();
    void RestoreProgramSignals() const;
    int DotsPerInch() const;
    // Reads the frame just started into page.
    void ReadFrame(
        PageAssembler& page, TransferProgress& done, const std::function<void(const TransferProgress&)>& progress);

    // The process's handlers of the signals that end the program in order (SIGTERM, SIGINT,
    // SIGHUP) as they were at sane_open. A backend reading on a thread of its own may set them
    // for that thread, process-wide (the test backend puts SIGTERM back to its default action at
    // each sane_start); they are put back once a frame is read and when a batch ends.
    std::array<struct sigaction, 3> m_programSignals {};

    QString m_name;
    SANE_Handle m_handle = nullptr;
    std::atomic<bool> m_scanning { false }; // sane_start succeeded and no sane_cancel since
    bool m_framePending = false; // the probe started a frame the next ReadPage takes
    int m_pageDpi = 0; // resolution of the page being started, for its BMP header
    std::atomic<bool> m_cancelRequested { false };
    // The last page of a feeder batch, shared with whoever reads it: once they let go of it, the
    // next page of the batch is laid out in its memory. Dropped when the batch ends.
    QByteArray m_lastPage;
    // Last values read or written, answered while a scan runs: the test backend, among others,
    // refuses reading options then.
    mutable QHash<QByteArray, double> m_numbers;
    mutable QHash<QByteArray, QString> m_strings;
};

} // namespace pd::platform::wia
