#include "mail/mailmessage.h"

#include <cerrno>
#include <exception>
#include <sys/file.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "mail/encoders.h"
#include "mail/handoff.h"
#include "mail/headerencoding.h"
#include "mail/mailprogram.h"
#include "platform/largebuffer.h"
#include "platform/textfile.h"

namespace pd::mail {

namespace {

std::function<QDateTime()> g_clock;

struct Message {
    QString sender;
    QString recipient;
    QString subject;
    QString body;
    QString attachmentPath;
    QByteArray boundary;
};

void AppendLine(QByteArray& text, const QByteArray& line)
{
    text.append(line);
    text.append("\r\n");
}

QByteArray Boundary(const QDateTime& now)
{
    return "----=_Part_" + now.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1();
}

void AppendHeaderAndBody(QByteArray& text, const Message& message)
{
    AppendLine(text, "X-Unsent: 1");
    AppendLine(text, AddressField("From", message.sender));
    AppendLine(text, AddressField("To", message.recipient));
    AppendLine(text, UnstructuredField("Subject", message.subject));
    AppendLine(text, "MIME-Version: 1.0");
    AppendLine(text, "Content-Type: multipart/mixed; boundary=\"" + message.boundary + '"');
    AppendLine(text, {});
    AppendLine(text, "This is a multi-part message in MIME format.");
    AppendLine(text, {});
    AppendLine(text, "--" + message.boundary);
    AppendLine(text, "Content-Type: text/plain; charset=\"utf-8\"");
    AppendLine(text, "Content-Transfer-Encoding: quoted-printable");
    AppendLine(text, {});
    AppendLine(text, EncodeQuotedPrintable(message.body.toUtf8()));
    AppendLine(text, {});
}

// Nobody may be writing the attachment while it is read: a writer holding an exclusive lock
// makes the read fail instead of taking a torn copy. Locks are advisory, so writers that take
// none are not kept out.
bool LockForReading(QFile& file)
{
    while (::flock(file.handle(), LOCK_SH | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            return false;
        if (errno != EINTR)
            return true; // a file system without locks
    }
    return true;
}

// Appends the attachment part up to its base64 text; the text is kept as bytes.
bool AppendAttachment(QByteArray& text, const Message& message)
{
    QFile file(message.attachmentPath);
    if (!file.open(QIODevice::ReadOnly) || !LockForReading(file))
        return false;
    const QString fileName = QFileInfo(message.attachmentPath).fileName();
    const qint64 size = file.size();
    // 57 bytes make one line of 76 characters and CR LF; the rest of the message is small.
    platform::ReserveLargeBuffer(text, text.size() + (size / 57 + 1) * 78 + 1024);
    AppendLine(text, "--" + message.boundary);
    AppendLine(text, "Content-Type: application/octet-stream; " + FileNameParameter("name", fileName));
    AppendLine(text, "Content-Transfer-Encoding: base64");
    AppendLine(text, "Content-Disposition: attachment; " + FileNameParameter("filename", fileName));
    AppendLine(text, {});
    QBuffer target(&text);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Append) || !EncodeBase64Stream(file, target))
        return false;
    target.close();
    AppendLine(text, {});
    return true;
}

bool Compose(QByteArray& text, const Message& message)
{
    AppendHeaderAndBody(text, message);
    // As on Windows, a folder at the path is no file to attach. A pipe, socket or device is no
    // file either, but reading it could block for ever, so it fails the message.
    const QFileInfo attachment(message.attachmentPath);
    if (attachment.isFile() && !AppendAttachment(text, message))
        return false;
    if (!attachment.isFile() && attachment.exists() && !attachment.isDir())
        return false;
    AppendLine(text, {});
    AppendLine(text, "--" + message.boundary + "--");
    return true;
}

} // namespace

QString MailMessagePath(const QString& attachmentPath)
{
    return attachmentPath + QStringLiteral(".eml");
}

bool WriteMailMessage(const QString& sender, const QString& recipient, const QString& subject, const QString& body,
    const QString& attachmentPath, const QString& messagePath, const QDateTime& now)
{
    if (attachmentPath.isEmpty())
        return false;
    try {
        const Message message { sender, recipient, subject, body, attachmentPath, Boundary(now) };
        QByteArray text;
        return Compose(text, message) && platform::WriteFileWhole(messagePath, text);
    } catch (const std::exception&) {
        // An attachment too big for memory.
        return false;
    }
}

bool CreateAndOpenMail(const QString& sender, const QString& recipient, const QString& subject, const QString& body,
    const QString& attachmentPath)
{
    return CreateAndOpenMail(FindMailProgram(), sender, recipient, subject, body, attachmentPath);
}

bool CreateAndOpenMail(const MailProgram& program, const QString& sender, const QString& recipient,
    const QString& subject, const QString& body, const QString& attachmentPath)
{
    const QDateTime now = g_clock ? g_clock() : QDateTime::currentDateTime();
    const QString messagePath = MailMessagePath(attachmentPath);
    if (!WriteMailMessage(sender, recipient, subject, body, attachmentPath, messagePath, now))
        return false;
    return HandOverDraft(program, { recipient, subject, body, attachmentPath, messagePath });
}

void SetMailClock(std::function<QDateTime()> clock)
{
    g_clock = std::move(clock);
}

} // namespace pd::mail
