#include <array>
#include <cstring>
#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/heapblock.h"
#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "scan/pageops.h"
#include "tests/scan/pagetestdata.h"

namespace pd::scan {
namespace {

using test::PixelOf;
using test::SetPixel;
using test::WhitePage;

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kInk = 0x101010;

// The crop runs on a page as it comes, or after the blank-page measure has passed over it, as in
// the scan (the measure notes the light rows it saw, at its own limit, for the crop to skip).
enum class Before { Nothing, MeasureAtTheCropLimit, MeasureAtAnotherLimit };
constexpr Before kBefore[] = { Before::Nothing, Before::MeasureAtTheCropLimit, Before::MeasureAtAnotherLimit };

const char* Describe(Before before)
{
    switch (before) {
    case Before::Nothing:
        return "crop alone";
    case Before::MeasureAtTheCropLimit:
        return "after the measure at the crop's limit";
    case Before::MeasureAtAnotherLimit:
        return "after the measure at another limit";
    }
    return "";
}

void Measure(const PageBitmap& page, Before before)
{
    if (before == Before::Nothing)
        return;
    TQuorBasicImage meter;
    meter.Assign(page);
    meter.DarkFraction(before == Before::MeasureAtTheCropLimit ? 200 : 120);
}

void Ink(PageBitmap& page, int left, int top, int right, int bottom) // inclusive
{
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x)
            SetPixel(page, x, y, 0x10, 0x10, 0x10);
    }
}

struct CropCase {
    const char* name;
    std::vector<std::array<int, 4>> ink; // inclusive rectangles
    int width, height; // after the crop
    std::vector<std::array<int, 3>> probes; // x, y, 1 for ink / 0 for white, in the cropped page
};

TEST(CropToContent, EdgesOfTheDarkContent)
{
    const CropCase cases[] = {
        { "first dark row 3 keeps rows 0 to 2", { { 5, 3, 12, 20 } }, 7, 20,
            { { 0, 0, 0 }, { 0, 2, 0 }, { 0, 3, 1 }, { 6, 19, 1 } } },
        { "dark row 4 is the top", { { 5, 4, 12, 20 } }, 7, 16, { { 0, 0, 1 }, { 6, 15, 1 } } },
        { "dark pixels in rows 0 to 2 never count", { { 0, 0, 39, 2 }, { 10, 10, 19, 19 } }, 9, 9,
            { { 0, 0, 1 }, { 8, 8, 1 } } },
        // Ink ends in column 12 and row 20: both are cut off.
        { "right and bottom edge excluded", { { 5, 10, 12, 20 }, { 30, 25, 30, 25 } }, 25, 15,
            { { 0, 0, 1 }, { 7, 10, 1 }, { 8, 0, 0 }, { 24, 14, 0 } } },
        { "no qualifying pixel gives 4 x 4", {}, 4, 4, { { 0, 0, 0 }, { 3, 3, 0 } } },
        { "a single column is 4 wide", { { 10, 10, 10, 25 } }, 4, 15, { { 0, 0, 0 }, { 3, 14, 0 } } },
        { "two columns are stretched to 4", { { 10, 10, 12, 25 } }, 4, 15, { { 0, 5, 1 }, { 3, 5, 1 } } },
        { "ink at the page's far corners", { { 0, 3, 0, 3 }, { 39, 29, 39, 29 } }, 39, 29,
            { { 0, 3, 1 }, { 38, 28, 0 } } },
    };
    for (const Before before : kBefore)
        for (const CropCase& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(Describe(before));
            PageBitmap page = WhitePage(40, 30, 11811);
            for (const auto& r : c.ink)
                Ink(page, r[0], r[1], r[2], r[3]);
            Measure(page, before);
            CropToContent(page, 200);
            ASSERT_EQ(page.Width(), c.width);
            ASSERT_EQ(page.Height(), c.height);
            EXPECT_EQ(page.BitsPerPixel(), 24);
            EXPECT_EQ(page.XPelsPerMeter(), 11811);
            EXPECT_EQ(page.YPelsPerMeter(), 11811);
            for (const auto& p : c.probes) {
                SCOPED_TRACE(testing::Message() << "probe " << p[0] << "," << p[1]);
                EXPECT_EQ(PixelOf(page, p[0], p[1]), p[2] ? kInk : kWhite);
            }
        }
}

TEST(CropToContent, DarkMeansAllThreeChannelsBelowTheLimit)
{
    const struct {
        const char* name;
        unsigned char red, green, blue;
        bool dark;
    } cases[] = {
        { "grey 199", 199, 199, 199, true },
        { "grey 200", 200, 200, 200, false },
        { "pure red is dark by intensity only", 255, 0, 0, false },
        { "red at the limit", 200, 0, 0, false },
        { "green at the limit", 0, 200, 0, false },
        { "blue at the limit", 0, 0, 200, false },
        { "all 199 but blue", 199, 199, 200, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Two marks 40 columns apart on a page wider than one quick-test chunk.
        PageBitmap page = WhitePage(100, 20);
        for (int y = 5; y < 15; ++y) {
            SetPixel(page, 20, y, c.red, c.green, c.blue);
            SetPixel(page, 60, y, c.red, c.green, c.blue);
        }
        CropToContent(page, 200);
        EXPECT_EQ(page.Width(), c.dark ? 40 : 4);
        EXPECT_EQ(page.Height(), c.dark ? 9 : 4);
    }
}

TEST(CropToContent, DarkPixelsAnywhereInLongRowsAreFound)
{
    // Marks in every position of a chunk of 16 and in the remainder of a 250-pixel row.
    for (const Before before : kBefore)
        for (int x = 1; x < 249; x += 13) {
            SCOPED_TRACE(x);
            SCOPED_TRACE(Describe(before));
            PageBitmap page = WhitePage(250, 12);
            SetPixel(page, 0, 5, 0, 0, 0);
            SetPixel(page, x, 10, 0, 0, 0);
            SetPixel(page, 249, 6, 0, 0, 0);
            PageBitmap left = page;
            SetPixel(left, 249, 6, 255, 255, 255);
            Measure(page, before);
            Measure(left, before);
            CropToContent(page, 200);
            EXPECT_EQ(page.Width(), 249);
            CropToContent(left, 200);
            EXPECT_EQ(left.Width(), std::max(x, 4));
        }
}

TEST(CropToContent, PixelsWrittenAfterTheMeasureCount)
{
    // The meter holds a copy of the page, as in the scan. Ink written afterwards into a row the
    // measure saw as light must still be found, on the page and on a copy that shares its pixels.
    PageBitmap page = WhitePage(200, 40);
    Ink(page, 100, 10, 120, 20);
    TQuorBasicImage meter;
    meter.Assign(page);
    ASSERT_GT(meter.DarkFraction(200), 0.0L);
    PageBitmap copy = page;
    Ink(page, 20, 30, 40, 35);
    CropToContent(page, 200);
    EXPECT_EQ(page.Width(), 100);
    EXPECT_EQ(page.Height(), 25);

    Ink(copy, 150, 5, 170, 8);
    CropToContent(copy, 200);
    EXPECT_EQ(copy.Width(), 70);
    EXPECT_EQ(copy.Height(), 15);

    // The meter's own view of the page is unchanged by the writes.
    PageBitmap measured = WhitePage(200, 40);
    Ink(measured, 100, 10, 120, 20);
    TQuorBasicImage again;
    again.Assign(measured);
    EXPECT_EQ(meter.DarkFraction(200), again.DarkFraction(200));
}

// The block's bytes as a BMP file would hold them after its 14-byte file header.
QByteArray BlockBytes(platform::HGLOBAL block)
{
    const void* bytes = platform::GlobalLock(block);
    QByteArray copy(static_cast<const char*>(bytes), qsizetype(platform::GlobalSize(block)));
    platform::GlobalUnlock(block);
    return copy;
}

// A 40 x 30 page of 8-bit grey with a black band in rows 10 to 19, columns 10 to 29.
test::BmpSpec GreyBandPage()
{
    test::BmpSpec spec = test::Bmp(40, 30, 8, {});
    for (std::uint32_t i = 0; i < 256; ++i)
        spec.palette.push_back(i * 0x010101u);
    for (int y = 0; y < 30; ++y)
        spec.rows.push_back(y >= 10 && y < 20 ? QByteArray(10, '\xFF') + QByteArray(20, '\0') + QByteArray(10, '\xFF')
                                              : QByteArray(40, '\xFF'));
    return spec;
}

TEST(BitmapToDib, PacksHeaderAndBottomUpPaddedRows)
{
    PageBitmap page = WhitePage(3, 2, 11811);
    SetPixel(page, 0, 0, 0x01, 0x02, 0x03);
    SetPixel(page, 2, 1, 0x04, 0x05, 0x06);
    platform::HGLOBAL block = BitmapToDib(page);
    ASSERT_NE(block, nullptr);
    const QByteArray expected = QByteArray("\x28\0\0\0"
                                           "\x03\0\0\0"
                                           "\x02\0\0\0"
                                           "\x01\0\x18\0"
                                           "\0\0\0\0"
                                           "\x18\0\0\0"
                                           "\x23\x2E\0\0"
                                           "\x23\x2E\0\0"
                                           "\0\0\0\0"
                                           "\0\0\0\0",
                                    40)
        + QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\x06\x05\x04\0\0\0", 12) // bottom row first
        + QByteArray("\x03\x02\x01\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0", 12);
    EXPECT_EQ(BlockBytes(block), expected);
    platform::GlobalFree(block);
}

TEST(BitmapToDib, IsTheBmpFileWithoutItsFileHeader)
{
    const struct {
        const char* name;
        test::BmpSpec spec;
    } cases[] = {
        { "24 bit", test::Bmp(5, 3, 24, { QByteArray(15, 'a'), QByteArray(15, 'b'), QByteArray(15, 'c') }, {}, 2835) },
        { "8 bit with a colour table",
            test::Bmp(5, 2, 8, { QByteArray("\1\2\3\4\5", 5), QByteArray("\6\7\x08\x09\x0A", 5) },
                std::vector<std::uint32_t>(256, 0x404040), 3937) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray bmp = test::MakeBmp(c.spec);
        platform::HGLOBAL block = BitmapToDib(LoadBitmap(bmp));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(BlockBytes(block), bmp.mid(14));
        platform::GlobalFree(block);
    }
}

TEST(BitmapToDib, ResolutionTravelsThroughConversionAndCrop)
{
    test::BmpSpec spec = GreyBandPage();
    spec.xPelsPerMeter = 11811;
    spec.yPelsPerMeter = 7874;
    PageBitmap page = LoadBitmap(test::MakeBmp(spec));
    ConvertTo24Bit(page);
    CropToContent(page, 200);
    platform::HGLOBAL block = BitmapToDib(page);
    const QByteArray dib = BlockBytes(block);
    platform::GlobalFree(block);
    ASSERT_EQ(dib.size(), 40 + 60 * 9); // 19 pixels of 3 bytes padded to 60
    auto field = [&](int at) { return std::uint32_t(qFromLittleEndian<quint32>(dib.constData() + at)); };
    EXPECT_EQ(field(4), 19u);
    EXPECT_EQ(field(8), 9u);
    EXPECT_EQ(field(14) & 0xFFFF, 24u);
    EXPECT_EQ(field(24), 11811u);
    EXPECT_EQ(field(28), 7874u);
}

TEST(CropToContent, APageOfAnotherDepthIsCroppedAsItsColours)
{
    // A grey page handed over without its 24-bit conversion: read as three bytes a pixel, its
    // rows would be taken for three times their width, past the end of the pixels.
    const test::BmpSpec spec = GreyBandPage();
    PageBitmap page = LoadBitmap(test::MakeBmp(spec));
    CropToContent(page, 200);
    EXPECT_EQ(page.BitsPerPixel(), 24);
    EXPECT_EQ(page.Width(), 19);
    EXPECT_EQ(page.Height(), 9);
    EXPECT_EQ(PixelOf(page, 0, 0), 0u);
}

TEST(BitmapToDib, AHeaderWithoutResolutionGives150Dpi)
{
    test::BmpSpec spec = test::Bmp(2, 1, 24, { QByteArray(6, '\0') });
    spec.yPelsPerMeter = 3937;
    PageBitmap page = LoadBitmap(test::MakeBmp(spec));
    CropToContent(page, 200);
    platform::HGLOBAL block = BitmapToDib(page);
    const QByteArray dib = BlockBytes(block);
    platform::GlobalFree(block);
    ASSERT_GE(dib.size(), 40);
    EXPECT_EQ(qFromLittleEndian<quint32>(dib.constData() + 24), 5906u);
    EXPECT_EQ(qFromLittleEndian<quint32>(dib.constData() + 28), 3937u);
}

TEST(BitmapToDib, TakesOnly24And8BitPages)
{
    EXPECT_EQ(BitmapToDib(PageBitmap(4, 4, 1)), nullptr);
    EXPECT_EQ(BitmapToDib(PageBitmap(4, 4, 32)), nullptr);
    EXPECT_EQ(BitmapToDib(PageBitmap()), nullptr);
}

} // namespace
} // namespace pd::scan
