// The quoted-printable and base64 encoders of the message file, checked against decoders written
// here: decoding gives the bytes back, every line keeps its length limit and only the characters
// the encoding allows appear. The base64 source hands its bytes over in pieces the input chooses,
// as a pipe would.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QIODevice>

#include "fuzz/fuzzinput.h"
#include "mail/encoders.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1; // lower case is not what the encoder writes
}

QByteArray DecodeQuotedPrintable(const QByteArray& text)
{
    QByteArray bytes;
    int lineLength = 0;
    for (qsizetype i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '=' && i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            FUZZ_CHECK(lineLength + 1 <= 76);
            // A soft break ends a line that had to be broken: no empty line, none at the end.
            FUZZ_CHECK(lineLength > 0);
            FUZZ_CHECK(i + 3 < text.size());
            lineLength = 0;
            i += 3;
            continue;
        }
        if (c == '=') {
            FUZZ_CHECK(i + 2 < text.size());
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            const auto byte = std::uint8_t(high << 4 | low);
            // Only bytes that cannot stand for themselves are escaped.
            FUZZ_CHECK(!((byte >= 33 && byte <= 60) || (byte >= 62 && byte <= 126)));
            bytes.append(char(byte));
            lineLength += 3;
            i += 3;
        } else {
            const auto byte = std::uint8_t(c);
            FUZZ_CHECK((byte >= 33 && byte <= 60) || (byte >= 62 && byte <= 126));
            bytes.append(c);
            ++lineLength;
            ++i;
        }
        FUZZ_CHECK(lineLength <= 75);
    }
    return bytes;
}

int Base64Value(char c)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* found = c == '\0' ? nullptr : std::strchr(alphabet, c);
    return found ? int(found - alphabet) : -1;
}

// Decodes one group of four characters, checking its padding; appends 1 to 3 bytes.
void DecodeBase64Group(const char* group, bool last, QByteArray& bytes)
{
    int padding = 0;
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        if (group[k] == '=') {
            FUZZ_CHECK(k >= 2);
            ++padding;
            bits <<= 6;
            continue;
        }
        FUZZ_CHECK(padding == 0);
        const int value = Base64Value(group[k]);
        FUZZ_CHECK(value >= 0);
        bits = bits << 6 | std::uint32_t(value);
    }
    FUZZ_CHECK(padding == 0 || last);
    // The bits a padded group does not carry are zero.
    FUZZ_CHECK(padding == 0 || (bits & ((1u << (8 * padding)) - 1)) == 0);
    for (int k = 0; k < 3 - padding; ++k)
        bytes.append(char(bits >> (16 - 8 * k)));
}

QByteArray DecodeBase64Text(const QByteArray& text)
{
    QByteArray bytes;
    QByteArray joined;
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        const qsizetype end = text.indexOf("\r\n", lineStart);
        const QByteArray line = text.mid(lineStart, end < 0 ? -1 : end - lineStart);
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        // Full lines of 76, the rest shorter and without a break; no empty line.
        if (end >= 0)
            FUZZ_CHECK(line.size() == 76);
        else
            FUZZ_CHECK(line.size() > 0 && line.size() < 76);
        joined += line;
        lineStart = end < 0 ? text.size() : end + 2;
    }
    FUZZ_CHECK(joined.size() % 4 == 0);
    for (qsizetype i = 0; i < joined.size(); i += 4)
        DecodeBase64Group(joined.constData() + i, i + 4 == joined.size(), bytes);
    return bytes;
}

// A source that delivers at most the chosen number of bytes per read, and reads as empty once in a
// while before the end, as a pipe whose writer is slow.
class PiecewiseSource : public QIODevice {
public:
    PiecewiseSource(QByteArray bytes, std::vector<int> pieces)
        : m_bytes(std::move(bytes))
        , m_pieces(std::move(pieces))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const int piece = m_pieces.empty() ? 4096 : m_pieces[m_next++ % m_pieces.size()];
        const qint64 n = std::min({ maxSize, qint64(piece), qint64(m_bytes.size() - m_pos) });
        std::memcpy(data, m_bytes.constData() + m_pos, std::size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    std::vector<int> m_pieces;
    std::size_t m_next = 0;
    qsizetype m_pos = 0;
};

void CheckQuotedPrintable(const QByteArray& bytes)
{
    const QByteArray text = pd::mail::EncodeQuotedPrintable(bytes);
    FUZZ_CHECK(DecodeQuotedPrintable(text) == bytes);
}

void CheckBase64(pd::fuzz::Input& input)
{
    std::vector<int> pieces;
    for (int count = input.Range(0, 4); count > 0; --count)
        pieces.push_back(input.Range(1, 700));
    const QByteArray bytes = input.Rest();
    PiecewiseSource source(bytes, pieces);
    QByteArray text = "prefix"; // what the target held before stays in front
    QBuffer target(&text);
    target.open(QIODevice::WriteOnly | QIODevice::Append);
    FUZZ_CHECK(pd::mail::EncodeBase64Stream(source, target));
    FUZZ_CHECK(text.startsWith("prefix"));
    FUZZ_CHECK(DecodeBase64Text(text.mid(6)) == bytes);

    // The single-group encoder agrees with the stream on the final group.
    const qsizetype tail = bytes.size() % 3 == 0 ? std::min<qsizetype>(3, bytes.size()) : bytes.size() % 3;
    if (tail > 0) {
        const auto* last = reinterpret_cast<const std::uint8_t*>(bytes.constData() + bytes.size() - tail);
        const std::array<char, 4> group = pd::mail::EncodeBase64Group({ last, std::size_t(tail) });
        const QByteArray encoded = text.right(text.endsWith("\r\n") ? 6 : 4).left(4);
        FUZZ_CHECK(QByteArray(group.data(), 4) == encoded);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    pd::fuzz::Input input(data, size);
    if (input.Flag())
        CheckQuotedPrintable(input.Rest());
    else
        CheckBase64(input);
    return 0;
}
