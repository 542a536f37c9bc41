#pragma once

#include <cstdint>
#include <functional>

#include <QObject>
#include <QString>

#include "platform/process.h"

namespace pd::mail {

// Starts a command line as a new process and, when that fails and Associate is set, the program
// associated with CommandLine as a document; optionally waits for the process to end. Programs
// get an argument vector, never a shell, and the paths on the second attempt are quoted where
// they need it, so blanks or quotes in a path reach the program whole.
class TExecFile : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Associate READ Associate WRITE SetAssociate)
    Q_PROPERTY(QString CommandLine READ CommandLine WRITE SetCommandLine)
    Q_PROPERTY(QString Parameters READ Parameters WRITE SetParameters)
    Q_PROPERTY(TPriorityClass Priority READ Priority WRITE SetPriority)
    Q_PROPERTY(bool Wait READ Wait WRITE SetWait)
    Q_PROPERTY(TWaitStyle WaitStyle READ WaitStyle WRITE SetWaitStyle)
    Q_PROPERTY(TWindowStyle WindowStyle READ WindowStyle WRITE SetWindowStyle)

public:
    // Initial window state of the new process; kept in the start-up record, no effect on Linux.
    // The enumerations have a fixed underlying type: a value stored from outside their range (a
    // property written through the meta-object, a cast) stays defined and takes the fallback.
    enum TWindowStyle : int { wsNorm, wsMinimize, wsMaximize, wsHide, wsMinNoActivate, wsShowNoActivate };
    Q_ENUM(TWindowStyle)
    enum TPriorityClass : int { pcNormal, pcIdle, pcHigh, pcRealTime };
    Q_ENUM(TPriorityClass)
    // wRegular keeps the event loop running and fetches the exit code; wSuspend blocks.
    enum TWaitStyle : int { wRegular, wSuspend };
    Q_ENUM(TWaitStyle)

    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TExecFile(QObject* owner = nullptr);

    bool Associate() const { return m_associate; }
    void SetAssociate(bool associate) { m_associate = associate; }
    QString CommandLine() const { return m_commandLine; }
    void SetCommandLine(const QString& commandLine) { m_commandLine = commandLine; }
    QString Parameters() const { return m_parameters; }
    void SetParameters(const QString& parameters) { m_parameters = parameters; }
    TPriorityClass Priority() const { return m_priority; }
    void SetPriority(TPriorityClass priority) { m_priority = priority; }
    bool Wait() const { return m_wait; }
    void SetWait(bool wait) { m_wait = wait; }
    TWaitStyle WaitStyle() const { return m_waitStyle; }
    void SetWaitStyle(TWaitStyle waitStyle) { m_waitStyle = waitStyle; }
    TWindowStyle WindowStyle() const { return m_windowStyle; }
    void SetWindowStyle(TWindowStyle windowStyle) { m_windowStyle = windowStyle; }
    // Called with this component when no process could be started.
    const TNotifyEvent& OnFail() const { return m_onFail; }
    void SetOnFail(TNotifyEvent onFail) { m_onFail = std::move(onFail); }

    // True when a process was started and, with Wait, has ended (or the program is quitting).
    bool Execute();

    // The errno of the failed start; valid when OnFail runs.
    std::uint32_t LastError() const { return m_lastError; }
    // The exit code of the process after a wRegular wait.
    std::uint32_t ExitCode() const { return m_exitCode; }
    // The program text used for the second start attempt.
    QString AssociatedProgram() const { return m_associatedProgram; }
    // True while Execute waits.
    bool Running() const { return m_running; }
    const platform::STARTUPINFO& StartupInfo() const { return m_startupInfo; }
    const platform::PROCESS_INFORMATION& ProcessInformation() const { return m_processInformation; }
    std::uint32_t CreationFlags() const { return m_creationFlags; }

private:
    void PrepareStart();
    bool StartProcess(const QString& command);
    bool FindSecondCommand(QString* command);
    bool Fail();
    void WaitForProcess();
    void WaitRegular();

    bool m_associate = false;
    QString m_commandLine;
    QString m_parameters;
    TPriorityClass m_priority = pcNormal;
    bool m_wait = false;
    TWaitStyle m_waitStyle = wRegular;
    TWindowStyle m_windowStyle = wsNorm;
    TNotifyEvent m_onFail;

    std::uint32_t m_lastError = 0;
    std::uint32_t m_exitCode = 0;
    QString m_associatedProgram;
    bool m_running = false;
    platform::STARTUPINFO m_startupInfo;
    std::uint32_t m_creationFlags = 0;
    platform::PROCESS_INFORMATION m_processInformation;
};

// Opens the file with the program associated with its type, waiting for that program when wait
// is set. True when a process was started. Shows nothing and logs nothing.
bool OpenWithAssociatedProgram(const QString& filePath, bool wait);

// The view command of the file's type from the file-type tables: the program (the first word of
// the command, resolved on PATH) followed by a blank and the file path in double quotes. False
// when the type has no command, the program does not exist, or anything fails.
bool FindAssociatedProgram(const QString& filePath, QString& command);

} // namespace pd::mail
