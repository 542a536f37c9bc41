#pragma once

#include <QString>
#include <QStringList>

#include "mail/mailprogram.h"

namespace pd::mail {

// What the mail program is to show: the values of the written message file, and that file.
struct Draft {
    QString recipient;
    QString subject;
    QString body; // lines separated by CR LF
    QString attachmentPath; // the PDF; only attached when a file is there
    QString messagePath; // the written .eml
};

// The argument vector that starts the program's route for the draft: the program's own command
// from its desktop entry with the route's arguments in place of its file or URL code, inside
// "x-terminal-emulator -e" for a terminal program. Empty for a program that is not known: the
// message file then goes to xdg-open.
QStringList HandOffArguments(const MailProgram& program, const Draft& draft);

// Hands the draft to the program by its route. True when the route's program accepted it: it
// ended with status 0, or still runs after a short wait (it is never stopped). False when the
// program is missing, cannot be started or ends with another status.
bool HandOverDraft(const MailProgram& program, const Draft& draft);

} // namespace pd::mail
