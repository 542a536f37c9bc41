#pragma once

#include <functional>

#include <QDateTime>
#include <QString>

namespace pd::mail {

struct MailProgram;

// Path of the message file for an attachment: the attachment path + ".eml".
QString MailMessagePath(const QString& attachmentPath);

// Writes the unsent MIME message (marked "X-Unsent: 1") with the given header values, the body as
// quoted-printable UTF-8 and, when a regular file exists at attachmentPath, that file as a base64
// attachment, to messagePath. An existing file there is replaced whole; on any failure it is left
// as it was. now is the local time that names the part boundary.
bool WriteMailMessage(const QString& sender, const QString& recipient, const QString& subject, const QString& body,
    const QString& attachmentPath, const QString& messagePath, const QDateTime& now);

// Writes the message to MailMessagePath(attachmentPath) at the clock's time and hands the draft
// to the user's mail program by the route that program understands (the message file itself,
// or its compose command with the PDF attached). True exactly when the file was written and the
// hand-off was accepted. Shows nothing and logs nothing; the caller decides what to tell the user.
bool CreateAndOpenMail(const QString& sender, const QString& recipient, const QString& subject, const QString& body,
    const QString& attachmentPath);

// The same for a mail program found before: a job that has put its files where that program can
// read them hands the draft to that program, and asks the desktop only once.
bool CreateAndOpenMail(const MailProgram& program, const QString& sender, const QString& recipient,
    const QString& subject, const QString& body, const QString& attachmentPath);

// The time source of CreateAndOpenMail; an empty function restores the system clock. For tests.
void SetMailClock(std::function<QDateTime()> clock);

} // namespace pd::mail
