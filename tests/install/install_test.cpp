// The installed program: cmake --install of this build tree into a prefix of the test's own, the
// layout of the program folder and the menu entry, and the installed program started through its
// link in bin/, as the application menu starts it.

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QThread>

#include "platform/desktopentry.h"
#include "tests/support/testsupport.h"

namespace {

using pd::test::ReadBytes;
using pd::test::TempFolder;
using pd::test::WriteBytes;

const QString kProgramDir = QStringLiteral("lib/paperdart/");
const QString kEntry = QStringLiteral("share/applications/paperdart.desktop");

struct Output {
    int exitCode = -1;
    QByteArray text;
};

Output RunTool(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Output output;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return output;
    }
    output.text = process.readAll();
    output.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return output;
}

// cmake --install of this build tree; a staged installation when destdir is not empty.
Output Install(const QString& prefix, const QString& destdir = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DESTDIR"));
    if (!destdir.isEmpty())
        environment.insert(QStringLiteral("DESTDIR"), destdir);
    return RunTool(QStringLiteral(PD_CMAKE_COMMAND),
        { QStringLiteral("--install"), QStringLiteral(PD_BUILD_DIR), QStringLiteral("--prefix"), prefix }, environment);
}

// The text after "key=" on the line of that key; for keys whose values hold no escapes.
QString RawValue(const QByteArray& entry, const QString& key)
{
    for (const QString& line : QString::fromUtf8(entry).split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return {};
}

// Width and height from a PNG file's header chunk.
QSize PngSize(const QByteArray& png)
{
    if (png.size() < 24 || !png.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    auto big = [&png](int at) {
        return int(
            (uchar(png[at]) << 24) | (uchar(png[at + 1]) << 16) | (uchar(png[at + 2]) << 8) | uchar(png[at + 3]));
    };
    return { big(16), big(20) };
}

class Installation : public ::testing::Test {
protected:
    // A blank in the prefix, as in a user's folder name; the entry must quote it.
    QString Prefix() const { return m_folder.File(QStringLiteral("Paper dart")); }
    QString Installed(const QString& relative) const { return Prefix() + QLatin1Char('/') + relative; }

    TempFolder m_folder;
};

TEST_F(Installation, LaysOutTheProgramFolderTheMenuEntryAndTheIcons)
{
    const Output install = Install(Prefix());
    ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();

    // What the program finds beside itself: the same files as in the build tree and the sources.
    struct Beside {
        const char* source;
        QString relative; // below the program folder
    };
    const Beside beside[] = {
        { "ui/lang/0409.lng", QStringLiteral("0409.lng") },
        { "config/Hollowell.INI", QStringLiteral("config/Hollowell.INI") },
        { "help/Handbuch.html", QStringLiteral("help/Handbuch.html") },
        { "help/Hauptfenster.png", QStringLiteral("help/Hauptfenster.png") },
        { "help/Konfiguration.png", QStringLiteral("help/Konfiguration.png") },
    };
    for (const Beside& file : beside) {
        SCOPED_TRACE(file.relative.toStdString());
        const QByteArray source = ReadBytes(QStringLiteral(PD_SOURCE_DIR "/") + QLatin1String(file.source));
        ASSERT_FALSE(source.isEmpty());
        EXPECT_EQ(ReadBytes(QStringLiteral(PD_BUILD_DIR "/") + file.relative), source);
        EXPECT_EQ(ReadBytes(Installed(kProgramDir + file.relative)), source);
    }

    const QFileInfo program(Installed(kProgramDir + QStringLiteral("paperdart")));
    EXPECT_TRUE(program.isFile() && program.isExecutable());
    // The link in bin/ is relative, so a moved or staged tree keeps it.
    const QFileInfo link(Installed(QStringLiteral("bin/paperdart")));
    EXPECT_TRUE(link.isSymLink());
    char target[4096] = {};
    ASSERT_GT(::readlink(QFile::encodeName(link.filePath()).constData(), target, sizeof target - 1), 0);
    EXPECT_NE(target[0], '/') << target;
    EXPECT_EQ(link.canonicalFilePath(), program.canonicalFilePath());

    EXPECT_TRUE(QFileInfo(Installed(kEntry)).isFile());
    EXPECT_EQ(ReadBytes(Installed(QStringLiteral("share/icons/hicolor/scalable/apps/paperdart.svg"))),
        ReadBytes(QStringLiteral(PD_SOURCE_DIR "/desktop/paperdart.svg")));
    const QString sizes = QStringLiteral(PD_ICON_PNG_SIZES);
    for (const QString& size : sizes.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        SCOPED_TRACE(size.toStdString());
        const QByteArray png
            = ReadBytes(Installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/paperdart.png").arg(size)));
        EXPECT_EQ(PngSize(png), QSize(size.toInt(), size.toInt()));
    }
}

TEST_F(Installation, MenuEntryIsValidAndNamesTheInstalledProgram)
{
    struct Case {
        const char* name;
        QString destdir; // staging folder of a package build, empty for a direct installation
    };
    const Case cases[] = {
        { "direct", {} },
        { "staged", m_folder.File(QStringLiteral("stage")) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Output install = Install(Prefix(), c.destdir);
        ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();
        const QString entryFile = c.destdir + Installed(kEntry);
        const Output validate = RunTool(QStringLiteral("desktop-file-validate"), { entryFile });
        EXPECT_EQ(validate.exitCode, 0) << validate.text.toStdString();
        // Hints are advice; errors and warnings are faults.
        EXPECT_FALSE(validate.text.contains("error:")) << validate.text.toStdString();
        EXPECT_FALSE(validate.text.contains("warning:")) << validate.text.toStdString();

        // Read the way a launcher reads it: the command names where the program runs from, quoted
        // as one word, never the staging folder.
        pd::platform::DesktopEntry entry;
        ASSERT_TRUE(pd::platform::ReadDesktopEntry(entryFile, &entry));
        EXPECT_EQ(pd::platform::ExpandExec(entry, {}), QStringList { Installed(QStringLiteral("bin/paperdart")) });
        EXPECT_EQ(entry.name, QStringLiteral("Paperdart"));
        EXPECT_EQ(entry.icon, QStringLiteral("paperdart"));
        EXPECT_FALSE(entry.terminal);
        const QByteArray text = ReadBytes(entryFile);
        EXPECT_EQ(RawValue(text, QStringLiteral("TryExec")), Installed(QStringLiteral("bin/paperdart")));
        EXPECT_EQ(RawValue(text, QStringLiteral("Terminal")), QStringLiteral("false"));
        EXPECT_EQ(RawValue(text, QStringLiteral("Categories")), QStringLiteral("Office;Scanning;"));
        EXPECT_FALSE(RawValue(text, QStringLiteral("Comment")).isEmpty());
        EXPECT_FALSE(RawValue(text, QStringLiteral("Comment[de]")).isEmpty());
        EXPECT_TRUE(QFileInfo(c.destdir + Installed(QStringLiteral("bin/paperdart"))).isExecutable());
    }
}

// The manual opens in a browser from the program folder, without a network: every picture and
// link it refers to lies beside it or is a place in the page itself.
TEST(Manual, RefersOnlyToFilesBesideItAndToItsOwnSections)
{
    const QString folder = QStringLiteral(PD_BUILD_DIR "/help/");
    const QString html = QString::fromUtf8(ReadBytes(folder + QStringLiteral("Handbuch.html")));
    ASSERT_FALSE(html.isEmpty());
    QStringList ids;
    for (const auto& match : QRegularExpression(QStringLiteral(R"(\sid="([^"]+)\")")).globalMatch(html))
        ids << match.captured(1);
    int references = 0;
    for (const auto& match : QRegularExpression(QStringLiteral(R"(\s(src|href)="([^"]*)\")")).globalMatch(html)) {
        const QString target = match.captured(2);
        SCOPED_TRACE(target.toStdString());
        ++references;
        EXPECT_FALSE(target.contains(QLatin1Char(':'))) << "no scheme, no external resource";
        if (target.startsWith(QLatin1Char('#')))
            EXPECT_TRUE(ids.contains(target.mid(1)));
        else
            EXPECT_TRUE(QFileInfo(folder + target).isFile());
    }
    EXPECT_GT(references, 0);
    EXPECT_FALSE(html.contains(QStringLiteral("url("))) << "the style loads nothing";
}

// A run of the installed program, started through bin/ the way the menu entry starts it.
class InstalledRun : public Installation {
protected:
    void SetUp() override
    {
        const Output install = Install(Prefix());
        ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();
    }

    QProcessEnvironment Environment(const QString& home) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/state"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        environment.insert(QStringLiteral("HOME"), home);
        return environment;
    }

    // Starts the program, waits until it would end in order on SIGTERM (as at logout), sends it
    // and gives the exit code; -1 when it did not end by itself in time.
    static int RunUntilTerminated(const QStringList& command, const QProcessEnvironment& environment)
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(command.first(), command.mid(1));
        if (!process.waitForStarted(10000))
            return -1;
        QElapsedTimer waited;
        waited.start();
        while (!CatchesSigterm(process.processId()) && process.state() == QProcess::Running && waited.elapsed() < 60000)
            QThread::msleep(20);
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The program's own handler is in place once the process lists SIGTERM as caught; before
    // that the signal would end it at once, without its last log line.
    static bool CatchesSigterm(qint64 pid)
    {
        const QByteArray status = ReadBytes(QStringLiteral("/proc/%1/status").arg(pid));
        for (const QByteArray& line : status.split('\n'))
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    }

    // The lines of every monthly log file in a folder.
    static QList<QByteArray> LogLines(const QString& folder)
    {
        QList<QByteArray> lines;
        const QDir dir(folder);
        for (const QString& name : dir.entryList({ QStringLiteral("*.log") }, QDir::Files))
            if (name != QStringLiteral("imaging.log"))
                for (const QByteArray& line : ReadBytes(dir.filePath(name)).split('\n'))
                    if (!line.isEmpty())
                        lines << line;
        return lines;
    }

    QString ProgramFolder() const { return Installed(kProgramDir); }
};

TEST_F(InstalledRun, FindsItsFolderThroughTheLinkAndReadsItsConfiguration)
{
    struct Case {
        const char* name;
        int level; // written over the installed file's value; -1 leaves the file as installed
        int lines; // log lines of one run
    };
    const Case cases[] = {
        { "as installed", -1, 2 },
        // Level 0 leaves only the start line: the shipped file beside the resolved program was read.
        { "level 0", 0, 1 },
    };
    const QString home = m_folder.File(QStringLiteral("home"));
    const QString log = ProgramFolder() + QStringLiteral("log");
    const QString config = ProgramFolder() + QStringLiteral("config/Hollowell.INI");
    const QByteArray installed = ReadBytes(config);
    ASSERT_TRUE(installed.contains("\nLevel=10\n"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(log).removeRecursively();
        if (c.level >= 0)
            WriteBytes(
                config, QByteArray(installed).replace("\nLevel=10\n", "\nLevel=" + QByteArray::number(c.level) + '\n'));
        EXPECT_EQ(RunUntilTerminated({ Installed(QStringLiteral("bin/paperdart")) }, Environment(home)), 0);
        const QList<QByteArray> lines = LogLines(log);
        ASSERT_EQ(lines.size(), c.lines);
        // The start line names the real program file, not the link it was started by.
        EXPECT_TRUE(lines[0].contains(": Startup:" + QFile::encodeName(ProgramFolder()) + "paperdart  Version:"))
            << lines[0].toStdString();
        if (c.lines == 2) {
            EXPECT_TRUE(lines[1].endsWith(": Stop\r")) << lines[1].toStdString();
        }
    }
}

TEST_F(InstalledRun, ReadOnlyProgramFolderLogsIntoTheUsersStateFolder)
{
    if (!pd::test::RunningAsRoot())
        GTEST_SKIP() << "needs root to run the program as another user";
    // A system-wide installation: the program folder belongs to root, the user is "nobody".
    const QString home = m_folder.File(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_EQ(::chown(QFile::encodeName(home).constData(), 65534, 65534), 0);
    // Other users may walk into the prefix, as into /usr/local.
    QFile::setPermissions(m_folder.Path(), QFile::permissions(m_folder.Path()) | QFile::ExeOther);
    const QStringList asNobody { QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
        QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"), Installed(QStringLiteral("bin/paperdart")) };

    EXPECT_EQ(RunUntilTerminated(asNobody, Environment(home)), 0);
    EXPECT_FALSE(QFileInfo::exists(ProgramFolder() + QStringLiteral("log")));
    const QList<QByteArray> lines = LogLines(home + QStringLiteral("/state/Quor/Paperdart/log"));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(": Startup:" + QFile::encodeName(ProgramFolder()) + "paperdart  Version:"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(": Stop\r")) << lines[1].toStdString();
}

} // namespace
