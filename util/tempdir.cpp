#include "util/tempdir.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include "platform/folders.h"

namespace pd::util {

namespace {

const QString kFallbackTemp = QStringLiteral("/tmp/");

bool EnsureFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(QDir::cleanPath(folder)).path();
    if (!platform::ForceDirectories(parent))
        return false;
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return QFileInfo(folder).isDir();
}

} // namespace

QString GetTempDirectory()
{
    const QString temp = platform::GetTempPath();
    const QString longForm = EnsureFolder(temp) ? LongPathName(temp) : QString();
    // The long form keeps the trailing "/" of the temporary path.
    if (!longForm.isEmpty())
        return longForm;
    platform::ForceDirectories(kFallbackTemp);
    return kFallbackTemp;
}

QString LongPathName(const QString& path)
{
    return platform::GetLongPathName(path);
}

QString CreatePrivateTempFolder(const QString& name)
{
    const QString folder = GetTempDirectory() + name + QLatin1Char('/');
    return platform::CreatePrivateDirectory(folder) ? folder : QString();
}

} // namespace pd::util
