#include "platform/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>

#include "platform/commandline.h"

namespace pd::platform {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "pd.platform.filetypes", QtInfoMsg)

QStringList ApplicationFolders()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QString system = qEnvironmentVariable("XDG_DATA_DIRS");
    if (system.isEmpty())
        system = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders { home + QStringLiteral("/applications") };
    for (const QString& folder : system.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders.append(folder + QStringLiteral("/applications"));
    return folders;
}

// Undoes the string escapes of a desktop file value (\s \n \t \r \\).
QString Unescaped(const QString& value)
{
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('s'))
            text += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            text += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            text += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            text += QLatin1Char('\r');
        else
            text += QLatin1Char('\\') + QString(next);
    }
    return text;
}

// Stores one "Key=value" line of the [Desktop Entry] group; localised keys ("Name[de]") are
// passed over.
void TakeKey(const QString& line, DesktopEntry* entry, QString* exec)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return;
    const QString key = line.left(equals).trimmed();
    const QString value = Unescaped(line.mid(equals + 1).trimmed());
    if (key == QLatin1String("Exec"))
        *exec = value;
    else if (key == QLatin1String("Name"))
        entry->name = value;
    else if (key == QLatin1String("Icon"))
        entry->icon = value;
    else if (key == QLatin1String("Terminal"))
        entry->terminal = value == QLatin1String("true");
}

bool IsFileCode(const QString& word)
{
    return word == QLatin1String("%f") || word == QLatin1String("%F") || word == QLatin1String("%u")
        || word == QLatin1String("%U");
}

// A word with field codes inside it: the ones that stand for text are replaced, the rest vanish.
QString ExpandInWord(const DesktopEntry& entry, const QString& word)
{
    QString text;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] != QLatin1Char('%') || i + 1 == word.size()) {
            text += word[i];
            continue;
        }
        const QChar code = word[++i];
        if (code == QLatin1Char('%'))
            text += QLatin1Char('%');
        else if (code == QLatin1Char('c'))
            text += entry.name;
        else if (code == QLatin1Char('k'))
            text += entry.path;
    }
    return text;
}

} // namespace

QString QueryXdgMime(const QStringList& arguments)
{
    const QString program = SearchPath(QStringLiteral("xdg-mime"));
    if (program.isEmpty())
        return {};
    QProcess query;
    query.setStandardInputFile(QProcess::nullDevice());
    query.start(program, arguments);
    if (!query.waitForFinished(kFileTypeQueryMs)) {
        query.kill();
        query.waitForFinished();
        qCDebug(lcDesktop) << "xdg-mime did not answer:" << arguments;
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return {};
    return QString::fromUtf8(query.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QString DesktopFilePath(const QString& desktopId)
{
    if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/')))
        return {};
    QStringList names { desktopId };
    QString name = desktopId;
    for (qsizetype dash = name.indexOf(QLatin1Char('-')); dash > 0; dash = name.indexOf(QLatin1Char('-'), dash + 1)) {
        name[dash] = QLatin1Char('/');
        names.append(name);
    }
    for (const QString& folder : ApplicationFolders())
        for (const QString& candidate : names)
            if (QFileInfo(folder + QLatin1Char('/') + candidate).isFile())
                return folder + QLatin1Char('/') + candidate;
    return {};
}

QString DefaultApplication(const QString& mimeType)
{
    // xdg-mime may name several ids; the first is the default.
    const QString desktopId = QueryXdgMime({ QStringLiteral("query"), QStringLiteral("default"), mimeType })
                                  .section(QLatin1Char(';'), 0, 0)
                                  .trimmed();
    return DesktopFilePath(desktopId);
}

bool ReadDesktopEntry(const QString& path, DesktopEntry* entry)
{
    *entry = DesktopEntry();
    entry->path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inEntry = false;
    QString exec;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry)
            TakeKey(line, entry, &exec);
    }
    if (!SplitCommandLine(exec, &entry->exec) || entry->exec.isEmpty()) {
        qCDebug(lcDesktop) << "no usable Exec line in" << path;
        entry->exec.clear();
        return false;
    }
    return true;
}

QStringList ExpandExec(const DesktopEntry& entry, const QStringList& arguments)
{
    QStringList words;
    bool placed = false;
    for (const QString& word : entry.exec) {
        if (IsFileCode(word)) {
            if (!placed)
                words += arguments;
            placed = true;
        } else if (word == QLatin1String("%i")) {
            if (!entry.icon.isEmpty())
                words << QStringLiteral("--icon") << entry.icon;
        } else if (word.contains(QLatin1Char('%'))) {
            const QString expanded = ExpandInWord(entry, word);
            if (!expanded.isEmpty() || word == QLatin1String("%c"))
                words << expanded;
        } else {
            words << word;
        }
    }
    if (!placed)
        words += arguments;
    return words;
}

} // namespace pd::platform
