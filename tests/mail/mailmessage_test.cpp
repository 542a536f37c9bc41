#include <cerrno>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include "mail/mailmessage.h"
#include "tests/mail/fakedesktop.h"
#include "tests/mail/readback.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

using pd::test::ReadBytes;
using pd::test::ScopedEnv;
using pd::test::TempFolder;
using pd::test::WriteBytes;

const QString kDataDir = QStringLiteral(PD_MAIL_DATA_DIR);
const QString kPdfName = QStringLiteral("Scan_20251201_1435.pdf");
const QString kBody = QString::fromUtf8("Guten Tag,\r\n\r\nanbei das gescannte Dokument (Seite 1 = Deckblatt).\r\n\r\n"
                                        "Mit freundlichen Grüßen\r\nIhre Poststelle");

QDateTime FixedTime()
{
    return QDateTime(QDate(2025, 12, 1), QTime(14, 35, 7));
}

QStringList Defects(const QJsonObject& message)
{
    QStringList defects;
    for (const QJsonValue& defect : message[QStringLiteral("defects")].toArray())
        defects << defect.toString();
    return defects;
}

// A fake xdg-open first on PATH that records the file it was given, and a fixed clock. The desktop
// names no mail program, so the message file goes to xdg-open.
class MailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMailClock(&FixedTime);
        InstallFake("exit 0");
    }
    void TearDown() override { SetMailClock({}); }

    void InstallFake(const QByteArray& lines)
    {
        const QString fake = m_temp.File(QStringLiteral("bin/xdg-open"));
        WriteBytes(fake, "#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(Record()) + "'\n" + lines + "\n");
        ASSERT_EQ(::chmod(QFile::encodeName(fake).constData(), 0755), 0);
        UsePath(m_temp.File(QStringLiteral("bin")) + QLatin1Char(':') + QString::fromLocal8Bit(m_oldPath));
    }
    void UsePath(const QString& path)
    {
        m_path.reset();
        m_path = std::make_unique<ScopedEnv>("PATH", path);
    }
    QString Record() const { return m_temp.File(QStringLiteral("handed-over")); }
    bool HandedOver() const { return QFileInfo::exists(Record()); }

    // The job's PDF, copied from the fixtures, in a folder of this test.
    QString Attachment(const QString& name = kPdfName)
    {
        const QString path = m_temp.File(QStringLiteral("job/") + name);
        WriteBytes(path, ReadBytes(kDataDir + QLatin1Char('/') + kPdfName));
        return path;
    }

    pd::test::FakeDesktop m_desktop;
    TempFolder m_temp;
    QByteArray m_oldPath = qgetenv("PATH");
    std::unique_ptr<ScopedEnv> m_path;
};

TEST_F(MailTest, WholeFileMatchesTheLayout)
{
    const struct {
        const char* fixture;
        enum { Pdf, Empty, Missing } attachment;
    } cases[] = {
        { "with-attachment.eml", cases->Pdf },
        { "empty-attachment.eml", cases->Empty },
        { "without-attachment.eml", cases->Missing },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        const QString pdf = m_temp.File(QStringLiteral("job/") + kPdfName);
        QFile::remove(pdf);
        QFile::remove(Record());
        if (c.attachment == c.Pdf)
            Attachment();
        if (c.attachment == c.Empty)
            WriteBytes(pdf, QByteArray());
        ASSERT_TRUE(CreateAndOpenMail(
            QString(), QStringLiteral("empfang@example.org"), QStringLiteral("Scan vom Kopierer"), kBody, pdf));
        const QString message = pdf + QStringLiteral(".eml");
        EXPECT_EQ(ReadBytes(message), ReadBytes(kDataDir + QLatin1Char('/') + QLatin1String(c.fixture)));
        EXPECT_EQ(ReadBytes(Record()), QFile::encodeName(message));
    }
}

TEST_F(MailTest, PythonReadsBodyAndAttachmentBack)
{
    const QString pdf = Attachment();
    // Several large pages of message text, and not a whole number of lines.
    QByteArray bytes;
    for (int i = 0; i < 3'000'017; ++i)
        bytes.append(static_cast<char>((static_cast<unsigned>(i) * 7919U) >> 3));
    WriteBytes(pdf, bytes);
    ASSERT_TRUE(
        CreateAndOpenMail(QString(), QStringLiteral("empfang@example.org"), QStringLiteral("Scan"), kBody, pdf));
    const QJsonObject message = pd::test::ReadMessageBack(pdf + QStringLiteral(".eml"));
    EXPECT_EQ(Defects(message), QStringList());
    EXPECT_EQ(message[QStringLiteral("unsent")].toString(), QStringLiteral("1"));
    EXPECT_EQ(message[QStringLiteral("body")].toString(), kBody + QLatin1Char('\n')) << "plus the layout's line end";
    const QJsonArray attachments = message[QStringLiteral("attachments")].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0][QStringLiteral("filename")].toString(), kPdfName);
    EXPECT_EQ(QByteArray::fromHex(attachments[0][QStringLiteral("hex")].toString().toLatin1()), bytes);
}

TEST_F(MailTest, PythonReadsHeaderTextBackUnchanged)
{
    const QString subject = QString::fromUtf8("Grüße aus der Buchhaltung: Rechnungsprüfung für Δ-Projekt, "
                                              "Äpfel & Öl – bitte bis Freitag prüfen (Übersicht)");
    ASSERT_GT(subject.size(), 75);
    const QString name = QString::fromUtf8("Prüfbericht Jürgen.pdf");
    const QString pdf = Attachment(name);
    // Two mailboxes with encoded names, long enough to be folded.
    const QString sender = QString::fromUtf8("Poststelle Müller-Lüdenscheidt <post@example.org>, Zweite Stelle Ärger "
                                             "<zwei@example.org>");
    ASSERT_TRUE(CreateAndOpenMail(
        sender, QString::fromUtf8("Jürgen Müller <jm@example.org>"), subject, QStringLiteral("x"), pdf));
    const QJsonObject message = pd::test::ReadMessageBack(pdf + QStringLiteral(".eml"));
    EXPECT_EQ(Defects(message), QStringList());
    EXPECT_EQ(message[QStringLiteral("subject")].toString(), subject);
    const QJsonArray to = message[QStringLiteral("to")].toArray();
    ASSERT_EQ(to.size(), 1);
    EXPECT_EQ(to[0][QStringLiteral("name")].toString(), QString::fromUtf8("Jürgen Müller"));
    EXPECT_EQ(to[0][QStringLiteral("address")].toString(), QStringLiteral("jm@example.org"));
    const QJsonArray from = message[QStringLiteral("from")].toArray();
    ASSERT_EQ(from.size(), 2);
    EXPECT_EQ(from[0][QStringLiteral("name")].toString(), QString::fromUtf8("Poststelle Müller-Lüdenscheidt"));
    EXPECT_EQ(from[0][QStringLiteral("address")].toString(), QStringLiteral("post@example.org"));
    EXPECT_EQ(from[1][QStringLiteral("name")].toString(), QString::fromUtf8("Zweite Stelle Ärger"));
    EXPECT_EQ(from[1][QStringLiteral("address")].toString(), QStringLiteral("zwei@example.org"));
    EXPECT_EQ(message[QStringLiteral("attachments")].toArray()[0][QStringLiteral("filename")].toString(), name);
}

TEST_F(MailTest, LineBreaksInHeaderValuesAddNoHeaders)
{
    const QString pdf = Attachment();
    ASSERT_TRUE(CreateAndOpenMail(QStringLiteral("a@example.org\nBcc: y@example.org"),
        QStringLiteral("empfang@example.org\r\nCc: z@example.org"), QStringLiteral("Scan\r\nBcc: x@example.org"),
        QStringLiteral("x"), pdf));
    // The blanks leave broken addresses behind, which the reader may well complain about; what
    // counts is that no header was added.
    const QJsonObject message = pd::test::ReadMessageBack(pdf + QStringLiteral(".eml"));
    QStringList headers;
    for (const QJsonValue& header : message[QStringLiteral("headers")].toArray())
        headers << header.toString();
    EXPECT_EQ(headers,
        QStringList({ QStringLiteral("X-Unsent"), QStringLiteral("From"), QStringLiteral("To"),
            QStringLiteral("Subject"), QStringLiteral("MIME-Version"), QStringLiteral("Content-Type") }));
    EXPECT_EQ(message[QStringLiteral("subject")].toString(), QStringLiteral("Scan  Bcc: x@example.org"));
}

TEST_F(MailTest, ResultFollowsTheHandOff)
{
    const struct {
        const char* fake; // nullptr: no xdg-open on PATH
        bool expected;
    } cases[] = {
        { "exit 0", true },
        { "exit 3", false },
        { nullptr, false },
        { "sleep 5", true },
    };
    const QString pdf = Attachment();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fake ? c.fake : "absent");
        QFile::remove(Record());
        if (c.fake)
            InstallFake(c.fake);
        else
            UsePath(m_temp.File(QStringLiteral("job")));
        EXPECT_EQ(CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), QString(), pdf),
            c.expected);
        EXPECT_EQ(HandedOver(), c.fake != nullptr);
        EXPECT_TRUE(QFileInfo::exists(pdf + QStringLiteral(".eml")));
    }
}

TEST_F(MailTest, ReplacesAnEarlierMessage)
{
    const QString pdf = Attachment();
    WriteBytes(pdf + QStringLiteral(".eml"), QByteArray(200'000, 'x'));
    ASSERT_TRUE(CreateAndOpenMail(
        QString(), QStringLiteral("empfang@example.org"), QStringLiteral("Scan vom Kopierer"), kBody, pdf));
    EXPECT_EQ(ReadBytes(pdf + QStringLiteral(".eml")), ReadBytes(kDataDir + QStringLiteral("/with-attachment.eml")));
}

TEST_F(MailTest, WhereNoFileCanBeAttached)
{
    // A folder counts as no file; a pipe would block the reader and fails the message.
    const QString folder = m_temp.File(QStringLiteral("job/folder.pdf"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), QString(), folder));
    EXPECT_FALSE(ReadBytes(folder + QStringLiteral(".eml")).contains("Content-Disposition"));

    const QString pipe = m_temp.File(QStringLiteral("job/pipe.pdf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFile::remove(Record());
    EXPECT_FALSE(CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), QString(), pipe));
    EXPECT_FALSE(HandedOver());
    EXPECT_FALSE(
        CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), QString(), QString()));
}

TEST_F(MailTest, FailuresWriteNothingAndHandNothingOver)
{
    const QString pdf = Attachment();
    const auto create = [&pdf] {
        return CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), kBody, pdf);
    };
    const QString message = pdf + QStringLiteral(".eml");

    SCOPED_TRACE("a folder where the message file belongs");
    ASSERT_TRUE(QDir().mkpath(message));
    EXPECT_FALSE(create());
    EXPECT_FALSE(HandedOver());
    ASSERT_TRUE(QDir().rmdir(message));

    SCOPED_TRACE("the attachment is being written under an exclusive lock");
    QFile writer(pdf);
    ASSERT_TRUE(writer.open(QIODevice::ReadWrite));
    ASSERT_EQ(::flock(writer.handle(), LOCK_EX), 0);
    EXPECT_FALSE(create());
    EXPECT_FALSE(QFileInfo::exists(message));
    writer.close();

    SCOPED_TRACE("the disk is full: the earlier message stays whole");
    WriteBytes(message, "earlier message");
    const int status = pd::test::RunInChild([&create] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 500, 500 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return create() ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(message), "earlier message");
    EXPECT_FALSE(HandedOver());
}

TEST_F(MailTest, UnreadableAttachmentFails)
{
    if (!pd::test::RunningAsRoot())
        GTEST_SKIP() << "needs root to switch to another user";
    const QString pdf = Attachment();
    ASSERT_EQ(::chmod(QFile::encodeName(pdf).constData(), 0600), 0);
    for (const QString& folder :
        { m_temp.Path(), m_temp.File(QStringLiteral("job")), m_temp.File(QStringLiteral("bin")) })
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    const int status = pd::test::RunAsOtherUser([&pdf] {
        return CreateAndOpenMail(QString(), QStringLiteral("a@example.org"), QStringLiteral("s"), QString(), pdf) ? 1
                                                                                                                  : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(QFileInfo::exists(pdf + QStringLiteral(".eml")));
    EXPECT_FALSE(HandedOver());
}

} // namespace
} // namespace pd::mail
