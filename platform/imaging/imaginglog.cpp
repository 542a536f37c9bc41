#include "platform/imaging/imaginglog.h"

#include <QDateTime>
#include <QDir>

#include "platform/imaging/twain.h"
#include "platform/textfile.h"

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
    const QString line
        = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) + text + QLatin1Char('\n');
    // Like the program's log: whole lines only, and a FIFO in the file's place never holds it.
    AppendLineWhole(path, line.toUtf8(), QByteArrayLiteral("\n"), false);
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
