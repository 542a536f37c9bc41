#include "platform/codepage.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/codepagetables.h"
#include "platform/locale.h"

namespace pd::platform {

namespace {

constexpr char kReplacement = '?';
constexpr int kFallbackCodePage = 1252;

// Byte of each UTF-16 code unit in one page; 0 where the page lacks the character (U+0000 is ASCII
// and never looked up).
using ReverseTable = std::array<std::uint8_t, 0x10000>;

std::size_t IndexOfCodePage(int codePage)
{
    for (std::size_t i = 0; i < kCodePageTables.size(); ++i) {
        if (kCodePageTables[i].codePage == codePage)
            return i;
    }
    return kCodePageTables.size();
}

std::size_t TableIndex(int codePage)
{
    const std::size_t index = IndexOfCodePage(codePage);
    return index < kCodePageTables.size() ? index : IndexOfCodePage(kFallbackCodePage);
}

const ReverseTable& ReverseOf(std::size_t index)
{
    static std::array<std::once_flag, kCodePageTables.size()> built;
    static std::array<std::unique_ptr<ReverseTable>, kCodePageTables.size()> tables;
    std::call_once(built[index], [index] {
        auto table = std::make_unique<ReverseTable>();
        table->fill(0);
        const auto& upperHalf = kCodePageTables[index].upperHalf;
        for (std::size_t i = 0; i < upperHalf.size(); ++i)
            (*table)[upperHalf[i]] = static_cast<std::uint8_t>(0x80 + i);
        tables[index] = std::move(table);
    });
    return *tables[index];
}

} // namespace

bool IsSupportedCodePage(int codePage)
{
    return IndexOfCodePage(codePage) < kCodePageTables.size();
}

QByteArray EncodeCodePage(const QString& text, int codePage)
{
    const ReverseTable& reverse = ReverseOf(TableIndex(codePage));
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80) {
            bytes.append(static_cast<char>(unit));
        } else if (QChar::isSurrogate(unit)) {
            if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            bytes.append(kReplacement);
        } else {
            const std::uint8_t byte = reverse[unit];
            bytes.append(byte != 0 ? static_cast<char>(byte) : kReplacement);
        }
    }
    return bytes;
}

QString DecodeCodePage(const QByteArray& bytes, int codePage)
{
    const auto& upperHalf = kCodePageTables[TableIndex(codePage)].upperHalf;
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        *out++ = QChar(byte < 0x80 ? char16_t(byte) : upperHalf[byte - 0x80]);
    }
    return text;
}

QByteArray EncodeAnsi(const QString& text)
{
    return EncodeCodePage(text, GetACP());
}

QString DecodeAnsi(const QByteArray& bytes)
{
    return DecodeCodePage(bytes, GetACP());
}

} // namespace pd::platform
