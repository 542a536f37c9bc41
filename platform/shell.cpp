#include "platform/shell.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QFile>
#include <QLoggingCategory>

#include "platform/commandline.h"

extern char** environ;

namespace pd::platform {

namespace {

Q_LOGGING_CATEGORY(lcShell, "pd.platform", QtInfoMsg)

constexpr char kProgramName[] = "xdg-open";
constexpr int kExecFailed = 127;
constexpr long kPollStepNs = 15'000'000;

// What the intermediate child tells the caller about xdg-open.
enum class Outcome : int { Exited = 1, Signaled, Running, StartFailed };
struct Report {
    Outcome outcome = Outcome::StartFailed;
    int value = 0; // exit status or signal number
};

// Everything the children need, prepared before forking: after fork() they may not allocate.
struct Launch {
    QByteArray program;
    std::vector<QByteArray> arguments;
    QByteArray directory;
    std::vector<char*> argv;
};

[[noreturn]] void RunProgram(const Launch& launch)
{
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    const int null = ::open("/dev/null", O_RDONLY);
    if (null > 0) {
        ::dup2(null, STDIN_FILENO);
        ::close(null);
    }
    if (!launch.directory.isEmpty() && ::chdir(launch.directory.constData()) != 0)
        ::_exit(kExecFailed);
    ::execve(launch.program.constData(), launch.argv.data(), environ);
    ::_exit(kExecFailed);
}

long ElapsedMs(const timespec& start)
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1'000'000;
}

Report WaitForProgram(pid_t pid)
{
    timespec start {};
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid && WIFEXITED(status))
            return { Outcome::Exited, WEXITSTATUS(status) };
        if (done == pid && WIFSIGNALED(status))
            return { Outcome::Signaled, WTERMSIG(status) };
        if (done < 0 && errno != EINTR)
            return { Outcome::StartFailed, errno };
        if (ElapsedMs(start) >= kShellExecuteWaitMs)
            return { Outcome::Running, 0 };
        const timespec step { 0, kPollStepNs };
        ::nanosleep(&step, nullptr);
    }
}

// The intermediate child: starts xdg-open, waits for it up to the bound, reports and leaves. A
// program still running then is adopted by init, so nobody has to kill or reap it.
[[noreturn]] void RunLauncher(const Launch& launch, int reportFd)
{
    struct sigaction defaultAction { };
    defaultAction.sa_handler = SIG_DFL;
    ::sigaction(SIGCHLD, &defaultAction, nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(reportFd);
        RunProgram(launch);
    }
    const Report report = pid < 0 ? Report { Outcome::StartFailed, errno } : WaitForProgram(pid);
    while (::write(reportFd, &report, sizeof report) < 0 && errno == EINTR) { }
    ::_exit(0);
}

bool ReadReport(int fd, Report* report)
{
    auto* bytes = reinterpret_cast<char*>(report);
    size_t got = 0;
    while (got < sizeof *report) {
        const ssize_t n = ::read(fd, bytes + got, sizeof *report - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

void Reap(pid_t pid)
{
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
}

Report Start(const Launch& launch)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return { Outcome::StartFailed, errno };
    const pid_t launcher = ::fork();
    if (launcher == 0) {
        ::close(fds[0]);
        RunLauncher(launch, fds[1]);
    }
    const int forkError = errno;
    ::close(fds[1]);
    Report report;
    if (launcher < 0)
        report = { Outcome::StartFailed, forkError };
    else if (!ReadReport(fds[0], &report))
        report = { Outcome::StartFailed, 0 };
    ::close(fds[0]);
    if (launcher > 0)
        Reap(launcher);
    return report;
}

int ResultOf(const Report& report)
{
    if (report.outcome == Outcome::Running)
        return SE_OK;
    if (report.outcome != Outcome::Exited)
        return SE_ERR_NOASSOC;
    if (report.value == 0)
        return SE_OK;
    return report.value == 2 ? SE_ERR_FNF : SE_ERR_NOASSOC;
}

} // namespace

int StartAndJudge(const QStringList& arguments, const QString& directory)
{
    if (arguments.isEmpty())
        return SE_ERR_FNF;
    Launch launch;
    launch.directory = QFile::encodeName(directory);
    for (const QString& argument : arguments)
        launch.arguments.push_back(QFile::encodeName(argument));
    for (QByteArray& argument : launch.arguments) {
        if (argument.contains('\0'))
            return SE_ERR_FNF;
        launch.argv.push_back(argument.data());
    }
    launch.argv.push_back(nullptr);
    if (launch.directory.contains('\0'))
        return SE_ERR_FNF;
    // Only an absolute path: the child may change its working folder before it starts the program.
    launch.program = QFile::encodeName(SearchPath(arguments.first()));
    if (launch.program.isEmpty()) {
        qCDebug(lcShell) << arguments.first() << "not found";
        return SE_ERR_FNF;
    }
    const Report report = Start(launch);
    const int result = ResultOf(report);
    if (result <= 32)
        qCDebug(lcShell) << arguments.first() << "failed: outcome" << static_cast<int>(report.outcome) << "value"
                         << report.value;
    return result;
}

int ShellExecute(
    const QString& verb, const QString& file, const QString& parameters, const QString& directory, int showCmd)
{
    Q_UNUSED(parameters);
    Q_UNUSED(showCmd);
    if (!verb.isEmpty() && verb.compare(QLatin1String("open"), Qt::CaseInsensitive) != 0) {
        qCDebug(lcShell) << "ShellExecute: verb not supported:" << verb;
        return SE_ERR_NOASSOC;
    }
    if (file.isEmpty()) {
        qCDebug(lcShell) << "ShellExecute: no file";
        return SE_ERR_FNF;
    }
    // A name that starts with "-" would be taken for an option.
    const QString argument = file.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + file : file;
    return StartAndJudge({ QLatin1String(kProgramName), argument }, directory);
}

} // namespace pd::platform
