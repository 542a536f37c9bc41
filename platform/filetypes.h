#pragma once

#include <cstdint>

#include <QString>

namespace pd::platform {

// Content types of file name extensions: ~/.mime.types, then /etc/mime.types. The extension is
// given with its dot (".pdf") and matched without regard to case. Empty when no file lists it.
QString MimeTypeOfExtension(const QString& extension);

// The view command of a content type: the first fitting entry of ~/.mailcap, then /etc/mailcap
// ("type/subtype" or "type/*"; entries for a terminal or for text output are passed over).
// Empty when there is none.
QString MailcapCommand(const QString& mimeType);

enum HKEY { HKEY_CLASSES_ROOT };

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_MORE_DATA = 234;

// Stand-in for RegQueryValue on HKEY_CLASSES_ROOT. The only key known is
// "<.ext>\shell\Open\command" (without regard to case): its value is the mailcap command of the extension's
// content type. *valueBytes holds the buffer size in bytes (UTF-16 with its terminating zero, as
// on Windows); a longer value gives ERROR_MORE_DATA and the size it needs. A missing key gives
// ERROR_FILE_NOT_FOUND.
long RegQueryValue(HKEY key, const QString& subKey, QString* value, std::int32_t* valueBytes);

} // namespace pd::platform
