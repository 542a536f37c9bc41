#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

constexpr int kSupportedPages[] = { 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258 };

QByteArray Byte(int value)
{
    return QByteArray(1, static_cast<char>(value));
}

TEST(CodePage, KnowsTheSingleByteWindowsPages)
{
    for (const int page : kSupportedPages)
        EXPECT_TRUE(IsSupportedCodePage(page)) << page;
    for (const int page : { 0, 437, 850, 932, 1200, 1259, 28591, 65001, -1 })
        EXPECT_FALSE(IsSupportedCodePage(page)) << page;
}

TEST(CodePage, TableValuesMatchTheWindowsPages)
{
    const struct {
        int page;
        int byte;
        char16_t character;
    } cases[] = {
        { 1252, 0x80, u'\u20AC' }, // euro sign
        { 1252, 0x9F, u'\u0178' }, // Y with diaeresis
        { 1252, 0x81, u'\u0081' }, // undefined: kept as its number
        { 1252, 0xFC, u'\u00FC' }, // u with diaeresis
        { 1250, 0x8A, u'\u0160' }, // S with caron
        { 1250, 0xA3, u'\u0141' }, // L with stroke
        { 1251, 0xC0, u'\u0410' }, // Cyrillic A
        { 1251, 0xFF, u'\u044F' }, // Cyrillic ya
        { 1253, 0xC1, u'\u0391' }, // Greek Alpha
        { 1254, 0xF0, u'\u011F' }, // g with breve
        { 1257, 0xC0, u'\u0104' }, // A with ogonek
        { 874, 0xA1, u'\u0E01' }, // Thai ko kai
        { 1255, 0xE0, u'\u05D0' }, // Hebrew alef
        { 1256, 0xC7, u'\u0627' }, // Arabic alef
        { 1258, 0xFE, u'\u20AB' }, // dong sign
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.page << " byte " << c.byte);
        EXPECT_EQ(DecodeCodePage(Byte(c.byte), c.page), QString(QChar(c.character)));
        EXPECT_EQ(EncodeCodePage(QString(QChar(c.character)), c.page), Byte(c.byte));
    }
}

TEST(CodePage, EveryByteDecodesToOneCharacterThatEncodesBackToIt)
{
    QByteArray allBytes;
    for (int byte = 0; byte < 256; ++byte)
        allBytes.append(static_cast<char>(byte));
    for (const int page : kSupportedPages) {
        SCOPED_TRACE(page);
        const QString text = DecodeCodePage(allBytes, page);
        ASSERT_EQ(text.size(), 256);
        for (int byte = 0; byte < 256; ++byte) {
            if (byte < 0x80) {
                EXPECT_EQ(text[byte].unicode(), byte);
            }
            EXPECT_EQ(DecodeCodePage(Byte(byte), page), text.mid(byte, 1)) << byte;
        }
        EXPECT_EQ(EncodeCodePage(text, page), allBytes);
    }
}

TEST(CodePage, CharactersOutsideThePageBecomeOneQuestionMarkEach)
{
    const struct {
        QString text;
        int page;
        QByteArray bytes;
    } cases[] = {
        { QStringLiteral("Grüße €5"), 1252,
            QByteArrayLiteral("Gr\xFC\xDF"
                              "e \x80"
                              "5") },
        { QStringLiteral("Łódź"), 1252,
            QByteArrayLiteral("?\xF3"
                              "d?") },
        { QStringLiteral("Łódź"), 1250,
            QByteArrayLiteral("\xA3\xF3"
                              "d\x9F") },
        { QStringLiteral("Жук"), 1252, QByteArrayLiteral("???") },
        { QStringLiteral("Жук"), 1251, QByteArrayLiteral("\xC6\xF3\xEA") },
        { QStringLiteral("a\U0001F600b"), 1252, QByteArrayLiteral("a?b") },
        { QString(QChar(0xD83D)) + QStringLiteral("x"), 1252, QByteArrayLiteral("?x") },
        { QStringLiteral("x") + QString(QChar(0xDE00)), 1252, QByteArrayLiteral("x?") },
        { QString(QChar(0xDE00)) + QString(QChar(0xD83D)), 1252, QByteArrayLiteral("??") },
        { QStringLiteral("\u20AC\uFFFD\u00A0"), 1251, QByteArrayLiteral("\x88?\xA0") },
        { QStringLiteral("a\0b"), 1252, QByteArrayLiteral("a\0b") },
        { QString(), 1252, QByteArray() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text.toStdString() << " in " << c.page);
        const QByteArray bytes = EncodeCodePage(c.text, c.page);
        EXPECT_EQ(bytes, c.bytes);
        EXPECT_EQ(DecodeCodePage(bytes, c.page).size(), c.bytes.size());
    }
}

TEST(CodePage, RoundTripKeepsTextThePageHolds)
{
    const QString text = QStringLiteral("Rechnung Nr. 12 – „Müller & Söhne“ … 3 €");
    const QByteArray bytes = EncodeCodePage(text, 1252);
    EXPECT_FALSE(bytes.contains('?'));
    EXPECT_EQ(DecodeCodePage(bytes, 1252), text);
}

TEST(CodePage, UnsupportedPagesBehaveAs1252)
{
    QByteArray allBytes;
    for (int byte = 0; byte < 256; ++byte)
        allBytes.append(static_cast<char>(byte));
    const QString text = QStringLiteral("Grüße € Łódź");
    for (const int page : { 0, 437, 65001, -5 }) {
        SCOPED_TRACE(page);
        EXPECT_EQ(DecodeCodePage(allBytes, page), DecodeCodePage(allBytes, 1252));
        EXPECT_EQ(EncodeCodePage(text, page), EncodeCodePage(text, 1252));
    }
}

TEST(CodePage, AnsiFollowsTheUserLocale)
{
    {
        const test::LangOnly lang(QStringLiteral("ru_RU.UTF-8"));
        EXPECT_EQ(EncodeAnsi(QStringLiteral("Жü")), QByteArrayLiteral("\xC6?"));
        EXPECT_EQ(DecodeAnsi(QByteArrayLiteral("\xC6")), QStringLiteral("Ж"));
    }
    {
        const test::LangOnly lang(QStringLiteral("de_DE.UTF-8"));
        EXPECT_EQ(EncodeAnsi(QStringLiteral("Жü")), QByteArrayLiteral("?\xFC"));
        EXPECT_EQ(DecodeAnsi(QByteArrayLiteral("\xC6")), QStringLiteral("Æ"));
    }
}

} // namespace
} // namespace pd::platform
