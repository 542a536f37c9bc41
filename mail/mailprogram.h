#pragma once

#include <QString>

#include "platform/desktopentry.h"

namespace pd::mail {

// How a draft reaches a mail program.
enum class MailRoute {
    OpenMessageFile, // the .eml given to the program's own command: it opens an unsent message as a draft
    MailtoUri, // a mailto: URI with the PDF path in "attach"
    KMailComposer, // --composer with subject, body, attachment and recipient as options
    ComposeAndAttach, // --compose "mailto:…" --attach PDF
    TerminalDraft, // -H MESSAGE-FILE in a terminal window
};

// Where a mail program runs: on the host, or boxed in with its own view of the files.
enum class Sandbox { None, Flatpak, Snap };

// The user's mail program as the desktop names it.
struct MailProgram {
    bool known = false; // a program whose route is known; otherwise the message file is opened
    QString name; // the program's command name, in lower case ("evolution", "kmail")
    MailRoute route = MailRoute::OpenMessageFile;
    platform::DesktopEntry entry; // the desktop file the program is started by
    Sandbox sandbox = Sandbox::None;
    QString sandboxId; // the Flatpak application id or the Snap name
};

// The mail program that gets the draft: the default application of mailto: links (the desktop's
// choice of mail program) when its route is known, else the default application of message
// files. With neither known, the result is not known and names the sandbox, if any, of the
// message file's application, which then gets the file.
MailProgram FindMailProgram();

// What a desktop entry runs: the program's command name and its sandbox, also for a program
// started through "flatpak run" or from /snap/. The route is taken from the table of known
// mail programs.
MailProgram DescribeMailProgram(const platform::DesktopEntry& entry);

// The private folder (mode 0700, owned by the user, not a symbolic link) where the job's files
// must lie for the mail program to read them, with a trailing "/": below the temporary folder for
// a program on the host, below the program's own folder in the home folder for a sandboxed one
// (Flatpak: ~/.var/app/ID/cache/, Snap: ~/snap/NAME/common/), since a sandbox sees neither the
// host's temporary folder nor hidden folders of the home folder. Empty when the folder cannot be
// made private: nothing may then be written.
QString CreateJobFolder(const MailProgram& program, const QString& name = QStringLiteral("Paperdart"));

} // namespace pd::mail
