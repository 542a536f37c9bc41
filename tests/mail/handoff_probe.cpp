// Hands one draft to the mail program the desktop names, as the scan job does, and prints the
// result. Used by the opt-in check with real mail programs (tests/mail/real_mail_programs.sh).
#include <cstdio>

#include <QCoreApplication>
#include <QStringList>

#include "mail/handoff.h"
#include "mail/mailmessage.h"
#include "mail/mailprogram.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: %s PDF RECIPIENT SUBJECT BODY\n", argv[0]);
        return 2;
    }
    const pd::mail::MailProgram program = pd::mail::FindMailProgram();
    pd::mail::Draft draft { arguments[2], arguments[3], arguments[4], arguments[1],
        arguments[1] + QStringLiteral(".eml") };
    std::printf("program: %s (%s)\nroute: %s\n", qPrintable(program.name), qPrintable(program.entry.path),
        qPrintable(pd::mail::HandOffArguments(program, draft).join(QStringLiteral(" | "))));
    const bool accepted
        = pd::mail::CreateAndOpenMail(QString(), arguments[2], arguments[3], arguments[4], arguments[1]);
    std::printf("accepted: %s\n", accepted ? "yes" : "no");
    return accepted ? 0 : 1;
}
