#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include <QDir>
#include <QFile>

#include "platform/commandline.h"
#include "platform/desktopentry.h"
#include "platform/filetypes.h"
#include "platform/findexecutable.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using pd::test::ScopedEnv;
using pd::test::TempFolder;
using pd::test::WriteBytes;

class FileTypesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : { "bin", "data/applications", "sysdata/applications", "config", "sysconfig", "home" })
            ASSERT_TRUE(QDir().mkpath(m_temp.File(QLatin1String(folder))));
        const auto set = [this](const char* name, const QString& value) {
            m_env.push_back(std::make_unique<ScopedEnv>(name, value));
        };
        set("XDG_CURRENT_DESKTOP", QStringLiteral("X-Generic"));
        set("XDG_DATA_HOME", m_temp.File(QStringLiteral("data")));
        set("XDG_DATA_DIRS", m_temp.File(QStringLiteral("sysdata")));
        set("XDG_CONFIG_HOME", m_temp.File(QStringLiteral("config")));
        set("XDG_CONFIG_DIRS", m_temp.File(QStringLiteral("sysconfig")));
        set("HOME", m_temp.File(QStringLiteral("home")));
        set("PATH", m_temp.File(QStringLiteral("bin")) + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    }
    QString Program(const QString& relative)
    {
        WriteBytes(m_temp.File(relative), "#!/bin/sh\n");
        EXPECT_EQ(::chmod(QFile::encodeName(m_temp.File(relative)).constData(), 0755), 0);
        return m_temp.File(relative);
    }
    void Bind(
        const QByteArray& mimeType, const QByteArray& desktopId, const QByteArray& desktopFile, const QByteArray& exec)
    {
        WriteBytes(m_temp.File(QStringLiteral("data/applications/mimeapps.list")),
            "[Added Associations]\nx/y=z.desktop\n[Default Applications]\n" + mimeType + '=' + desktopId + ";\n");
        WriteBytes(m_temp.File(QStringLiteral("sysdata/applications/") + QLatin1String(desktopFile)),
            "[Desktop Entry]\nName=V\nExec=" + exec + "\nActions=new;\n[Desktop Action new]\nExec=pd-wrong\n");
    }

    TempFolder m_temp;
    std::vector<std::unique_ptr<ScopedEnv>> m_env;
};

TEST_F(FileTypesTest, MimeTypesAndMailcapEntries)
{
    WriteBytes(m_temp.File(QStringLiteral("home/.mime.types")),
        "# comment pdprobe\napplication/x-pd-probe  pdprobe pdp\napplication/x-pd-pdf pdf\n");
    WriteBytes(m_temp.File(QStringLiteral("home/.mailcap")),
        "# application/x-pd-probe; commented\n"
        "application/x-pd-probe; cat %s; copiousoutput\n"
        "application/x-pd-probe; vi %s; needsterminal\n"
        "application/x-pd-probe; pd-view --a\\;b \\\n"
        "   %s; test=test -n \"$DISPLAY\"\n"
        "image/*; pd-images %s\n");
    const struct {
        QString extension;
        QString mimeType;
        QString command;
    } cases[] = {
        { QStringLiteral(".pdprobe"), QStringLiteral("application/x-pd-probe"), QStringLiteral("pd-view --a;b    %s") },
        { QStringLiteral(".PDP"), QStringLiteral("application/x-pd-probe"), QStringLiteral("pd-view --a;b    %s") },
        { QStringLiteral(".pdf"), QStringLiteral("application/x-pd-pdf"), QString() },
        { QStringLiteral(".png"), QStringLiteral("image/png"), QStringLiteral("pd-images %s") },
        { QStringLiteral(".pd-unknown"), QString(), QString() },
        { QStringLiteral("."), QString(), QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension.toStdString());
        EXPECT_EQ(MimeTypeOfExtension(c.extension), c.mimeType);
        EXPECT_EQ(MailcapCommand(c.mimeType), c.command);
        QString value = QStringLiteral("stale");
        std::int32_t size = 540;
        const long result
            = RegQueryValue(HKEY_CLASSES_ROOT, c.extension + QStringLiteral("\\shell\\open\\command"), &value, &size);
        EXPECT_EQ(result, c.command.isEmpty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
        EXPECT_EQ(value, c.command);
    }
}

TEST_F(FileTypesTest, RegistryValueMustFitTheBuffer)
{
    WriteBytes(m_temp.File(QStringLiteral("home/.mime.types")), "application/x-pd-probe pdprobe\n");
    const QByteArray command = "pd-view " + QByteArray(261, 'x'); // 269 characters, 540 bytes with the zero
    WriteBytes(m_temp.File(QStringLiteral("home/.mailcap")), "application/x-pd-probe; " + command + "\n");
    QString value;
    std::int32_t size = 540;
    EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, QStringLiteral(".pdprobe\\shell\\Open\\command"), &value, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value.toLatin1(), command);
    WriteBytes(m_temp.File(QStringLiteral("home/.mailcap")), "application/x-pd-probe; " + command + "y\n");
    size = 540;
    EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, QStringLiteral(".pdprobe\\shell\\Open\\command"), &value, &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 542);
    EXPECT_TRUE(value.isEmpty());
    EXPECT_EQ(RegQueryValue(HKEY_CLASSES_ROOT, QStringLiteral(".pdprobe\\shell\\print\\command"), &value, &size),
        ERROR_FILE_NOT_FOUND);
}

TEST_F(FileTypesTest, FindExecutableFollowsTheDesktopAssociation)
{
    const QString viewer = Program(QStringLiteral("opt/pd-viewer/view"));
    const QString onPath = Program(QStringLiteral("bin/pd-view"));
    WriteBytes(m_temp.File(QStringLiteral("docs/Brief 1.pdf")), "%PDF-1.4\n");
    const struct {
        const char* what;
        QByteArray desktopId;
        QByteArray desktopFile;
        QByteArray exec;
        int result;
        QString program;
    } cases[] = {
        { "absolute program", "pd-viewer.desktop", "pd-viewer.desktop", QFile::encodeName(viewer) + " --new %f", SE_OK,
            viewer },
        { "program on PATH, id in a vendor folder", "pd-view.desktop", "pd/view.desktop", "pd-view %U", SE_OK, onPath },
        { "program missing", "pd-viewer.desktop", "pd-viewer.desktop", "pd-not-installed %f", SE_ERR_NOASSOC,
            QString() },
        { "desktop file missing", "pd-gone.desktop", "pd-other.desktop", "pd-view", SE_ERR_NOASSOC, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(m_temp.File(QStringLiteral("sysdata/applications"))).removeRecursively();
        Bind("application/pdf", c.desktopId, c.desktopFile, c.exec);
        QString program = QStringLiteral("stale");
        SetLastError(0);
        EXPECT_EQ(
            FindExecutable(QStringLiteral("Brief 1.pdf"), m_temp.File(QStringLiteral("docs")), &program), c.result);
        EXPECT_EQ(program, c.program);
        EXPECT_EQ(GetLastError(), c.result > 32 ? 0u : static_cast<std::uint32_t>(ENOENT));
    }
    QString program;
    EXPECT_EQ(FindExecutable(m_temp.File(QStringLiteral("docs/missing.pdf")), QString(), &program), SE_ERR_FNF);
    EXPECT_EQ(
        FindExecutable(QStringLiteral("Brief 1.pdf"), m_temp.File(QStringLiteral("nowhere")), &program), SE_ERR_PNF);
    WriteBytes(m_temp.File(QStringLiteral("docs/notes.txt")), "plain text\n");
    EXPECT_EQ(FindExecutable(m_temp.File(QStringLiteral("docs/notes.txt")), QString(), &program), SE_ERR_NOASSOC);
}

TEST_F(FileTypesTest, DesktopEntryIsReadFromItsOwnGroup)
{
    const QString path = m_temp.File(QStringLiteral("sysdata/applications/pd-mail.desktop"));
    WriteBytes(path,
        "# comment\n[Desktop Entry]\nName[de]=Post\nName=Mail Client\nIcon=pd-mail\nTerminal = true\n"
        "Exec=\"/opt/pd mail/run\" --title=\"%c\" \"a\\sb\" %u\n[Desktop Action compose]\nExec=pd-wrong\nName=Wrong\n");
    DesktopEntry entry;
    ASSERT_TRUE(ReadDesktopEntry(path, &entry));
    EXPECT_EQ(entry.path, path);
    EXPECT_EQ(entry.name, QStringLiteral("Mail Client"));
    EXPECT_EQ(entry.icon, QStringLiteral("pd-mail"));
    EXPECT_TRUE(entry.terminal);
    EXPECT_EQ(entry.exec,
        QStringList({ QStringLiteral("/opt/pd mail/run"), QStringLiteral("--title=%c"), QStringLiteral("a b"),
            QStringLiteral("%u") }));

    const struct {
        const char* what;
        QByteArray text;
    } unusable[] = {
        { "no Exec line", "[Desktop Entry]\nName=x\n" },
        { "Exec only in an action", "[Desktop Entry]\nName=x\n[Desktop Action a]\nExec=pd-mail\n" },
        { "unterminated quote", "[Desktop Entry]\nExec=\"pd-mail %u\n" },
    };
    for (const auto& c : unusable) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.text);
        EXPECT_FALSE(ReadDesktopEntry(path, &entry));
        EXPECT_TRUE(entry.exec.isEmpty());
    }
    EXPECT_FALSE(ReadDesktopEntry(m_temp.File(QStringLiteral("missing.desktop")), &entry));
}

TEST_F(FileTypesTest, ExecFieldCodesGiveWayToTheArguments)
{
    DesktopEntry entry;
    entry.path = QStringLiteral("/usr/share/applications/pd.desktop");
    entry.name = QStringLiteral("Post");
    entry.icon = QStringLiteral("pd-icon");
    const QStringList arguments { QStringLiteral("a b"), QStringLiteral("%u") };
    const struct {
        const char* exec;
        QStringList expanded;
    } cases[] = {
        { "pd %u", { QStringLiteral("pd"), QStringLiteral("a b"), QStringLiteral("%u") } },
        { "pd %F --x %U",
            { QStringLiteral("pd"), QStringLiteral("a b"), QStringLiteral("%u"), QStringLiteral("--x") } },
        { "pd", { QStringLiteral("pd"), QStringLiteral("a b"), QStringLiteral("%u") } },
        { "pd %i -t %c %k %d --p=100%% %f",
            { QStringLiteral("pd"), QStringLiteral("--icon"), QStringLiteral("pd-icon"), QStringLiteral("-t"),
                QStringLiteral("Post"), entry.path, QStringLiteral("--p=100%"), QStringLiteral("a b"),
                QStringLiteral("%u") } },
        { "flatpak run --file-forwarding org.pd.Mail @@u %u @@",
            { QStringLiteral("flatpak"), QStringLiteral("run"), QStringLiteral("--file-forwarding"),
                QStringLiteral("org.pd.Mail"), QStringLiteral("@@u"), QStringLiteral("a b"), QStringLiteral("%u"),
                QStringLiteral("@@") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exec);
        QStringList words;
        ASSERT_TRUE(SplitCommandLine(QString::fromLatin1(c.exec), &words));
        entry.exec = words;
        EXPECT_EQ(ExpandExec(entry, arguments), c.expanded);
    }
    entry.icon.clear();
    entry.exec = QStringList { QStringLiteral("pd"), QStringLiteral("%i"), QStringLiteral("%u") };
    EXPECT_EQ(ExpandExec(entry, {}), QStringList { QStringLiteral("pd") });
}

TEST_F(FileTypesTest, DefaultApplicationFollowsMimeappsList)
{
    Program(QStringLiteral("bin/pd-mail"));
    Bind("x-scheme-handler/mailto", "pd-mail.desktop", "pd/mail.desktop", "pd-mail %u");
    EXPECT_EQ(DefaultApplication(QStringLiteral("x-scheme-handler/mailto")),
        m_temp.File(QStringLiteral("sysdata/applications/pd/mail.desktop")));
    EXPECT_EQ(DefaultApplication(QStringLiteral("message/rfc822")), QString());
}

} // namespace
} // namespace pd::platform
