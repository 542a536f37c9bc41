#include "platform/imaging/imagesource.h"

#include <QFileInfo>

#include "platform/folders.h"
#include "platform/profile.h"

namespace pd::platform::imaging {

namespace {
const QString kSection = QStringLiteral("Source");
const QString kKey = QStringLiteral("Device");
} // namespace

QString ImageSourceFile()
{
    // The special folder as GetSpecialFolder gives it, asked of the platform directly so the
    // library stays below the settings module.
    QString folder;
    if (SHGetFolderPath(CSIDL_LOCAL_APPDATA, &folder) < 0 || folder.isEmpty())
        return {};
    return folder + QStringLiteral("/Quor/Paperdart/Imaging.INI");
}

QString RememberedImageSource()
{
    const QString file = ImageSourceFile();
    return file.isEmpty() ? QString() : GetPrivateProfileString(kSection, kKey, QString(), file);
}

bool RememberImageSource(const QString& deviceName)
{
    const QString file = ImageSourceFile();
    if (file.isEmpty() || !ForceDirectories(QFileInfo(file).path()))
        return false;
    return WritePrivateProfileString(kSection, kKey, deviceName, file);
}

} // namespace pd::platform::imaging
