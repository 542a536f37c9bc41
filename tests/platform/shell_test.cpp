#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "platform/shell.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using pd::test::ReadBytes;
using pd::test::ScopedEnv;
using pd::test::TempFolder;

// Blanks, quotes, shell syntax and an umlaut: a shell between caller and program would mangle it.
const QString kAwkwardFile = QString::fromUtf8("/tmp/Brief an \"M\xc3\xbcller\" 'neu' $HOME `id` &.pdf");

// True when this process has no child left, neither running nor a zombie.
bool NoChildLeft()
{
    return ::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

// A fake xdg-open in a folder of its own, first on PATH. It records its arguments and working
// folder into Record(...) files, then runs the given shell lines.
class ShellExecuteTest : public ::testing::Test {
protected:
    void InstallFake(const QByteArray& lines)
    {
        const QByteArray record = QFile::encodeName(m_temp.File(QStringLiteral("record")));
        QByteArray script = "#!/bin/sh\n";
        script += "printf '%s' \"$1\" > '" + record + "/arg'\n";
        script += "echo $# > '" + record + "/argc'\n";
        script += "pwd > '" + record + "/pwd'\n";
        script += lines + "\n";
        WriteExecutable(m_temp.File(QStringLiteral("bin/xdg-open")), script, 0755);
        SetPath(m_temp.File(QStringLiteral("bin")) + QStringLiteral(":") + QString::fromLocal8Bit(m_oldPath));
    }

    static void WriteExecutable(const QString& path, const QByteArray& bytes, mode_t mode)
    {
        pd::test::WriteBytes(path, bytes);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }

    void SetPath(const QString& path)
    {
        m_path.reset();
        m_path = std::make_unique<ScopedEnv>("PATH", path);
    }

    QString Record(const char* name) const { return m_temp.File(QStringLiteral("record/") + QLatin1String(name)); }
    bool FakeRan() const { return QFileInfo::exists(Record("argc")); }

    TempFolder m_temp;
    QByteArray m_oldPath = qgetenv("PATH");
    std::unique_ptr<ScopedEnv> m_path;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_temp.File(QStringLiteral("record")))); }
};

TEST_F(ShellExecuteTest, ResultFollowsTheExitOfXdgOpen)
{
    const struct {
        const char* lines;
        int expected;
    } cases[] = {
        { "exit 0", SE_OK },
        { "exit 4", SE_ERR_NOASSOC },
        { "exit 3", SE_ERR_NOASSOC },
        { "exit 2", SE_ERR_FNF },
        { "exit 127", SE_ERR_NOASSOC },
        { "kill -KILL $$", SE_ERR_NOASSOC },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        InstallFake(c.lines);
        QFile::remove(Record("argc"));
        const int result = ShellExecute(QStringLiteral("open"), kAwkwardFile);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(result > 32, c.expected == SE_OK);
        EXPECT_EQ(ReadBytes(Record("arg")), kAwkwardFile.toUtf8());
        EXPECT_EQ(ReadBytes(Record("argc")), "1\n");
        EXPECT_TRUE(NoChildLeft());
    }
}

TEST_F(ShellExecuteTest, OnlyTheOpenVerbStartsXdgOpen)
{
    InstallFake("exit 0");
    const struct {
        QString verb;
        bool starts;
    } cases[] = {
        { QString(), true },
        { QStringLiteral("open"), true },
        { QStringLiteral("OPEN"), true },
        { QStringLiteral("Open"), true },
        { QStringLiteral("print"), false },
        { QStringLiteral("edit"), false },
        { QStringLiteral("opennew"), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb.toStdString());
        QFile::remove(Record("argc"));
        EXPECT_EQ(ShellExecute(c.verb, kAwkwardFile), c.starts ? SE_OK : SE_ERR_NOASSOC);
        EXPECT_EQ(FakeRan(), c.starts);
    }
}

TEST_F(ShellExecuteTest, WithoutXdgOpenOnPathNothingStarts)
{
    InstallFake("exit 0");
    const QString empty = m_temp.File(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    // Relative entries do not count either: the fake is reachable as "bin/xdg-open" from here.
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_temp.Path()));
    SetPath(empty + QStringLiteral(":bin"));
    const int result = ShellExecute(QStringLiteral("open"), kAwkwardFile);
    QDir::setCurrent(oldCurrent);
    EXPECT_LE(result, 32);
    EXPECT_FALSE(FakeRan());
    EXPECT_EQ(ShellExecute(QStringLiteral("open"), QString()), SE_ERR_FNF) << "empty file name";
}

TEST_F(ShellExecuteTest, SkipsXdgOpenCandidatesThatCannotRun)
{
    InstallFake("exit 0");
    const QString folderFirst = m_temp.File(QStringLiteral("folder-first"));
    const QString plainFirst = m_temp.File(QStringLiteral("plain-first"));
    ASSERT_TRUE(QDir().mkpath(folderFirst + QStringLiteral("/xdg-open")));
    WriteExecutable(plainFirst + QStringLiteral("/xdg-open"), "#!/bin/sh\nexit 9\n", 0644);
    SetPath(folderFirst + QStringLiteral(":") + plainFirst + QStringLiteral(":") + m_temp.File(QStringLiteral("bin")));
    EXPECT_EQ(ShellExecute(QStringLiteral("open"), kAwkwardFile), SE_OK);
    EXPECT_TRUE(FakeRan());
}

TEST_F(ShellExecuteTest, StillRunningAtTheBoundIsAcceptedAndKeepsRunning)
{
    const QString marker = Record("finished");
    InstallFake("sleep 4; : > '" + QFile::encodeName(marker) + "'");
    QElapsedTimer timer;
    timer.start();
    EXPECT_GT(ShellExecute(QStringLiteral("open"), kAwkwardFile), 32);
    EXPECT_GE(timer.elapsed(), kShellExecuteWaitMs);
    EXPECT_FALSE(QFileInfo::exists(marker)) << "returned only after xdg-open had finished";
    EXPECT_TRUE(NoChildLeft());
    while (!QFileInfo::exists(marker) && timer.elapsed() < 7000)
        QThread::msleep(20);
    EXPECT_TRUE(QFileInfo::exists(marker)) << "xdg-open was stopped";
}

TEST_F(ShellExecuteTest, DirectoryBecomesTheWorkingFolderAndDashNamesAreNoOptions)
{
    InstallFake("exit 0");
    const QString work = m_temp.File(QStringLiteral("work folder"));
    ASSERT_TRUE(QDir().mkpath(work));
    const struct {
        QString file;
        QString directory;
        QByteArray arrives;
        QString workingFolder;
    } cases[] = {
        { QStringLiteral("-x"), work, "./-x", work },
        { QStringLiteral("--help"), QString(), "./--help", QDir::currentPath() },
        { QStringLiteral("a-b.txt"), work, "a-b.txt", work },
        { QStringLiteral("./-y"), work, "./-y", work },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        EXPECT_EQ(ShellExecute(QStringLiteral("open"), c.file, QString(), c.directory), SE_OK);
        EXPECT_EQ(ReadBytes(Record("arg")), c.arrives);
        EXPECT_EQ(ReadBytes(Record("pwd")), QFile::encodeName(QFileInfo(c.workingFolder).canonicalFilePath()) + '\n');
    }
}

TEST_F(ShellExecuteTest, MissingDirectoryFailsWithoutRunningXdgOpen)
{
    InstallFake("exit 0");
    EXPECT_EQ(ShellExecute(QStringLiteral("open"), kAwkwardFile, QString(), m_temp.File(QStringLiteral("missing"))),
        SE_ERR_NOASSOC);
    EXPECT_FALSE(FakeRan());
    EXPECT_TRUE(NoChildLeft());
}

TEST_F(ShellExecuteTest, StartAndJudgeHandsEveryArgumentOverWhole)
{
    const QByteArray record = QFile::encodeName(Record("argv"));
    const QString program = m_temp.File(QStringLiteral("bin/pd-mailer"));
    WriteExecutable(program, "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + record + "'\nexit \"${PD_STATUS:-0}\"\n", 0755);
    SetPath(m_temp.File(QStringLiteral("bin")) + QStringLiteral(":") + QString::fromLocal8Bit(m_oldPath));
    const QStringList arguments { QStringLiteral("pd-mailer"), kAwkwardFile, QString(),
        QStringLiteral("Zeile 1\nZeile 2"), QStringLiteral("-s") };
    EXPECT_EQ(StartAndJudge(arguments), SE_OK);
    EXPECT_EQ(ReadBytes(Record("argv")),
        (kAwkwardFile + QStringLiteral("||Zeile 1\nZeile 2|-s|")).toUtf8().replace('|', '\0'));

    const struct {
        const char* what;
        QStringList arguments;
        const char* status;
        int result;
    } cases[] = {
        { "absolute path", { program }, "0", SE_OK },
        { "exit status 5", { QStringLiteral("pd-mailer") }, "5", SE_ERR_NOASSOC },
        { "program not found", { QStringLiteral("pd-no-such-mailer") }, "0", SE_ERR_FNF },
        { "nothing to start", {}, "0", SE_ERR_FNF },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnv status("PD_STATUS", QLatin1String(c.status));
        EXPECT_EQ(StartAndJudge(c.arguments), c.result);
        EXPECT_TRUE(NoChildLeft());
    }
}

} // namespace
} // namespace pd::platform
