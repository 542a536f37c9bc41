#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include "platform/commandline.h"
#include "platform/process.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using pd::test::ReadBytes;
using pd::test::TempFolder;

PROCESS_INFORMATION Start(const QString& commandLine)
{
    PROCESS_INFORMATION info;
    EXPECT_TRUE(CreateProcess(commandLine, NORMAL_PRIORITY_CLASS, STARTUPINFO {}, &info)) << GetLastError();
    return info;
}

QString Shell(const QString& script)
{
    return QStringLiteral("/bin/sh -c ") + QuoteCommandLineWord(script);
}

bool Reaped(pid_t pid)
{
    return ::waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

TEST(CreateProcess, ArgumentsArriveWholeAndHandlesStayBehind)
{
    TempFolder temp;
    const QString record = temp.File(QStringLiteral("record"));
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaked = ::fcntl(::open("/dev/null", O_RDONLY), F_DUPFD, 100);
    ASSERT_GE(leaked, 100);
    const QString script = QStringLiteral("printf '%s|' \"$@\" > ") + QuoteCommandLineWord(record)
        + QStringLiteral("; ls /proc/$$/fd >> ") + QuoteCommandLineWord(record);
    PROCESS_INFORMATION info = Start(Shell(script) + QStringLiteral(" sh 'a b' \"c'd\" '' $HOME"));
    ASSERT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    ::close(leaked);
    const QByteArray text = ReadBytes(record);
    EXPECT_TRUE(text.startsWith("a b|c'd||$HOME|")) << text.toStdString();
    EXPECT_FALSE(text.split('\n').contains(QByteArray::number(leaked)));
}

TEST(CreateProcess, ExitCodesAndWaiting)
{
    const struct {
        const char* script;
        std::uint32_t code;
    } cases[] = {
        { "exit 0", 0 },
        { "exit 3", 3 },
        { "kill -KILL $$", 128 + 9 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        PROCESS_INFORMATION info = Start(Shell(QLatin1String(c.script)));
        EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
        std::uint32_t code = 12345;
        ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0) << "also after the reaping";
        ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
        EXPECT_EQ(code, c.code);
    }

    PROCESS_INFORMATION running = Start(QStringLiteral("sleep 30"));
    EXPECT_EQ(WaitForSingleObject(running.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(running.hProcess, 50), WAIT_TIMEOUT);
    std::uint32_t code = 0;
    ASSERT_TRUE(GetExitCodeProcess(running.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    ::kill(running.hProcess.Pid(), SIGTERM);
    EXPECT_EQ(WaitForSingleObject(running.hProcess, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ProcessHandle(), 0), WAIT_FAILED);
}

TEST(CreateProcess, ClosedHandleLeavesNoZombie)
{
    pid_t ended = 0;
    pid_t running = 0;
    {
        PROCESS_INFORMATION first = Start(QStringLiteral("true"));
        ended = first.hProcess.Pid();
        WaitForSingleObject(first.hProcess, INFINITE);
        PROCESS_INFORMATION second = Start(QStringLiteral("sleep 0.3"));
        running = second.hProcess.Pid();
    }
    EXPECT_TRUE(Reaped(ended));
    QElapsedTimer timer;
    timer.start();
    while (!Reaped(running) && timer.elapsed() < 10000)
        QThread::msleep(20);
    EXPECT_TRUE(Reaped(running));
}

TEST(CreateProcess, FailuresGiveTheErrorOfTheStart)
{
    TempFolder temp;
    pd::test::WriteBytes(temp.File(QStringLiteral("notes.txt")), "not a program\n");
    const struct {
        QString commandLine;
        std::uint32_t error;
    } cases[] = {
        { QStringLiteral("/nonexistent"), ENOENT },
        { QStringLiteral("pd-not-on-path"), ENOENT },
        { temp.File(QStringLiteral("notes.txt")), EACCES },
        { temp.Path(), EACCES },
        { QStringLiteral("\"unterminated"), EINVAL },
        { QStringLiteral("  "), EINVAL },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine.toStdString());
        PROCESS_INFORMATION info;
        SetLastError(0);
        EXPECT_FALSE(CreateProcess(c.commandLine, 0, STARTUPINFO {}, &info));
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_FALSE(info.hProcess.IsValid());
    }
}

TEST(ProcessEndNotifier, ReportsTheEndOnceWhileTheLoopRuns)
{
    int argc = 1;
    char name[] = "pd_platform_process_test";
    char* argv[] = { name, nullptr };
    QCoreApplication application(argc, argv);
    PROCESS_INFORMATION info = Start(QStringLiteral("sleep 0.2"));
    ProcessEndNotifier notifier(info.hProcess);
    int ends = 0;
    QEventLoop loop;
    QObject::connect(&notifier, &ProcessEndNotifier::ended, [&] {
        ++ends;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);
}

TEST(ProcessEndNotifier, AProcessReapedByTheSystemCountsAsEnded)
{
    // With SIGCHLD ignored (a disposition a launcher may hand down) the kernel reaps the child
    // itself, and nothing is left to wait for: the end must still be seen, or a wait never ends.
    const int status = pd::test::RunInChild([] {
        ::signal(SIGCHLD, SIG_IGN);
        int argc = 1;
        char name[] = "pd_platform_process_test";
        char* argv[] = { name, nullptr };
        QCoreApplication application(argc, argv);
        PROCESS_INFORMATION info;
        if (!CreateProcess(QStringLiteral("true"), 0, STARTUPINFO {}, &info))
            return 2;
        ProcessEndNotifier notifier(info.hProcess);
        bool ended = false;
        QEventLoop loop;
        QObject::connect(&notifier, &ProcessEndNotifier::ended, [&] {
            ended = true;
            loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!ended)
            return 3;
        return WaitForSingleObject(info.hProcess, 0) == WAIT_OBJECT_0 ? 0 : 4;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace pd::platform
