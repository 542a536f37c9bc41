#include "platform/findexecutable.h"

#include <cerrno>

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include "platform/commandline.h"
#include "platform/desktopentry.h"
#include "platform/process.h"
#include "platform/shell.h"

namespace pd::platform {

namespace {

Q_LOGGING_CATEGORY(lcFileTypes, "pd.platform.filetypes", QtInfoMsg)

// The program word of the desktop file's Exec line.
QString ExecProgram(const QString& desktopFile)
{
    DesktopEntry entry;
    return ReadDesktopEntry(desktopFile, &entry) ? entry.exec.first() : QString();
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
    const QString desktopFile = DefaultApplication(mimeType);
    const QString program = desktopFile.isEmpty() ? QString() : SearchPath(ExecProgram(desktopFile));
    if (program.isEmpty()) {
        qCDebug(lcFileTypes) << "no program for" << document << mimeType;
        return Failure(SE_ERR_NOASSOC);
    }
    *result = program;
    return SE_OK;
}

} // namespace pd::platform
