#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include "mail/execfile.h"
#include "platform/commandline.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

using pd::test::ReadBytes;
using pd::test::ScopedEnv;
using pd::test::TempFolder;
using pd::test::WriteBytes;

// Blanks, quotes, shell syntax and an umlaut in a document name.
const QString kAwkwardName = QString::fromUtf8("Brief an \"M\xc3\xbcller\" 'neu' $HOME &");

int g_argc = 1;
char g_name[] = "pd_mail_test";
char* g_argv[] = { g_name, nullptr };

// Private desktop, file-type tables and PATH; programs that record how they were started.
class ExecFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : { "bin", "data/applications", "sysdata", "config", "sysconfig", "home", "docs" })
            ASSERT_TRUE(QDir().mkpath(m_temp.File(QLatin1String(folder))));
        m_env.push_back(std::make_unique<ScopedEnv>("XDG_CURRENT_DESKTOP", QStringLiteral("X-Generic")));
        m_env.push_back(std::make_unique<ScopedEnv>("XDG_DATA_HOME", m_temp.File(QStringLiteral("data"))));
        m_env.push_back(std::make_unique<ScopedEnv>("XDG_DATA_DIRS", m_temp.File(QStringLiteral("sysdata"))));
        m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_temp.File(QStringLiteral("config"))));
        m_env.push_back(std::make_unique<ScopedEnv>("XDG_CONFIG_DIRS", m_temp.File(QStringLiteral("sysconfig"))));
        m_env.push_back(std::make_unique<ScopedEnv>("HOME", m_temp.File(QStringLiteral("home"))));
        m_env.push_back(std::make_unique<ScopedEnv>(
            "PATH", m_temp.File(QStringLiteral("bin")) + QLatin1Char(':') + qEnvironmentVariable("PATH")));
    }

    // A program that writes its arguments, each ended by a zero byte, into Record(name).
    QString Recorder(const QString& path, const QByteArray& more = {})
    {
        WriteExecutable(path,
            "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + QFile::encodeName(Record()) + ".part'\nmv '"
                + QFile::encodeName(Record()) + ".part' '" + QFile::encodeName(Record()) + "'\n" + more);
        return path;
    }
    static void WriteExecutable(const QString& path, const QByteArray& script)
    {
        WriteBytes(path, script);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0755), 0);
    }
    QString Record() const { return m_temp.File(QStringLiteral("record")); }
    QStringList RecordedArguments() const
    {
        QStringList arguments;
        QByteArray bytes = ReadBytes(Record());
        if (bytes.isEmpty())
            return { QStringLiteral("<not started>") };
        bytes.chop(1);
        for (const QByteArray& argument : bytes.split('\0'))
            arguments << QFile::decodeName(argument);
        return arguments;
    }
    // Waits for a program that was started without waiting.
    bool WaitForRecord() const
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(Record()) && timer.elapsed() < 10000)
            QThread::msleep(10);
        return QFileInfo::exists(Record());
    }
    QString Document(const QString& name, const QByteArray& content)
    {
        const QString path = m_temp.File(QStringLiteral("docs/") + name);
        WriteBytes(path, content);
        return path;
    }
    // PDFs open with pd-viewer through the desktop's association.
    QString BindPdfViewer()
    {
        WriteBytes(m_temp.File(QStringLiteral("data/applications/mimeapps.list")),
            "[Default Applications]\napplication/pdf=pd-viewer.desktop\n");
        WriteBytes(m_temp.File(QStringLiteral("data/applications/pd-viewer.desktop")),
            "[Desktop Entry]\nType=Application\nName=Viewer\nExec=pd-viewer %f\n");
        return Recorder(m_temp.File(QStringLiteral("bin/pd-viewer")));
    }
    // Files of type application/x-pd-probe (".pdprobe") open with pd-probe-viewer through mailcap.
    QString BindProbeViewer()
    {
        WriteBytes(
            m_temp.File(QStringLiteral("home/.mime.types")), "# private types\napplication/x-pd-probe\t\tpdprobe\n");
        WriteBytes(m_temp.File(QStringLiteral("home/.mailcap")),
            "application/x-pd-probe; less '%s'; needsterminal\n"
            "application/x-pd-probe; pd-probe-viewer --page 1 \\\n  '%s'; test=test -n \"$DISPLAY\"\n");
        return Recorder(m_temp.File(QStringLiteral("bin/pd-probe-viewer")));
    }

    TempFolder m_temp;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

TEST_F(ExecFileTest, StartsAProgramWithArgumentsHoldingBlanks)
{
    const QString program = Recorder(m_temp.File(QStringLiteral("bin/my program")));
    TExecFile exec;
    exec.SetCommandLine(platform::QuoteCommandLineWord(program));
    exec.SetParameters(QStringLiteral("'first argument' \"say \\\"hi\\\"\" $HOME"));
    exec.SetWait(true);
    exec.SetWaitStyle(TExecFile::wSuspend);
    int failures = 0;
    exec.SetOnFail([&failures](QObject*) { ++failures; });
    ASSERT_TRUE(exec.Execute());
    EXPECT_EQ(RecordedArguments(),
        QStringList({ QStringLiteral("first argument"), QStringLiteral("say \"hi\""), QStringLiteral("$HOME") }));
    EXPECT_EQ(failures, 0);
    EXPECT_GT(exec.ProcessInformation().dwProcessId, 0u);
}

TEST_F(ExecFileTest, FailedStartSetsLastErrorAndRunsOnFailOnce)
{
    const QString plainFile = Document(QStringLiteral("plain.txt"), "not a program");
    const struct {
        QString commandLine;
        std::uint32_t error;
    } cases[] = {
        { QStringLiteral("/nonexistent/program --flag"), ENOENT },
        { QStringLiteral("pd-no-such-program"), ENOENT },
        { plainFile, EACCES },
        { m_temp.File(QStringLiteral("docs")), EACCES },
        { QString(), EINVAL },
        { QStringLiteral("'unterminated"), EINVAL },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine.toStdString());
        TExecFile exec;
        exec.SetCommandLine(c.commandLine);
        int failures = 0;
        exec.SetOnFail([&](QObject* sender) {
            ++failures;
            EXPECT_EQ(sender, &exec);
            EXPECT_EQ(exec.LastError(), c.error) << "valid when OnFail runs";
        });
        EXPECT_FALSE(exec.Execute());
        EXPECT_EQ(exec.LastError(), c.error);
        EXPECT_EQ(failures, 1);
    }
}

TEST_F(ExecFileTest, AssociateOpensTheDocumentWithTheDesktopProgram)
{
    const QString viewer = BindPdfViewer();
    const QString document = Document(kAwkwardName + QStringLiteral(".pdf"), "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    TExecFile exec;
    exec.SetCommandLine(document);
    exec.SetAssociate(true);
    exec.SetWait(true);
    exec.SetWaitStyle(TExecFile::wSuspend);
    int failures = 0;
    exec.SetOnFail([&failures](QObject*) { ++failures; });
    ASSERT_TRUE(exec.Execute());
    EXPECT_EQ(exec.AssociatedProgram(), viewer);
    EXPECT_EQ(RecordedArguments(), QStringList({ document }));
    EXPECT_EQ(failures, 0);

    SCOPED_TRACE("a relative name that looks like an option");
    QFile::remove(Record());
    Document(QStringLiteral("-n.pdf"), "%PDF-1.4\n");
    const QString oldCurrent = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_temp.File(QStringLiteral("docs"))));
    exec.SetCommandLine(QStringLiteral("-n.pdf"));
    const bool dashedStarted = exec.Execute();
    QDir::setCurrent(oldCurrent);
    ASSERT_TRUE(dashedStarted);
    EXPECT_EQ(RecordedArguments(), QStringList({ QStringLiteral("./-n.pdf") }));

    SCOPED_TRACE("the program's own call, without waiting");
    QFile::remove(Record());
    EXPECT_TRUE(OpenWithAssociatedProgram(document, false));
    ASSERT_TRUE(WaitForRecord());
    EXPECT_EQ(RecordedArguments(), QStringList({ document }));
}

TEST_F(ExecFileTest, AssociateFallsBackToTheFileTypeTables)
{
    const QString viewer = BindProbeViewer();
    const QString document = Document(kAwkwardName + QStringLiteral(".PDProbe"), "plain text\n");
    QString command;
    ASSERT_TRUE(FindAssociatedProgram(document, command));
    EXPECT_EQ(command, viewer + QStringLiteral(" ") + platform::DoubleQuoteCommandLineWord(document));

    TExecFile exec;
    exec.SetCommandLine(document);
    exec.SetParameters(QStringLiteral("--zoom '2 x'"));
    exec.SetAssociate(true);
    exec.SetWait(true);
    exec.SetWaitStyle(TExecFile::wSuspend);
    int failures = 0;
    exec.SetOnFail([&failures](QObject*) { ++failures; });
    ASSERT_TRUE(exec.Execute());
    EXPECT_EQ(exec.LastError(), static_cast<std::uint32_t>(ENOENT)) << "the desktop lookup failed first";
    EXPECT_EQ(exec.AssociatedProgram(), command);
    EXPECT_EQ(RecordedArguments(), QStringList({ document, QStringLiteral("--zoom"), QStringLiteral("2 x") }));
    EXPECT_EQ(failures, 0);
}

TEST_F(ExecFileTest, NothingFoundRunsOnFailOnce)
{
    BindProbeViewer();
    const struct {
        const char* what;
        QString document;
    } cases[] = {
        { "unknown type", Document(QStringLiteral("scan.unbekannt"), "text\n") },
        { "no extension", Document(QStringLiteral("scan"), "text\n") },
        { "document missing", m_temp.File(QStringLiteral("docs/missing.unbekannt")) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TExecFile exec;
        exec.SetCommandLine(c.document);
        exec.SetAssociate(true);
        int failures = 0;
        exec.SetOnFail([&failures](QObject*) { ++failures; });
        EXPECT_FALSE(exec.Execute());
        EXPECT_EQ(failures, 1);
        EXPECT_NE(exec.LastError(), 0u);
        EXPECT_TRUE(exec.AssociatedProgram().isEmpty());
    }
    EXPECT_FALSE(OpenWithAssociatedProgram(m_temp.File(QStringLiteral("docs/scan.unbekannt")), false));
}

TEST_F(ExecFileTest, MailcapProgramMustExist)
{
    WriteBytes(m_temp.File(QStringLiteral("home/.mime.types")), "application/x-pd-probe pdprobe\n");
    WriteBytes(m_temp.File(QStringLiteral("home/.mailcap")), "application/x-pd-probe; pd-not-installed %s\n");
    QString command = QStringLiteral("stale");
    EXPECT_FALSE(FindAssociatedProgram(Document(QStringLiteral("a.pdprobe"), "x"), command));
    EXPECT_TRUE(command.isEmpty());
}

TEST_F(ExecFileTest, WaitStylesAndExitCode)
{
    const QString marker = m_temp.File(QStringLiteral("ended"));
    const QString program = m_temp.File(QStringLiteral("bin/pd-slow"));
    WriteExecutable(program, "#!/bin/sh\nsleep 0.5\n: > '" + QFile::encodeName(marker) + "'\nexit 5\n");

    SCOPED_TRACE("wRegular: events are handled meanwhile, the exit code is fetched");
    QCoreApplication application(g_argc, g_argv);
    TExecFile exec;
    exec.SetCommandLine(program);
    exec.SetWait(true);
    int ticks = 0;
    bool runningSeen = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        runningSeen = runningSeen || exec.Running();
    });
    timer.start(20);
    rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    ASSERT_TRUE(exec.Execute());
    rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_TRUE(QFileInfo::exists(marker));
    EXPECT_EQ(exec.ExitCode(), 5u);
    EXPECT_FALSE(exec.Running());
    EXPECT_GT(ticks, 3);
    EXPECT_TRUE(runningSeen);
    const auto cpuMs = [](const rusage& usage) {
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    EXPECT_LT(cpuMs(after) - cpuMs(before), 250) << "the wait kept the processor busy";

    SCOPED_TRACE("wSuspend: blocks until the end, the exit code is not fetched");
    QFile::remove(marker);
    TExecFile suspended;
    suspended.SetCommandLine(program);
    suspended.SetWait(true);
    suspended.SetWaitStyle(TExecFile::wSuspend);
    ticks = 0;
    ASSERT_TRUE(suspended.Execute());
    EXPECT_TRUE(QFileInfo::exists(marker));
    EXPECT_EQ(suspended.ExitCode(), 0u);
    EXPECT_EQ(ticks, 0);
}

TEST_F(ExecFileTest, QuitDuringTheWaitEndsTheProgramWithItsCode)
{
    const QString pidFile = m_temp.File(QStringLiteral("pid"));
    const QString program = m_temp.File(QStringLiteral("bin/pd-long"));
    WriteExecutable(program, "#!/bin/sh\necho $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 60\n");
    const int status = pd::test::RunInChild([&program] {
        QCoreApplication application(g_argc, g_argv);
        TExecFile exec;
        exec.SetCommandLine(program);
        exec.SetWait(true);
        QTimer::singleShot(0, [&exec] { exec.Execute(); });
        QTimer::singleShot(300, [] { QCoreApplication::exit(7); });
        return QCoreApplication::exec();
    });
    EXPECT_EQ(status, 7);
    const pid_t started = ReadBytes(pidFile).trimmed().toInt();
    ASSERT_GT(started, 0);
    EXPECT_EQ(::kill(started, 0), 0) << "the wait lasted until the program's end";
    ::kill(started, SIGKILL);
}

TEST_F(ExecFileTest, StartRecordAndPriority)
{
    const QString program = m_temp.File(QStringLiteral("bin/pd-nice"));
    const QString record = m_temp.File(QStringLiteral("nice"));
    WriteExecutable(program, "#!/bin/sh\nnice > '" + QFile::encodeName(record) + "'\n");
    const struct {
        TExecFile::TWindowStyle window;
        std::uint16_t showState;
        TExecFile::TPriorityClass priority;
        std::uint32_t flags;
        int nice;
    } cases[] = {
        { TExecFile::wsNorm, 1, TExecFile::pcNormal, 0x20 | 0x10, 0 },
        { TExecFile::wsMinimize, 2, TExecFile::pcIdle, 0x40 | 0x10, 19 },
        { TExecFile::wsMaximize, 3, TExecFile::pcHigh, 0x80 | 0x10, -5 },
        { TExecFile::wsHide, 0, TExecFile::pcRealTime, 0x100 | 0x10, -10 },
        { TExecFile::wsMinNoActivate, 7, TExecFile::pcNormal, 0x20 | 0x10, 0 },
        { TExecFile::wsShowNoActivate, 8, TExecFile::pcIdle, 0x40 | 0x10, 19 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.window));
        TExecFile exec;
        exec.SetCommandLine(program);
        exec.SetWindowStyle(c.window);
        exec.SetPriority(c.priority);
        exec.SetWait(true);
        exec.SetWaitStyle(TExecFile::wSuspend);
        ASSERT_TRUE(exec.Execute());
        EXPECT_EQ(exec.StartupInfo().cb, 68u);
        EXPECT_EQ(exec.StartupInfo().dwFlags, 1u);
        EXPECT_EQ(exec.StartupInfo().wShowWindow, c.showState);
        EXPECT_EQ(exec.CreationFlags(), c.flags);
        if (c.nice >= 0 || pd::test::RunningAsRoot()) {
            EXPECT_EQ(ReadBytes(record).trimmed().toInt(), c.nice);
        }
    }
}

TEST(ExecFileDefaults, PropertiesStartAsSpecified)
{
    TExecFile exec;
    EXPECT_FALSE(exec.Associate());
    EXPECT_TRUE(exec.CommandLine().isEmpty());
    EXPECT_TRUE(exec.Parameters().isEmpty());
    EXPECT_EQ(exec.Priority(), TExecFile::pcNormal);
    EXPECT_FALSE(exec.Wait());
    EXPECT_EQ(exec.WaitStyle(), TExecFile::wRegular);
    EXPECT_EQ(exec.WindowStyle(), TExecFile::wsNorm);
    EXPECT_FALSE(exec.OnFail());
    EXPECT_FALSE(exec.Running());
    // Published, so the values can be set by name.
    EXPECT_TRUE(exec.setProperty("WaitStyle", QStringLiteral("wSuspend")));
    EXPECT_EQ(exec.WaitStyle(), TExecFile::wSuspend);
}

TEST(ExecFileDefaults, ValuesOutsideTheEnumerationsStartAsTheDefaults)
{
    // A number set by name is stored as it is; the start must not look it up past the tables.
    TExecFile exec;
    exec.setProperty("WindowStyle", 1000000);
    exec.setProperty("Priority", -1000000);
    exec.SetCommandLine(QStringLiteral("true"));
    ASSERT_TRUE(exec.Execute());
    EXPECT_EQ(exec.WindowStyle(), 1000000) << "the setter only stores the value";
    EXPECT_EQ(exec.StartupInfo().wShowWindow, 1u) << "as for wsNorm";
    EXPECT_EQ(exec.CreationFlags(), 0x20u | 0x10u) << "as for pcNormal";
}

} // namespace
} // namespace pd::mail
