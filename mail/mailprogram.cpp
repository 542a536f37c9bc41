#include "mail/mailprogram.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

#include "platform/commandline.h"
#include "platform/folders.h"
#include "util/tempdir.h"

namespace pd::mail {

namespace {

Q_LOGGING_CATEGORY(lcMailProgram, "pd.mail", QtInfoMsg)

// The mail programs whose route is known, by command name (Flatpak ids end in the same name).
const struct {
    const char* name;
    MailRoute route;
} kRoutes[] = {
    { "thunderbird", MailRoute::OpenMessageFile },
    { "betterbird", MailRoute::OpenMessageFile },
    { "evolution", MailRoute::MailtoUri },
    { "geary", MailRoute::MailtoUri },
    { "kmail", MailRoute::KMailComposer },
    { "kmail2", MailRoute::KMailComposer },
    { "claws-mail", MailRoute::ComposeAndAttach },
    { "sylpheed", MailRoute::ComposeAndAttach },
    { "mutt", MailRoute::TerminalDraft },
    { "neomutt", MailRoute::TerminalDraft },
};

// "env NAME=value ... program": the index of the program word.
qsizetype ProgramIndex(const QStringList& exec)
{
    qsizetype i = 0;
    if (!exec.isEmpty() && QFileInfo(exec.first()).fileName() == QLatin1String("env")) {
        for (i = 1; i < exec.size(); ++i)
            if (!exec[i].contains(QLatin1Char('=')) && !exec[i].startsWith(QLatin1Char('-')))
                break;
    }
    return i;
}

// "flatpak run [options] APP-ID ...": names the program by its --command or the last part of
// its application id.
void DescribeFlatpak(const QStringList& exec, qsizetype from, MailProgram* program)
{
    const qsizetype run = exec.indexOf(QLatin1String("run"), from);
    if (run < 0)
        return;
    QString command;
    for (qsizetype i = run + 1; i < exec.size(); ++i) {
        if (exec[i].startsWith(QLatin1String("--command=")))
            command = exec[i].mid(10);
        else if (!exec[i].startsWith(QLatin1Char('-'))) {
            program->sandbox = Sandbox::Flatpak;
            program->sandboxId = exec[i];
            break;
        }
    }
    program->name
        = command.isEmpty() ? program->sandboxId.section(QLatin1Char('.'), -1) : QFileInfo(command).fileName();
}

// A sandbox id names a folder of its own: no path, no hidden name.
bool UsableSandboxId(const QString& id)
{
    static const QRegularExpression kId(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_.-]*$"));
    return kId.match(id).hasMatch();
}

MailProgram Described(const QString& desktopFile)
{
    platform::DesktopEntry entry;
    if (desktopFile.isEmpty() || !platform::ReadDesktopEntry(desktopFile, &entry))
        return {};
    return DescribeMailProgram(entry);
}

QString PrivateFolderBelow(const QString& base, const QString& name)
{
    const QString folder = base + name + QLatin1Char('/');
    if (!platform::ForceDirectories(base) || !platform::CreatePrivateDirectory(folder))
        return {};
    return folder;
}

} // namespace

MailProgram DescribeMailProgram(const platform::DesktopEntry& entry)
{
    MailProgram program;
    program.entry = entry;
    const qsizetype index = ProgramIndex(entry.exec);
    if (index >= entry.exec.size())
        return program;
    const QString word = entry.exec[index];
    const QString path = word.contains(QLatin1Char('/')) ? word : platform::SearchPath(word);
    program.name = QFileInfo(word).fileName();
    if (program.name == QLatin1String("flatpak")) {
        DescribeFlatpak(entry.exec, index + 1, &program);
    } else if (path.startsWith(QLatin1String("/snap/"))) {
        // Snap commands are "NAME" or "NAME.APP" in /snap/bin.
        program.name = program.name.section(QLatin1Char('.'), 0, 0);
        program.sandbox = Sandbox::Snap;
        program.sandboxId = program.name;
    }
    if (program.sandbox != Sandbox::None && !UsableSandboxId(program.sandboxId)) {
        // Not a program the sandbox could run: left to xdg-open, as an unknown one.
        qCDebug(lcMailProgram) << "unusable sandbox id in" << entry.path;
        MailProgram unknown;
        unknown.entry = entry;
        return unknown;
    }
    program.name = program.name.toLower();
    for (const auto& known : kRoutes) {
        if (program.name == QLatin1String(known.name)) {
            program.known = true;
            program.route = known.route;
        }
    }
    return program;
}

MailProgram FindMailProgram()
{
    const QString messageFile = platform::DefaultApplication(QStringLiteral("message/rfc822"));
    const QString mailtoFile = platform::DefaultApplication(QStringLiteral("x-scheme-handler/mailto"));
    const MailProgram forMessages = Described(messageFile);
    const MailProgram forMailto = Described(mailtoFile);
    const MailProgram& chosen = forMailto.known || !forMessages.known ? forMailto : forMessages;
    if (!chosen.known) {
        qCDebug(lcMailProgram) << "no known mail program; message files go to" << messageFile;
        return forMessages;
    }
    qCDebug(lcMailProgram) << "mail program" << chosen.name << "from" << chosen.entry.path;
    return chosen;
}

QString CreateJobFolder(const MailProgram& program, const QString& name)
{
    const QString home = QDir::homePath() + QLatin1Char('/');
    switch (program.sandbox) {
    case Sandbox::None:
        break;
    case Sandbox::Flatpak:
        return PrivateFolderBelow(
            home + QStringLiteral(".var/app/") + program.sandboxId + QStringLiteral("/cache/"), name);
    case Sandbox::Snap:
        return PrivateFolderBelow(
            home + QStringLiteral("snap/") + program.sandboxId + QStringLiteral("/common/"), name);
    }
    return util::CreatePrivateTempFolder(name);
}

} // namespace pd::mail
