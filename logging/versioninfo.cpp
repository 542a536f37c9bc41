#include "logging/versioninfo.h"

#include "platform/computername.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "platform/versioninfo.h"

namespace pd::logging {

bool GetVersionInfo(const QString& file, QString* internalName, QString* fileVersion)
{
    const auto info = platform::GetFileVersionInfo(file);
    *internalName = info ? platform::Trim(info->internalName) : QString();
    *fileVersion = info ? platform::Trim(info->fileVersion) : QString();
    return !internalName->isEmpty() && !fileVersion->isEmpty();
}

QString GetOwnVersion()
{
    QString internalName;
    QString fileVersion;
    GetVersionInfo(platform::GetModuleFileName(), &internalName, &fileVersion);
    return fileVersion;
}

QString GetLocalComputerName()
{
    return platform::GetComputerName();
}

} // namespace pd::logging
