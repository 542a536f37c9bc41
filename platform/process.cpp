#include "platform/process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include "platform/commandline.h"

extern char** environ;

namespace pd::platform {

namespace {

thread_local std::uint32_t t_lastError = 0;

constexpr int kExecFailed = 127;
constexpr int kNoNiceChange = INT_MIN;
// Where the kernel offers no process descriptors, the end of a process is looked for this often.
constexpr int kFallbackCheckMs = 50;

// Everything the child needs, prepared before forking: after fork() it may not allocate.
struct Launch {
    QByteArray program;
    std::vector<QByteArray> arguments;
    std::vector<char*> argv;
    int niceValue = kNoNiceChange;
};

int NiceValueOf(std::uint32_t creationFlags)
{
    if (creationFlags & REALTIME_PRIORITY_CLASS)
        return -10;
    if (creationFlags & HIGH_PRIORITY_CLASS)
        return -5;
    if (creationFlags & IDLE_PRIORITY_CLASS)
        return 19;
    if (creationFlags & NORMAL_PRIORITY_CLASS)
        return 0;
    return kNoNiceChange;
}

// The child between fork() and exec: only async-signal-safe calls.
[[noreturn]] void RunChild(const Launch& launch, int errorFd)
{
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (launch.niceValue != kNoNiceChange)
        ::setpriority(PRIO_PROCESS, 0, launch.niceValue);
    // Handles are not inherited: every descriptor above the standard three closes on exec.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::execve(launch.program.constData(), launch.argv.data(), environ);
    const int error = errno;
    while (::write(errorFd, &error, sizeof error) < 0 && errno == EINTR) { }
    ::_exit(kExecFailed);
}

// The errno the child reported for a failed exec, 0 when the program runs.
int ReadStartError(int fd)
{
    int error = 0;
    ssize_t n = 0;
    do {
        n = ::read(fd, &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof error) ? error : 0;
}

int OpenPidFd(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool Fail(std::uint32_t error)
{
    t_lastError = error;
    return false;
}

std::uint32_t ExitCodeOf(int status)
{
    if (WIFSIGNALED(status))
        return 128 + static_cast<std::uint32_t>(WTERMSIG(status));
    return static_cast<std::uint32_t>(WEXITSTATUS(status));
}

// A child that is no longer there to wait for (SIGCHLD ignored: the kernel reaped it) has ended.
bool HasEnded(pid_t pid)
{
    siginfo_t info {};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid == pid;
}

} // namespace

ProcessHandle::ProcessHandle(pid_t pid, int pidFd)
    : m_pid(pid)
    , m_pidFd(pidFd)
{
}

ProcessHandle::~ProcessHandle()
{
    Close();
}

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
{
    *this = std::move(other);
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept
{
    if (this != &other) {
        Close();
        m_pid = std::exchange(other.m_pid, -1);
        m_pidFd = std::exchange(other.m_pidFd, -1);
        m_reaped = std::exchange(other.m_reaped, false);
        m_exitCode = std::exchange(other.m_exitCode, 0);
    }
    return *this;
}

void ProcessHandle::Close()
{
    if (m_pidFd >= 0)
        ::close(m_pidFd);
    if (m_pid > 0 && !m_reaped && ::waitpid(m_pid, nullptr, WNOHANG) == 0) {
        const pid_t pid = m_pid;
        std::thread([pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        }).detach();
    }
    m_pid = -1;
    m_pidFd = -1;
    m_reaped = false;
}

bool CreateProcess(const QString& commandLine, std::uint32_t creationFlags, const STARTUPINFO& startupInfo,
    PROCESS_INFORMATION* processInformation)
{
    Q_UNUSED(startupInfo);
    QStringList words;
    if (!SplitCommandLine(commandLine, &words) || words.isEmpty())
        return Fail(EINVAL);
    Launch launch;
    // A path goes to exec as it is, so that its own error (EACCES, ENOEXEC...) is the one reported.
    const QString& name = words.first();
    launch.program = QFile::encodeName(name.contains(QLatin1Char('/')) ? name : SearchPath(name));
    if (launch.program.isEmpty())
        return Fail(ENOENT);
    for (const QString& word : words)
        launch.arguments.push_back(QFile::encodeName(word));
    for (QByteArray& argument : launch.arguments) {
        if (argument.contains('\0'))
            return Fail(EINVAL);
        launch.argv.push_back(argument.data());
    }
    launch.argv.push_back(nullptr);
    launch.niceValue = NiceValueOf(creationFlags);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return Fail(errno);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        RunChild(launch, fds[1]);
    }
    const int forkError = errno;
    ::close(fds[1]);
    const int startError = pid > 0 ? ReadStartError(fds[0]) : forkError;
    ::close(fds[0]);
    if (pid > 0 && startError != 0)
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    if (pid < 0 || startError != 0)
        return Fail(static_cast<std::uint32_t>(startError));
    processInformation->hProcess = ProcessHandle(pid, OpenPidFd(pid));
    processInformation->dwProcessId = static_cast<std::uint32_t>(pid);
    return true;
}

std::uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(std::uint32_t error)
{
    t_lastError = error;
}

std::uint32_t WaitForSingleObject(const ProcessHandle& process, std::uint32_t milliseconds)
{
    if (!process.IsValid())
        return WAIT_FAILED;
    if (process.m_reaped || HasEnded(process.Pid()))
        return WAIT_OBJECT_0;
    if (milliseconds == INFINITE) {
        siginfo_t info {};
        while (::waitid(P_PID, static_cast<id_t>(process.Pid()), &info, WEXITED | WNOWAIT) != 0) {
            if (errno != EINTR)
                return errno == ECHILD ? WAIT_OBJECT_0 : WAIT_FAILED;
        }
        return WAIT_OBJECT_0;
    }
    if (milliseconds == 0)
        return WAIT_TIMEOUT;
    if (process.PidFd() >= 0) {
        pollfd watch { process.PidFd(), POLLIN, 0 };
        const int ready = ::poll(&watch, 1, static_cast<int>(qMin<std::uint32_t>(milliseconds, INT_MAX)));
        return ready > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    for (std::uint32_t waited = 0; waited < milliseconds; waited += 10) {
        ::usleep(10'000);
        if (HasEnded(process.Pid()))
            return WAIT_OBJECT_0;
    }
    return WAIT_TIMEOUT;
}

bool GetExitCodeProcess(ProcessHandle& process, std::uint32_t* exitCode)
{
    if (!process.IsValid())
        return Fail(EINVAL);
    if (!process.m_reaped) {
        int status = 0;
        const pid_t done = ::waitpid(process.Pid(), &status, WNOHANG);
        if (done < 0)
            return Fail(errno);
        if (done == 0) {
            *exitCode = STILL_ACTIVE;
            return true;
        }
        process.m_reaped = true;
        process.m_exitCode = ExitCodeOf(status);
    }
    *exitCode = process.m_exitCode;
    return true;
}

ProcessEndNotifier::ProcessEndNotifier(const ProcessHandle& process, QObject* parent)
    : QObject(parent)
    , m_process(process)
{
    if (process.PidFd() >= 0) {
        m_notifier = new QSocketNotifier(process.PidFd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ProcessEndNotifier::Check);
    } else {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &ProcessEndNotifier::Check);
        m_timer->start(kFallbackCheckMs);
    }
    // An end before the notifier existed is reported on the next turn of the loop.
    QTimer::singleShot(0, this, &ProcessEndNotifier::Check);
}

void ProcessEndNotifier::Check()
{
    if (m_ended || WaitForSingleObject(m_process, 0) != WAIT_OBJECT_0)
        return;
    m_ended = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    if (m_timer)
        m_timer->stop();
    emit ended();
}

} // namespace pd::platform
