#include "mail/handoff.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include "mail/mailto.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace pd::mail {

namespace {

Q_LOGGING_CATEGORY(lcHandOff, "pd.mail", QtInfoMsg)

// Debian's name for the desktop's chosen terminal; it takes the command after "-e" as words.
const QLatin1String kTerminal("x-terminal-emulator");

// The attachment as the programs want it: absolute, and only when there is a file to attach.
QString AttachmentOf(const Draft& draft)
{
    const QFileInfo file(draft.attachmentPath);
    return file.isFile() ? file.absoluteFilePath() : QString();
}

// A path that starts with "-" would be taken for an option.
QString PathArgument(const QString& path)
{
    return path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
}

QStringList KMailArguments(const Draft& draft, const QString& attachment)
{
    QStringList arguments { QStringLiteral("--composer"), QStringLiteral("-s"), draft.subject, QStringLiteral("--body"),
        platform::WithLf(draft.body) };
    if (!attachment.isEmpty())
        arguments << QStringLiteral("--attach") << attachment;
    if (!draft.recipient.isEmpty())
        arguments << draft.recipient;
    return arguments;
}

// The route's own arguments, which take the place of the file code in the program's command.
QStringList RouteArguments(MailRoute route, const Draft& draft)
{
    const QString attachment = AttachmentOf(draft);
    switch (route) {
    case MailRoute::OpenMessageFile:
        return { PathArgument(draft.messagePath) };
    case MailRoute::MailtoUri:
        return { MailtoUri(draft.recipient, draft.subject, draft.body, attachment) };
    case MailRoute::KMailComposer:
        return KMailArguments(draft, attachment);
    case MailRoute::ComposeAndAttach: {
        QStringList arguments { QStringLiteral("--compose"), MailtoUri(draft.recipient, draft.subject, draft.body) };
        if (!attachment.isEmpty())
            arguments << QStringLiteral("--attach") << attachment;
        return arguments;
    }
    case MailRoute::TerminalDraft:
        return { QStringLiteral("-H"), PathArgument(draft.messagePath) };
    }
    return {};
}

} // namespace

QStringList HandOffArguments(const MailProgram& program, const Draft& draft)
{
    // A known program gets its own command even where it opens message files by default:
    // xdg-open on a desktop without its own file-type service takes the type from the content,
    // and a message that starts with "X-Unsent" reads as plain text there.
    if (!program.known)
        return {};
    QStringList arguments = platform::ExpandExec(program.entry, RouteArguments(program.route, draft));
    if (program.entry.terminal || program.route == MailRoute::TerminalDraft)
        arguments = QStringList { kTerminal, QStringLiteral("-e") } + arguments;
    return arguments;
}

bool HandOverDraft(const MailProgram& program, const Draft& draft)
{
    const QStringList arguments = HandOffArguments(program, draft);
    const int result = arguments.isEmpty() ? platform::ShellExecute(
                           QStringLiteral("open"), draft.messagePath, QString(), QString(), platform::SW_SHOWNORMAL)
                                           : platform::StartAndJudge(arguments);
    if (result <= 32)
        qCDebug(lcHandOff) << "hand-off failed:" << result << arguments;
    return result > 32;
}

} // namespace pd::mail
