#include "platform/imaging/imaginglog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include "platform/imaging/twain.h"

namespace pd::platform::imaging {

namespace {

struct LogSettings {
    bool enabled = false;
    QString folder;
};

LogSettings& Settings()
{
    static LogSettings settings;
    return settings;
}

} // namespace

QString ImagingLogPath()
{
    const LogSettings& settings = Settings();
    if (!settings.enabled || settings.folder.isEmpty())
        return {};
    return QDir(settings.folder).filePath(QStringLiteral("imaging.log"));
}

void ImagingLog(const QString& text)
{
    const QString path = ImagingLogPath();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString line
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + text + QLatin1Char('\n');
    file.write(line.toUtf8());
}

} // namespace pd::platform::imaging

void TWAIN_LogFile(int enable)
{
    pd::platform::imaging::Settings().enabled = enable != 0;
}

void TWAIN_SetLogFolder(const QString& folder)
{
    pd::platform::imaging::Settings().folder = folder;
}
