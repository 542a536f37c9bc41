#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "mail/handoff.h"
#include "mail/mailmessage.h"
#include "mail/mailprogram.h"
#include "platform/commandline.h"
#include "tests/mail/fakedesktop.h"

namespace pd::mail {
namespace {

using pd::test::WriteBytes;

const QString kRecipient = QStringLiteral("empfang@example.org");
// An umlaut, a comma, an apostrophe and an ampersand; a body of several lines with a percent sign.
const QString kSubject = QString::fromUtf8("Grüße, Müller's Angebot & Preise");
const QString kBody = QString::fromUtf8("Guten Tag,\r\n\r\nanbei 100% des Scans.\r\nGruß");
const QString kSubjectEncoded = QStringLiteral("Gr%C3%BC%C3%9Fe%2C%20M%C3%BCller%27s%20Angebot%20%26%20Preise");
const QString kBodyEncoded = QStringLiteral("Guten%20Tag%2C%0D%0A%0D%0Aanbei%20100%25%20des%20Scans.%0D%0AGru%C3%9F");

class HandOffTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_desktop.Program(QStringLiteral("xdg-open"));
        m_desktop.Program(QStringLiteral("x-terminal-emulator"));
        m_pdf = m_desktop.File(QStringLiteral("job folder/Scan_20251201_1435.pdf"));
        WriteBytes(m_pdf, "%PDF-1.4\n%%EOF\n");
        // The expected URIs below spell the PDF path with only "/" and " " encoded.
        ASSERT_TRUE(QFileInfo(m_pdf).isAbsolute());
        ASSERT_TRUE(QString(m_pdf).remove(QRegularExpression(QStringLiteral("[A-Za-z0-9/ ._~-]"))).isEmpty())
            << m_pdf.toStdString();
    }
    bool Create() { return CreateAndOpenMail(QString(), kRecipient, kSubject, kBody, m_pdf); }
    QString Eml() const { return m_pdf + QStringLiteral(".eml"); }
    QString PdfEncoded() const
    {
        return QString(m_pdf)
            .replace(QLatin1Char('/'), QLatin1String("%2F"))
            .replace(QLatin1Char(' '), QLatin1String("%20"));
    }
    QString Mailto(bool attach) const
    {
        return QStringLiteral("mailto:empfang@example.org?subject=") + kSubjectEncoded + QStringLiteral("&body=")
            + kBodyEncoded + (attach ? QStringLiteral("&attach=") + PdfEncoded() : QString());
    }
    // "@PDF", "@EML", "@MAILTO", "@MAILTO+ATTACH" and "@BIN/" in expected arguments stand for the
    // values of this test.
    QStringList Expand(const QStringList& words) const
    {
        QStringList result;
        for (QString word : words) {
            if (word == QLatin1String("@PDF"))
                word = m_pdf;
            else if (word == QLatin1String("@EML"))
                word = Eml();
            else if (word == QLatin1String("@MAILTO"))
                word = Mailto(false);
            else if (word == QLatin1String("@MAILTO+ATTACH"))
                word = Mailto(true);
            word.replace(QLatin1String("@BIN/"), m_desktop.Bin(QString()));
            result << word;
        }
        return result;
    }

    pd::test::FakeDesktop m_desktop;
    QString m_pdf;
};

TEST_F(HandOffTest, EachMailProgramGetsTheDraftByItsRoute)
{
    const QString body = QString::fromUtf8("Guten Tag,\n\nanbei 100% des Scans.\nGruß");
    const struct {
        const char* what;
        QByteArray program; // the fake in the bin folder
        QByteArray exec; // of its desktop file; "@BIN/" is the bin folder
        QByteArray types; // what it is the default application of
        QByteArray extra; // more desktop file lines
        QString started; // the program that must be started
        QStringList arguments;
    } cases[] = {
        { "Thunderbird for message files and links", "thunderbird", "thunderbird %u",
            "message/rfc822=mail.desktop;\nx-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("thunderbird"),
            { QStringLiteral("@EML") } },
        { "Thunderbird for links, another program for message files", "thunderbird", "@BIN/thunderbird %u",
            "x-scheme-handler/mailto=mail.desktop;\nmessage/rfc822=other.desktop;\n", "", QStringLiteral("thunderbird"),
            { QStringLiteral("@EML") } },
        { "Betterbird as a Flatpak: the file is forwarded into the sandbox", "flatpak",
            "@BIN/flatpak run --branch=stable --arch=x86_64 --command=betterbird --file-forwarding "
            "eu.betterbird.Betterbird @@u %u @@",
            "x-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("flatpak"),
            { QStringLiteral("run"), QStringLiteral("--branch=stable"), QStringLiteral("--arch=x86_64"),
                QStringLiteral("--command=betterbird"), QStringLiteral("--file-forwarding"),
                QStringLiteral("eu.betterbird.Betterbird"), QStringLiteral("@@u"), QStringLiteral("@EML"),
                QStringLiteral("@@") } },
        { "Evolution", "evolution", "evolution %U",
            "message/rfc822=mail.desktop;\nx-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("evolution"),
            { QStringLiteral("@MAILTO+ATTACH") } },
        { "Evolution for message files, an unknown program for links", "evolution", "evolution %U",
            "message/rfc822=mail.desktop;\nx-scheme-handler/mailto=other.desktop;\n", "", QStringLiteral("evolution"),
            { QStringLiteral("@MAILTO+ATTACH") } },
        { "Geary as a Flatpak", "flatpak", "flatpak run org.gnome.Geary %U", "x-scheme-handler/mailto=mail.desktop;\n",
            "", QStringLiteral("flatpak"),
            { QStringLiteral("run"), QStringLiteral("org.gnome.Geary"), QStringLiteral("@MAILTO+ATTACH") } },
        { "KMail, with its window title code", "kmail", "kmail -qwindowtitle %c %u",
            "x-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("kmail"),
            { QStringLiteral("-qwindowtitle"), QStringLiteral("Mail"), QStringLiteral("--composer"),
                QStringLiteral("-s"), kSubject, QStringLiteral("--body"), body, QStringLiteral("--attach"),
                QStringLiteral("@PDF"), kRecipient } },
        { "Claws Mail", "claws-mail", "claws-mail %u", "x-scheme-handler/mailto=mail.desktop;\n", "",
            QStringLiteral("claws-mail"),
            { QStringLiteral("--compose"), QStringLiteral("@MAILTO"), QStringLiteral("--attach"),
                QStringLiteral("@PDF") } },
        { "Sylpheed, whose command has no field code", "sylpheed", "sylpheed", "message/rfc822=mail.desktop;\n", "",
            QStringLiteral("sylpheed"),
            { QStringLiteral("--compose"), QStringLiteral("@MAILTO"), QStringLiteral("--attach"),
                QStringLiteral("@PDF") } },
        { "NeoMutt in the desktop's terminal", "neomutt", "neomutt %u", "x-scheme-handler/mailto=mail.desktop;\n",
            "Terminal=true\n", QStringLiteral("x-terminal-emulator"),
            { QStringLiteral("-e"), QStringLiteral("neomutt"), QStringLiteral("-H"), QStringLiteral("@EML") } },
        { "mutt, even where its desktop file does not ask for a terminal", "mutt", "@BIN/mutt",
            "x-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("x-terminal-emulator"),
            { QStringLiteral("-e"), QStringLiteral("@BIN/mutt"), QStringLiteral("-H"), QStringLiteral("@EML") } },
        { "an unknown program: the message file goes to xdg-open", "pd-mailer", "pd-mailer %u",
            "message/rfc822=mail.desktop;\nx-scheme-handler/mailto=mail.desktop;\n", "", QStringLiteral("xdg-open"),
            { QStringLiteral("@EML") } },
        { "no mail program at all", "pd-mailer", "pd-mailer %u", "", "", QStringLiteral("xdg-open"),
            { QStringLiteral("@EML") } },
    };
    m_desktop.Program(QStringLiteral("pd-other"));
    m_desktop.DesktopFile(QStringLiteral("other.desktop"), "pd-other %u");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_desktop.ForgetRecords();
        m_desktop.Program(QString::fromLatin1(c.program));
        m_desktop.DesktopFile(QStringLiteral("mail.desktop"),
            QByteArray(c.exec).replace("@BIN/", QFile::encodeName(m_desktop.Bin(QString()))), c.extra);
        m_desktop.Defaults(c.types);
        ASSERT_TRUE(Create());
        EXPECT_EQ(m_desktop.Recorded(c.started), Expand(c.arguments));
        const QDir records(m_desktop.File(QStringLiteral("records")));
        EXPECT_EQ(records.entryList({ QStringLiteral("*.pid") }, QDir::Files).size(), 1) << "one program only";
        EXPECT_TRUE(QFileInfo::exists(Eml())) << "the message file is written on every route";
    }
}

TEST_F(HandOffTest, ARouteThatFailsIsAFailedHandOff)
{
    const bool terminalOnSystem = !platform::SearchPath(QStringLiteral("x-terminal-emulator")).isEmpty()
        && platform::SearchPath(QStringLiteral("x-terminal-emulator"))
            != m_desktop.Bin(QStringLiteral("x-terminal-emulator"));
    const struct {
        const char* what;
        QByteArray exec;
        QByteArray extra;
        QByteArray tail; // of the fake evolution
        bool removeTerminal;
    } cases[] = {
        { "the program ends with an error", "evolution %U", "", "exit 3", false },
        { "the program dies", "evolution %U", "", "kill -9 $$", false },
        { "the program behind env is missing", "env PD_SET=1 /nonexistent/evolution %U", "", "exit 0", false },
        { "a terminal program without a terminal", "neomutt %u", "Terminal=true\n", "exit 0", true },
    };
    m_desktop.Program(QStringLiteral("neomutt"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.removeTerminal && terminalOnSystem) {
            std::cout << "x-terminal-emulator is installed on this system: a missing terminal cannot be shown\n";
            continue;
        }
        if (c.removeTerminal)
            QFile::remove(m_desktop.Bin(QStringLiteral("x-terminal-emulator")));
        m_desktop.ForgetRecords();
        m_desktop.Program(QStringLiteral("evolution"), c.tail);
        m_desktop.DesktopFile(QStringLiteral("mail.desktop"), c.exec, c.extra);
        m_desktop.Defaults("x-scheme-handler/mailto=mail.desktop;\n");
        EXPECT_FALSE(Create());
        EXPECT_FALSE(m_desktop.WasStarted(QStringLiteral("xdg-open"))) << "no second route behind the user's back";
    }
}

TEST_F(HandOffTest, AMailProgramThatStaysOpenIsAcceptedAndKeepsRunning)
{
    m_desktop.Program(QStringLiteral("evolution"), "exec sleep 30");
    m_desktop.DesktopFile(QStringLiteral("mail.desktop"), "evolution %U");
    m_desktop.Defaults("x-scheme-handler/mailto=mail.desktop;\n");
    EXPECT_TRUE(Create());
    const pid_t pid = pd::test::ReadBytes(m_desktop.File(QStringLiteral("records/evolution.pid"))).trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid, 0), 0) << "the mail program was stopped";
    ::kill(pid, SIGTERM);
}

TEST_F(HandOffTest, NoAttachmentWhereNoPdfIsThere)
{
    QFile::remove(m_pdf);
    const struct {
        const char* program;
        QStringList arguments;
    } cases[] = {
        { "evolution", { QStringLiteral("@MAILTO") } },
        { "claws-mail", { QStringLiteral("--compose"), QStringLiteral("@MAILTO") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        m_desktop.Program(QLatin1String(c.program));
        m_desktop.DesktopFile(QStringLiteral("mail.desktop"), QByteArray(c.program) + " %u");
        m_desktop.Defaults("x-scheme-handler/mailto=mail.desktop;\n");
        ASSERT_TRUE(Create());
        EXPECT_EQ(m_desktop.Recorded(QLatin1String(c.program)), Expand(c.arguments));
    }
}

} // namespace
} // namespace pd::mail
