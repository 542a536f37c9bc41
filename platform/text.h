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

// Every line break (CR LF, CR or LF) as LF, or as CR LF.
QString WithLf(const QString& text);
QString WithCrLf(const QString& text);

} // namespace pd::platform
