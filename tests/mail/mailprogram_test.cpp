#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "mail/mailprogram.h"
#include "platform/commandline.h"
#include "tests/mail/fakedesktop.h"

namespace pd::mail {
namespace {

platform::DesktopEntry Entry(const QStringList& exec)
{
    platform::DesktopEntry entry;
    entry.exec = exec;
    return entry;
}

QStringList Words(const char* line)
{
    QStringList words;
    EXPECT_TRUE(platform::SplitCommandLine(QString::fromUtf8(line), &words));
    return words;
}

TEST(MailProgramTest, DesktopCommandsNameTheProgramAndItsSandbox)
{
    const struct {
        const char* exec;
        bool known;
        MailRoute route;
        const char* name;
        Sandbox sandbox;
        const char* sandboxId;
    } cases[] = {
        { "thunderbird %u", true, MailRoute::OpenMessageFile, "thunderbird", Sandbox::None, "" },
        { "/usr/bin/Evolution %U", true, MailRoute::MailtoUri, "evolution", Sandbox::None, "" },
        { "kmail -qwindowtitle %c %u", true, MailRoute::KMailComposer, "kmail", Sandbox::None, "" },
        { "/usr/bin/flatpak run --branch=stable --arch=x86_64 --command=thunderbird --file-forwarding "
          "org.mozilla.Thunderbird @@u %u @@",
            true, MailRoute::OpenMessageFile, "thunderbird", Sandbox::Flatpak, "org.mozilla.Thunderbird" },
        { "flatpak run org.gnome.Geary %U", true, MailRoute::MailtoUri, "geary", Sandbox::Flatpak, "org.gnome.Geary" },
        { "flatpak run --branch=stable org.kde.kmail2 %u", true, MailRoute::KMailComposer, "kmail2", Sandbox::Flatpak,
            "org.kde.kmail2" },
        { "flatpak run org.claws_mail.Claws-Mail %u", true, MailRoute::ComposeAndAttach, "claws-mail", Sandbox::Flatpak,
            "org.claws_mail.Claws-Mail" },
        { "env BAMF_DESKTOP_FILE_HINT=/var/lib/snapd/desktop/applications/thunderbird_thunderbird.desktop "
          "/snap/bin/thunderbird %u",
            true, MailRoute::OpenMessageFile, "thunderbird", Sandbox::Snap, "thunderbird" },
        { "/snap/bin/sylpheed.compose %u", true, MailRoute::ComposeAndAttach, "sylpheed", Sandbox::Snap, "sylpheed" },
        { "neomutt %u", true, MailRoute::TerminalDraft, "neomutt", Sandbox::None, "" },
        { "mailspring %U", false, MailRoute::OpenMessageFile, "mailspring", Sandbox::None, "" },
        // An id that would lead out of the home folder's application folders is no sandbox to write into.
        { "flatpak run ../../evolution %U", false, MailRoute::OpenMessageFile, "", Sandbox::None, "" },
        { "flatpak run .. %U", false, MailRoute::OpenMessageFile, "", Sandbox::None, "" },
        { "env", false, MailRoute::OpenMessageFile, "", Sandbox::None, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exec);
        const MailProgram program = DescribeMailProgram(Entry(Words(c.exec)));
        EXPECT_EQ(program.known, c.known);
        EXPECT_EQ(program.route, c.route);
        EXPECT_EQ(program.name, QLatin1String(c.name));
        EXPECT_EQ(program.sandbox, c.sandbox);
        EXPECT_EQ(program.sandboxId, QLatin1String(c.sandboxId));
    }
}

class JobFolderTest : public ::testing::Test {
protected:
    MailProgram Boxed(Sandbox sandbox, const QString& id)
    {
        MailProgram program;
        program.sandbox = sandbox;
        program.sandboxId = id;
        return program;
    }
    static void ExpectPrivate(const QString& folder)
    {
        struct stat info { };
        ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0) << folder.toStdString();
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_EQ(info.st_uid, ::geteuid());
    }

    pd::test::FakeDesktop m_desktop;
};

TEST_F(JobFolderTest, JobFilesLieWhereTheMailProgramCanReadThem)
{
    const QString home = m_desktop.File(QStringLiteral("home/"));
    const struct {
        const char* what;
        Sandbox sandbox;
        QString id;
        QString folder;
    } cases[] = {
        { "on the host: the temporary folder", Sandbox::None, QString(),
            m_desktop.File(QStringLiteral("tmp/Paperdart/")) },
        { "Flatpak: the application's own cache", Sandbox::Flatpak, QStringLiteral("org.gnome.Evolution"),
            home + QStringLiteral(".var/app/org.gnome.Evolution/cache/Paperdart/") },
        { "Snap: the snap's common folder, not hidden", Sandbox::Snap, QStringLiteral("thunderbird"),
            home + QStringLiteral("snap/thunderbird/common/Paperdart/") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CreateJobFolder(Boxed(c.sandbox, c.id)), c.folder);
        ExpectPrivate(c.folder);
    }
    // A folder left open to others by an earlier run is closed again.
    const QString folder = home + QStringLiteral("snap/thunderbird/common/Paperdart/");
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    EXPECT_EQ(CreateJobFolder(Boxed(Sandbox::Snap, QStringLiteral("thunderbird"))), folder);
    ExpectPrivate(folder);
}

TEST_F(JobFolderTest, AFolderThatCannotBePrivateGivesNone)
{
    const QString home = m_desktop.File(QStringLiteral("home/"));
    const QString elsewhere = m_desktop.File(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral(".var/app/org.gnome.Geary/cache")));
    ASSERT_TRUE(QFile::link(elsewhere, home + QStringLiteral(".var/app/org.gnome.Geary/cache/Paperdart")));
    EXPECT_EQ(CreateJobFolder(Boxed(Sandbox::Flatpak, QStringLiteral("org.gnome.Geary"))), QString());
    EXPECT_EQ(::chmod(QFile::encodeName(elsewhere).constData(), 0755), 0);
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(elsewhere).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0755u) << "the link's target was changed";

    // A file where the snap's folders belong.
    pd::test::WriteBytes(home + QStringLiteral("snap/geary"), "not a folder");
    EXPECT_EQ(CreateJobFolder(Boxed(Sandbox::Snap, QStringLiteral("geary"))), QString());
}

TEST_F(JobFolderTest, FollowsTheDesktopsMailProgram)
{
    m_desktop.Program(QStringLiteral("flatpak"));
    m_desktop.DesktopFile(QStringLiteral("org.gnome.Evolution.desktop"), "flatpak run org.gnome.Evolution %U");
    m_desktop.Defaults("x-scheme-handler/mailto=org.gnome.Evolution.desktop;\n");
    EXPECT_EQ(CreateJobFolder(FindMailProgram()),
        m_desktop.File(QStringLiteral("home/.var/app/org.gnome.Evolution/cache/Paperdart/")));

    m_desktop.Defaults("");
    EXPECT_EQ(CreateJobFolder(FindMailProgram()), m_desktop.File(QStringLiteral("tmp/Paperdart/")));
}

} // namespace
} // namespace pd::mail
