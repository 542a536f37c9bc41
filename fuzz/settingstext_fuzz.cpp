// Decoding of the settings texts (recipient list, body) and every other text file the program
// reads: file bytes with or without a byte-order mark, and texts written by the program and read
// back. Properties: the mark decides the encoding, decoding what was encoded gives the text again,
// code-page bytes survive a trip through text unchanged, and a settings text reads back as written
// with CR LF line breaks.
#include <array>
#include <cstdint>
#include <optional>

#include <QByteArray>
#include <QString>

#include "fuzz/fuzzinput.h"
#include "fuzz/fuzztempdir.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "settings/settingsfiles.h"

namespace {

using pd::platform::TextEncoding;

constexpr std::array kCodePages { 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258 };

TextEncoding ExpectedEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8Bom;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LeBom;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BeBom;
    return TextEncoding::Ansi;
}

void CheckFileBytes(pd::fuzz::Input& input)
{
    const int codePage = kCodePages[input.Byte() % kCodePages.size()];
    const QByteArray bytes = input.Rest();

    // Every byte of a single-byte page stands for one character and comes back as itself.
    const QString decoded = pd::platform::DecodeCodePage(bytes, codePage);
    FUZZ_CHECK(decoded.size() == bytes.size());
    FUZZ_CHECK(pd::platform::EncodeCodePage(decoded, codePage) == bytes);

    const pd::platform::DecodedText text = pd::platform::DecodeText(bytes);
    FUZZ_CHECK(text.encoding == ExpectedEncoding(bytes));
    const QByteArray again = pd::platform::EncodeText(text.text, text.encoding);
    if (text.encoding == TextEncoding::Ansi)
        FUZZ_CHECK(again == bytes);
    const pd::platform::DecodedText reread = pd::platform::DecodeText(again);
    FUZZ_CHECK(reread.encoding == text.encoding);
    FUZZ_CHECK(reread.text == text.text);

    const QString path = pd::fuzz::TempPath(QStringLiteral("Body.cfg"));
    pd::fuzz::PutFile(path, bytes);
    const std::optional<QString> read = pd::settings::ReadSettingsText(path);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(*read == text.text);
}

// The text with every line break (CR LF, CR, LF) as CR LF.
QString WithCrLf(const QString& text)
{
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\r') || text[i] == QLatin1Char('\n')) {
            result += QStringLiteral("\r\n");
            if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

void CheckWrittenText(pd::fuzz::Input& input)
{
    // Letters of the ANSI page and beyond, line breaks, and the characters whose ANSI bytes look
    // like a byte-order mark at the start of a file.
    static const QString alphabet = QString::fromUtf8("ab \r\n\t\xC3\xA4\xC3\xBF\xC3\xBE\xC3\xAF\xC2\xBB\xC2\xBF"
                                                      "\xE2\x82\xAC\xCE\xA9\xF0\x9F\x98\x80?#~=;[]");
    const QString text = input.Text(alphabet, 64);
    // Written in the ANSI page, so what the page can hold stays and any other character becomes
    // "?"; nothing else may change on the way back, whatever the text begins with.
    const QString held = pd::platform::DecodeAnsi(pd::platform::EncodeAnsi(WithCrLf(text)));
    const QString path = pd::fuzz::TempPath(QStringLiteral("Recipient.cfg"));
    FUZZ_CHECK(pd::settings::WriteSettingsText(path, text));
    const std::optional<QString> read = pd::settings::ReadSettingsText(path);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK(*read == held);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 256 * 1024)
        return 0;
    pd::fuzz::Input input(data, size);
    if (input.Flag())
        CheckWrittenText(input);
    else
        CheckFileBytes(input);
    return 0;
}
