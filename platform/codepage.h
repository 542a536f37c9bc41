#pragma once

#include <QByteArray>
#include <QString>

namespace pd::platform {

// Single-byte Windows code pages: 874, 1250 to 1258. Any other number is treated as 1252.
bool IsSupportedCodePage(int codePage);

// Text to bytes in the code page; every character the page lacks becomes one "?" (a surrogate
// pair counts as one character).
QByteArray EncodeCodePage(const QString& text, int codePage);

// Bytes to text; never fails. A byte the page leaves undefined becomes the character of the
// same number, as Windows decodes it.
QString DecodeCodePage(const QByteArray& bytes, int codePage);

// The same in the user's ANSI code page (GetACP).
QByteArray EncodeAnsi(const QString& text);
QString DecodeAnsi(const QByteArray& bytes);

} // namespace pd::platform
