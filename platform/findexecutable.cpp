#include "platform/findexecutable.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QStringList>

#include "platform/commandline.h"
#include "platform/process.h"
#include "platform/shell.h"

namespace pd::platform {

namespace {

Q_LOGGING_CATEGORY(lcFileTypes, "pd.platform.filetypes", QtInfoMsg)

// The first line xdg-mime prints for the query, empty when it fails.
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
        qCDebug(lcFileTypes) << "xdg-mime did not answer:" << arguments;
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return {};
    return QString::fromUtf8(query.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

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

// A desktop file id "vendor-app.desktop" may also live as "vendor/app.desktop".
QString DesktopFilePath(const QString& id)
{
    QStringList names { id };
    QString name = id;
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

// The program word of the Exec line of the [Desktop Entry] group.
QString ExecProgram(const QString& desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inEntry = false;
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec"))
            && line.mid(4).trimmed().startsWith(QLatin1Char('='))) {
            QStringList words;
            const QString value = line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
            if (SplitCommandLine(Unescaped(value), &words) && !words.isEmpty())
                return words.first();
            return {};
        }
    }
    return {};
}

int Failure(int result)
{
    SetLastError(ENOENT);
    return result;
}

} // namespace

int FindExecutable(const QString& file, const QString& directory, QString* result)
{
    result->clear();
    if (!directory.isEmpty() && !QFileInfo(directory).isDir())
        return Failure(SE_ERR_PNF);
    const QString document
        = QFileInfo(QDir(directory.isEmpty() ? QDir::currentPath() : directory), file).absoluteFilePath();
    if (file.isEmpty() || !QFileInfo::exists(document))
        return Failure(SE_ERR_FNF);
    const QString mimeType = QueryXdgMime({ QStringLiteral("query"), QStringLiteral("filetype"), document });
    if (mimeType.isEmpty())
        return Failure(SE_ERR_NOASSOC);
    const QString desktopId = QueryXdgMime({ QStringLiteral("query"), QStringLiteral("default"), mimeType })
                                  .section(QLatin1Char(';'), 0, 0);
    const QString desktopFile = desktopId.isEmpty() ? QString() : DesktopFilePath(desktopId);
    const QString program = desktopFile.isEmpty() ? QString() : SearchPath(ExecProgram(desktopFile));
    if (program.isEmpty()) {
        qCDebug(lcFileTypes) << "no program for" << document << mimeType << desktopId;
        return Failure(SE_ERR_NOASSOC);
    }
    *result = program;
    return SE_OK;
}

} // namespace pd::platform
