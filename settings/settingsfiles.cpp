#include "settings/settingsfiles.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include "platform/folders.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "settings/sharedconfig.h"

namespace pd::settings {

namespace {

Q_LOGGING_CATEGORY(lcSettings, "pd.settings", QtInfoMsg)

using namespace Qt::StringLiterals;

} // namespace

QString SettingsFolderPath()
{
    return GetSpecialFolder(platform::CSIDL_LOCAL_APPDATA) + u"/Quor/Paperdart/"_s;
}

QString DefaultRecipients()
{
    return u"scan@example.org"_s;
}

QString DefaultBody()
{
    return u"Hallo,\r\nanbei das gewünschte Dokument.\r\n\r\nMFG\r\nPaperdart by https://www.example.org/"_s;
}

bool IsOversizedSettingsFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > kMaxSettingsFileSize;
}

std::optional<QString> ReadSettingsText(const QString& path)
{
    if (IsOversizedSettingsFile(path)) {
        qCDebug(lcSettings) << "not loaded, larger than" << kMaxSettingsFileSize << "bytes:" << path;
        return std::nullopt;
    }
    std::optional<platform::DecodedText> decoded = platform::ReadTextFile(path);
    if (!decoded) {
        qCDebug(lcSettings) << "cannot read" << path;
        return std::nullopt;
    }
    return std::move(decoded->text);
}

bool WriteSettingsText(const QString& path, const QString& text)
{
    QString error;
    if (platform::WriteTextFile(path, platform::WithCrLf(text), platform::TextEncoding::Ansi, &error))
        return true;
    qCDebug(lcSettings) << "cannot write" << path << ":" << error;
    return false;
}

} // namespace pd::settings
