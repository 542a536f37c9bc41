#pragma once

#include <array>
#include <cstdint>
#include <span>

#include <QByteArray>

class QIODevice;

namespace pd::mail {

// Quoted-printable text of the bytes: 33..60 and 62..126 stand for themselves, every other byte
// (space, tab, CR and LF included) becomes "=XX" with upper-case hex digits. Lines carry at most 75
// characters before a soft line break ("=" CR LF); an escape is never split. Empty for no bytes.
QByteArray EncodeQuotedPrintable(const QByteArray& bytes);

// Base64 (RFC 4648 alphabet, "=" padding) of one group of 1 to 3 bytes; missing bytes count as
// zero, and the characters they would give are "=".
std::array<char, 4> EncodeBase64Group(std::span<const std::uint8_t> group);

// Appends the base64 text of everything the source delivers to the target: lines of exactly 76
// characters, each ended by CR LF, then the shorter rest without one. A text that is a whole
// number of lines therefore ends with CR LF. False when reading or writing fails; what was
// appended until then stays.
bool EncodeBase64Stream(QIODevice& source, QIODevice& target);

} // namespace pd::mail
