#pragma once

#include <memory>

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace pd::app {
class TForm_Paperdart;
}

namespace pd::settings {
class TForm_MAILConfig;
}

namespace pd::app::test {

// A workstation of the run's own for many scan-and-send jobs in one process, shared by the soak
// test and its memory benchmark: SANE's test scanner with a feeder of ten pages at a low
// resolution, a mail program that only records the message file it was given, and private
// temporary, home, configuration and program folders. The two windows are made as the program
// makes them; each job is a press of "&Scan ADF && Sende an...". Every job gets a minute of its own,
// so each job's files have names of their own. Needs the QApplication; nothing in the process
// may have started SANE before the first desk.
class SoakDesk {
public:
    struct Job {
        QString pdfPath; // the job's PDF as the main window names it
        bool pdfWritten = false;
        bool messageWritten = false;
        bool handedOver = false; // the mail program got exactly this job's message file
        QStringList windows; // modal windows other than the progress window; each was closed
    };

    SoakDesk();
    ~SoakDesk();
    SoakDesk(const SoakDesk&) = delete;
    SoakDesk& operator=(const SoakDesk&) = delete;

    // A press of "&Scan ADF && Sende an..." (feeder) or of "&Scan && Sende an..."; the page
    // question of the glass is answered no, as every other window is closed.
    Job RunJob(bool feeder = true);
    // The program's monthly log files, as they stand.
    QString LogText() const;
    // The job folder's parent: the run's temporary folder, with a trailing "/".
    QString TempFolder() const;
    // Everything below the temporary folder, relative to it, hidden entries included.
    QStringList TempEntries() const;
    // The job folder's files after the last job: that job's PDF and message file.
    QStringList LastJobsFiles() const;

private:
    struct Environment;
    class ModalCloser;

    QTemporaryDir m_root;
    std::unique_ptr<Environment> m_environment;
    std::unique_ptr<ModalCloser> m_closer;
    std::unique_ptr<TForm_Paperdart> m_main;
    std::unique_ptr<settings::TForm_MAILConfig> m_config;
    QDateTime m_clock;
    int m_handOvers = 0;
};

// Whether SANE's test backend may stop its page threads with pthread_cancel (off unless asked
// for): cancelled at the end of a page, now and then such a thread takes its buffer with it, which
// a run of many jobs would count as the program's memory.
void LetBackendCancelItsThreads(bool cancel);

// The process's open file descriptors as "number -> what it refers to", once Qt's own worker
// threads have ended.
QStringList OpenFileDescriptors();

// VmRSS and VmHWM of the process in kB (from /proc/self/status); 0 where it cannot be read.
struct ResidentSize {
    long long rssKb = 0;
    long long hwmKb = 0;
};
ResidentSize CurrentResidentSize();

} // namespace pd::app::test
