#pragma once

#include <cstdint>
#include <sys/types.h>

#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

namespace pd::platform {

// Creation flags of CreateProcess. The priority classes become nice values; the console flag
// is kept as a value and has no effect.
inline constexpr std::uint32_t CREATE_NEW_CONSOLE = 0x10;
inline constexpr std::uint32_t NORMAL_PRIORITY_CLASS = 0x20;
inline constexpr std::uint32_t IDLE_PRIORITY_CLASS = 0x40;
inline constexpr std::uint32_t HIGH_PRIORITY_CLASS = 0x80;
inline constexpr std::uint32_t REALTIME_PRIORITY_CLASS = 0x100;

// The start-up record: kept as the values the caller sets; on Linux no field has an effect.
inline constexpr std::uint32_t STARTF_USESHOWWINDOW = 0x1;
inline constexpr std::uint32_t kStartupInfoSize = 68;
struct STARTUPINFO {
    std::uint32_t cb = 0;
    std::uint32_t dwFlags = 0;
    std::uint16_t wShowWindow = 0;
};

// A started child process. Closing the handle (destroying it) never stops the process; one
// still running is reaped by a waiting thread once it ends, so it leaves no zombie. Move-only.
class ProcessHandle {
public:
    ProcessHandle() = default;
    ProcessHandle(pid_t pid, int pidFd);
    ~ProcessHandle();
    ProcessHandle(ProcessHandle&& other) noexcept;
    ProcessHandle& operator=(ProcessHandle&& other) noexcept;
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;

    bool IsValid() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // Readable once the process has ended; -1 where the kernel offers no process descriptors.
    int PidFd() const { return m_pidFd; }

private:
    friend bool GetExitCodeProcess(ProcessHandle& process, std::uint32_t* exitCode);
    friend std::uint32_t WaitForSingleObject(const ProcessHandle& process, std::uint32_t milliseconds);
    void Close();

    pid_t m_pid = -1;
    int m_pidFd = -1;
    bool m_reaped = false;
    std::uint32_t m_exitCode = 0;
};

struct PROCESS_INFORMATION {
    ProcessHandle hProcess;
    std::uint32_t dwProcessId = 0;
};

// Stand-in for CreateProcess without a separate application name, without inherited handles,
// in the caller's environment and current folder. The command line is split into an argument
// vector by SplitCommandLine (never handed to a shell); its first word is the program, searched
// on PATH when it holds no "/". A priority class in creationFlags sets the nice value of the
// new process (normal 0, idle 19, high -5, real time -10; a refused change is ignored). True
// when the program runs; false with GetLastError() = the errno of the failed start (EINVAL for
// an empty or badly quoted command line, ENOENT for a program not found).
bool CreateProcess(const QString& commandLine, std::uint32_t creationFlags, const STARTUPINFO& startupInfo,
    PROCESS_INFORMATION* processInformation);

// The error code of the last failed platform call of this thread (an errno value).
std::uint32_t GetLastError();
void SetLastError(std::uint32_t error);

inline constexpr std::uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr std::uint32_t WAIT_OBJECT_0 = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT = 258;
inline constexpr std::uint32_t WAIT_FAILED = 0xFFFFFFFF;
inline constexpr std::uint32_t STILL_ACTIVE = 259;

// Stand-in for WaitForSingleObject on a process: WAIT_OBJECT_0 once it has ended, WAIT_TIMEOUT
// when it still runs after the given milliseconds (0 tests without blocking, INFINITE blocks
// without using the processor), WAIT_FAILED for an invalid handle.
std::uint32_t WaitForSingleObject(const ProcessHandle& process, std::uint32_t milliseconds);

// Stand-in for GetExitCodeProcess: the exit status of an ended process (128 + the signal number
// for one killed by a signal), STILL_ACTIVE while it runs. False for an invalid handle.
bool GetExitCodeProcess(ProcessHandle& process, std::uint32_t* exitCode);

// Emits ended() once on the event loop when the process has ended, so a caller can keep its
// windows working while it waits without polling. The process is left for GetExitCodeProcess.
class ProcessEndNotifier : public QObject {
    Q_OBJECT
public:
    explicit ProcessEndNotifier(const ProcessHandle& process, QObject* parent = nullptr);

signals:
    void ended();

private:
    void Check();

    const ProcessHandle& m_process;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_timer = nullptr;
    bool m_ended = false;
};

} // namespace pd::platform
