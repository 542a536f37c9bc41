#pragma once

#include <optional>

#include <QLatin1StringView>
#include <QString>

namespace pd::settings {

// The three files in the user's settings folder.
inline constexpr QLatin1StringView kIniFileName { "Paperdart.INI" };
inline constexpr QLatin1StringView kRecipientFileName { "Recipient.cfg" };
inline constexpr QLatin1StringView kBodyFileName { "Body.cfg" };

// A settings file larger than this is no file the program wrote: it is not loaded, so a stray
// huge file cannot stall the start or fill the dialog with megabytes of text, and the next save
// replaces it.
inline constexpr qint64 kMaxSettingsFileSize = 1024 * 1024;

// True when path is a regular file larger than kMaxSettingsFileSize.
bool IsOversizedSettingsFile(const QString& path);

// The per-user settings folder: the local application-data folder + "/Quor/Paperdart/", with a
// trailing "/". Without an application-data folder it is "/Quor/Paperdart/".
QString SettingsFolderPath();

// What the dialog shows when "Recipient.cfg" or "Body.cfg" cannot be read. Lines separated by
// CR LF, no final line break.
QString DefaultRecipients();
QString DefaultBody();

// The whole text of a recipient list or body file, decoded from its byte-order mark or else from
// the ANSI code page, line breaks as they stand. Empty when the file cannot be read (missing, not
// a regular file, no permission) or is larger than kMaxSettingsFileSize; an empty file gives
// empty text.
std::optional<QString> ReadSettingsText(const QString& path);

// Replaces the file whole with the text in the ANSI code page, without byte-order mark, every line
// break written as CR LF. Written to a temporary file and renamed, so a failure leaves the old
// file as it was. False when the file could not be written.
bool WriteSettingsText(const QString& path, const QString& text);

} // namespace pd::settings
