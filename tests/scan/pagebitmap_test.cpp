#include <gtest/gtest.h>
#include <utility>

#include "platform/error.h"
#include "scan/pagebitmap.h"
#include "tests/scan/pagetestdata.h"

namespace pd::scan {
namespace {

using test::Bmp;
using test::BmpSpec;
using test::MakeBmp;
using test::PixelOf;

std::vector<std::uint32_t> GreyRamp()
{
    std::vector<std::uint32_t> palette;
    for (std::uint32_t i = 0; i < 256; ++i)
        palette.push_back(i * 0x010101u);
    return palette;
}

// Rows of 3 x 2 pixels in every depth that a scanner's BMP may come in; after the 24-bit conversion
// each must show these colours, top row first.
const std::uint32_t kExpected[2][3] = { { 0xFF0000, 0x00FF00, 0x0000FF }, { 0x000000, 0xFFFFFF, 0x808080 } };

BmpSpec TopDown(BmpSpec spec)
{
    spec.topDown = true;
    return spec;
}

BmpSpec Masked(BmpSpec spec, std::vector<std::uint32_t> masks)
{
    spec.compression = 3;
    spec.masks = std::move(masks);
    return spec;
}

TEST(LoadBitmap, EveryDepthConvertsTo24BitWithItsColoursAndResolution)
{
    const std::vector<std::uint32_t> colours = { 0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0xFFFFFF, 0x808080 };
    const std::vector<QByteArray> rows24
        = { QByteArray("\0\0\xFF\0\xFF\0\xFF\0\0", 9), QByteArray("\0\0\0\xFF\xFF\xFF\x80\x80\x80", 9) };
    const std::vector<QByteArray> rows32
        = { QByteArray("\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0", 12), QByteArray("\0\0\0\0\xFF\xFF\xFF\0\x80\x80\x80\0", 12) };
    const struct {
        const char* name;
        BmpSpec spec;
    } cases[] = {
        { "24 bit bottom-up", Bmp(3, 2, 24, rows24) },
        { "24 bit top-down", TopDown(Bmp(3, 2, 24, rows24)) },
        { "8 bit colour table", Bmp(3, 2, 8, { QByteArray("\0\1\2", 3), QByteArray("\3\4\5", 3) }, colours) },
        { "4 bit colour table", Bmp(3, 2, 4, { QByteArray("\x01\x20", 2), QByteArray("\x34\x50", 2) }, colours) },
        { "32 bit", Bmp(3, 2, 32, rows32) },
        { "32 bit top-down", TopDown(Bmp(3, 2, 32, rows32)) },
        // 5-5-5: 0x7C00 red, 0x03E0 green, 0x001F blue; 0x4210 is 16 of 31 steps each.
        { "16 bit 5-5-5",
            Bmp(3, 2, 16, { QByteArray("\x00\x7C\xE0\x03\x1F\x00", 6), QByteArray("\x00\x00\xFF\x7F\x10\x42", 6) }) },
        { "16 bit 5-6-5 bit fields",
            Masked(
                Bmp(3, 2, 16, { QByteArray("\x00\xF8\xE0\x07\x1F\x00", 6), QByteArray("\x00\x00\xFF\xFF\x10\x84", 6) }),
                { 0xF800, 0x07E0, 0x001F }) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec spec = c.spec;
        spec.xPelsPerMeter = 11811;
        spec.yPelsPerMeter = 5906;
        PageBitmap page = LoadBitmap(MakeBmp(spec));
        ConvertTo24Bit(page);
        ASSERT_EQ(page.BitsPerPixel(), 24);
        ASSERT_EQ(page.Width(), 3);
        ASSERT_EQ(page.Height(), 2);
        EXPECT_EQ(page.XPelsPerMeter(), 11811);
        EXPECT_EQ(page.YPelsPerMeter(), 5906);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) {
                SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
                std::uint32_t expected = kExpected[y][x];
                // 16 of 31 steps is 131; the 6-bit green of 5-6-5 has 32 of 63, 129.
                if (spec.bitsPerPixel == 16 && expected == 0x808080)
                    expected = spec.masks.empty() ? 0x838383 : 0x838183;
                EXPECT_EQ(PixelOf(page, x, y), expected);
            }
        }
    }
}

TEST(LoadBitmap, OneBitPageAndIndexBeyondTheTableIsBlack)
{
    BmpSpec spec = Bmp(10, 1, 1, { QByteArray("\xA5\x40", 2) }, { 0x000000, 0xFFFFFF });
    PageBitmap page = LoadBitmap(MakeBmp(spec));
    ConvertTo24Bit(page);
    const bool white[10] = { true, false, true, false, false, true, false, true, false, true };
    for (int x = 0; x < 10; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(PixelOf(page, x, 0), white[x] ? 0xFFFFFFu : 0u);
    }

    BmpSpec shortTable = Bmp(2, 1, 8, { QByteArray("\x00\x05", 2) }, { 0x102030 });
    page = LoadBitmap(MakeBmp(shortTable));
    ConvertTo24Bit(page);
    EXPECT_EQ(PixelOf(page, 0, 0), 0x102030u);
    EXPECT_EQ(PixelOf(page, 1, 0), 0u);
}

TEST(LoadBitmap, A24BitPageIsNotCopiedAndKeepsItsGreyPaletteValuesWhenConverted)
{
    BmpSpec spec = Bmp(2, 2, 24, { QByteArray("\1\2\3\4\5\6", 6), QByteArray("\7\x08\x09\x0A\x0B\x0C", 6) });
    const QByteArray bytes = MakeBmp(spec);
    PageBitmap page = LoadBitmap(bytes);
    const unsigned char* before = std::as_const(page).Row(0);
    ConvertTo24Bit(page);
    EXPECT_EQ(std::as_const(page).Row(0), before);
    // The bottom row comes first in the file, right after the 54 bytes of headers.
    EXPECT_EQ(reinterpret_cast<const char*>(std::as_const(page).Row(1)), bytes.constData() + 54);
    EXPECT_EQ(PixelOf(page, 1, 0), 0x060504u); // blue 4, green 5, red 6

    BmpSpec grey = Bmp(3, 1, 8, { QByteArray("\x00\x7F\xFF", 3) }, GreyRamp(), 3937);
    page = LoadBitmap(MakeBmp(grey));
    ConvertTo24Bit(page);
    EXPECT_EQ(PixelOf(page, 1, 0), 0x7F7F7Fu);
    EXPECT_EQ(page.XPelsPerMeter(), 3937);
}

TEST(LoadBitmap, RefusesWhatIsNoReadableBmp)
{
    const QByteArray good = MakeBmp(Bmp(3, 2, 24, { QByteArray(9, '\0'), QByteArray(9, '\0') }));
    auto patched = [&](int at, QByteArray bytes) { return QByteArray(good).replace(at, bytes.size(), bytes); };
    const struct {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        { "empty", QByteArray() },
        { "no BM", patched(0, "XX") },
        { "file header only", good.left(14) },
        { "info header truncated", good.left(40) },
        { "unknown info header size", patched(14, QByteArray("\x29\0\0\0", 4)) },
        { "zero width", patched(18, QByteArray(4, '\0')) },
        { "zero height", patched(22, QByteArray(4, '\0')) },
        { "two planes", patched(26, QByteArray("\2\0", 2)) },
        { "2 bits per pixel", patched(28, QByteArray("\2\0", 2)) },
        { "run-length compression", patched(30, QByteArray("\1\0\0\0", 4)) },
        { "pixel rows truncated", good.left(good.size() - 1) },
        { "pixel offset beyond the file", patched(10, QByteArray("\0\1\0\0", 4)) },
        { "pixel offset inside the header", patched(10, QByteArray("\x20\0\0\0", 4)) },
        { "huge width", patched(18, QByteArray("\xFF\xFF\xFF\x7F", 4)) },
        { "colour table longer than the depth allows", MakeBmp(Bmp(2, 1, 1, { QByteArray(1, '\0') }, { 0, 1, 2 })) },
        { "colour table truncated", MakeBmp(Bmp(2, 1, 8, { QByteArray(2, '\0') }, GreyRamp())).left(54 + 100) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(LoadBitmap(c.bytes), platform::Error);
    }
}

} // namespace
} // namespace pd::scan
