#pragma once

#include <cstdint>

#include <QLocale>
#include <QString>

namespace pd::platform {

// The user's locale as the environment names it: the first of LC_ALL, LC_MESSAGES and LANG that
// is set and not empty ("de_DE.UTF-8@euro"); empty when none is set.
QString UserLocaleName();

// Windows locale identifier of a POSIX locale name ("de_AT.UTF-8" -> 0x0C07). "C", "POSIX",
// empty or unknown names give 0.
std::uint32_t LocaleIdOfName(const QString& posixName);

// Stand-in for GetThreadLocale: the identifier of UserLocaleName(), 0 when it has none.
std::uint32_t GetThreadLocale();

// The Windows ANSI code page that a locale identifier has on Windows (1252 for Western
// languages, 1250 Central European, 1251 Cyrillic, ...); 1252 when unknown or 0.
int AnsiCodePageOfLocale(std::uint32_t lcid);

// Stand-in for GetACP: the ANSI code page of the user's locale.
int GetACP();

// The user's locale for formatting dates, or QLocale::c() when the environment names none that
// Qt knows.
QLocale UserQLocale();

} // namespace pd::platform
