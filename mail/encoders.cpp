#include "mail/encoders.h"

#include <algorithm>

#include <QIODevice>

namespace pd::mail {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters of a quoted-printable line before its soft line break (RFC 2045 6.7: at most 76
// with the "=").
constexpr int kQuotedLineLimit = 75;
// Groups of three never span two blocks, and a full line is 19 groups.
constexpr qint64 kBase64BlockBytes = 510;
constexpr int kBase64LineLimit = 75;

bool StandsForItself(std::uint8_t byte)
{
    return (byte >= 33 && byte <= 60) || (byte >= 62 && byte <= 126);
}

// Fills the block as far as the source goes, so that a short read from a pipe or socket never
// puts a padded group into the middle of the text. -1 on a read error.
qint64 ReadBlock(QIODevice& source, char* block)
{
    qint64 got = 0;
    while (got < kBase64BlockBytes) {
        const qint64 n = source.read(block + got, kBase64BlockBytes - got);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// The four characters of a whole group, written in place: the stream's hot path.
inline void EncodeWholeGroup(const std::uint8_t* group, char* out)
{
    const std::uint32_t bits = (std::uint32_t { group[0] } << 16) | (std::uint32_t { group[1] } << 8) | group[2];
    out[0] = kBase64Alphabet[bits >> 18];
    out[1] = kBase64Alphabet[(bits >> 12) & 0x3F];
    out[2] = kBase64Alphabet[(bits >> 6) & 0x3F];
    out[3] = kBase64Alphabet[bits & 0x3F];
}

// Counts the group's four characters into the line and ends the line after the 19th group.
inline char* EndLineWhenFull(char* out, int& lineCounter)
{
    lineCounter += 4;
    if (lineCounter > kBase64LineLimit) {
        *out++ = '\r';
        *out++ = '\n';
        lineCounter = 0;
    }
    return out;
}

} // namespace

QByteArray EncodeQuotedPrintable(const QByteArray& bytes)
{
    QByteArray text;
    text.reserve(bytes.size() * 3 + bytes.size() / 25 * 3);
    int lineLength = 0;
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        const int width = StandsForItself(byte) ? 1 : 3;
        if (lineLength + width > kQuotedLineLimit) {
            text.append("=\r\n");
            lineLength = 0;
        }
        if (width == 1) {
            text.append(c);
        } else {
            text.append('=');
            text.append(kHexDigits[byte >> 4]);
            text.append(kHexDigits[byte & 0x0F]);
        }
        lineLength += width;
    }
    return text;
}

std::array<char, 4> EncodeBase64Group(std::span<const std::uint8_t> group)
{
    std::array<char, 4> text {};
    if (group.size() >= 3) {
        EncodeWholeGroup(group.data(), text.data());
        return text;
    }
    const std::uint8_t padded[3]
        = { group.empty() ? std::uint8_t { 0 } : group[0], group.size() > 1 ? group[1] : std::uint8_t { 0 }, 0 };
    EncodeWholeGroup(padded, text.data());
    text[3] = '=';
    if (group.size() < 2)
        text[2] = '=';
    return text;
}

bool EncodeBase64Stream(QIODevice& source, QIODevice& target)
{
    char block[kBase64BlockBytes];
    // 170 groups of four characters and a line break after every 19 groups.
    char text[kBase64BlockBytes / 3 * 4 + (kBase64BlockBytes / 57 + 1) * 2];
    int lineCounter = 0;
    for (;;) {
        const qint64 got = ReadBlock(source, block);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(block);
        char* out = text;
        qint64 i = 0;
        for (; i + 3 <= got; i += 3) {
            EncodeWholeGroup(bytes + i, out);
            out = EndLineWhenFull(out + 4, lineCounter);
        }
        if (i < got) {
            const std::array<char, 4> group = EncodeBase64Group({ bytes + i, static_cast<std::size_t>(got - i) });
            std::copy(group.begin(), group.end(), out);
            out = EndLineWhenFull(out + 4, lineCounter);
        }
        const qint64 length = out - text;
        if (target.write(text, length) != length)
            return false;
    }
}

} // namespace pd::mail
