#pragma once

#include <QString>

namespace pd::platform {

// Trimming as the program uses it everywhere: only characters of code 32 and below are removed
// (QString::trimmed would also take other Unicode white space).
QString Trim(const QString& s);
QString TrimLeft(const QString& s);
QString TrimRight(const QString& s);

// True when s holds nothing but characters of code 32 and below (or is empty).
bool IsBlank(const QString& s);

} // namespace pd::platform
