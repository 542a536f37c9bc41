// The integer conversion of profile values (the shared configuration's log level among them),
// compared with a reference written here from the rules: blanks and control characters around the
// text go; "0x"/"0X" with at least one more character, or "$", starts up to eight hexadecimal
// digits that wrap into the signed range; anything else must be a signed decimal within 32 bits;
// whatever does not fit gives the default.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <QString>

#include "fuzz/fuzzinput.h"
#include "platform/profile.h"

namespace {

std::optional<std::string> AsciiTrimmed(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 32)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 32)
        --end;
    std::string ascii;
    for (qsizetype i = begin; i < end; ++i) {
        if (text[i].unicode() > 127)
            return std::nullopt; // no digit, sign or marker lies outside ASCII
        ascii += char(text[i].unicode());
    }
    return ascii;
}

bool AllOf(const std::string& s, const char* allowed)
{
    return !s.empty() && s.find_first_not_of(allowed) == std::string::npos;
}

std::optional<int> Reference(const QString& text)
{
    const std::optional<std::string> s = AsciiTrimmed(text);
    if (!s)
        return std::nullopt;
    std::optional<std::string> hex;
    if (s->size() >= 3 && (*s)[0] == '0' && ((*s)[1] == 'x' || (*s)[1] == 'X'))
        hex = s->substr(2);
    else if (!s->empty() && (*s)[0] == '$')
        hex = s->substr(1);
    if (hex) {
        if (hex->size() > 8 || !AllOf(*hex, "0123456789abcdefABCDEF"))
            return std::nullopt;
        return int(std::uint32_t(std::strtoul(hex->c_str(), nullptr, 16)));
    }
    std::string digits = *s;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    if (!AllOf(digits, "0123456789"))
        return std::nullopt;
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    digits = firstSignificant == std::string::npos ? "0" : digits.substr(firstSignificant);
    if (digits.size() > 10)
        return std::nullopt;
    const long long magnitude = std::stoll(digits);
    const long long value = negative ? -magnitude : magnitude;
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return int(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096)
        return 0;
    pd::fuzz::Input input(data, size);
    const int defaultValue = int(std::uint32_t(input.Word()) << 16 | input.Word());
    QString text;
    if (input.Flag()) {
        text = QString::fromUtf8(input.Rest());
    } else {
        // Mostly the characters that matter, so the fuzzer reaches the edges of the ranges quickly.
        static const QString alphabet = QStringLiteral("0123456789abcdefxX$+- \t\x01"
                                                       "0FfAa98712");
        text = input.Text(alphabet, 40);
    }
    const std::optional<int> expected = Reference(text);
    const int got = pd::platform::ProfileStringToInt(text, defaultValue);
    if (expected)
        FUZZ_CHECK(got == *expected);
    else
        FUZZ_CHECK(got == defaultValue);
    return 0;
}
