#include <gtest/gtest.h>
#include <utility>

#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "tests/scan/pagetestdata.h"

namespace pd::scan {
namespace {

using test::SetPixel;
using test::WhitePage;

PageBitmap UniformPage(int width, int height, unsigned char red, unsigned char green, unsigned char blue)
{
    PageBitmap page = WhitePage(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            SetPixel(page, x, y, red, green, blue);
    }
    return page;
}

// The measure on the page as assigned and again once its 32-bit words have been filled in: both
// must agree, as they read the same pixels.
long double MeasureBothWays(const PageBitmap& page, int limit)
{
    TQuorBasicImage image;
    image.Assign(page);
    const long double pending = image.DarkFraction(limit);
    (void)image.Pixels();
    const long double filled = image.DarkFraction(limit);
    EXPECT_EQ(pending, filled);
    return filled;
}

TEST(DarkFraction, UniformColoursGiveZeroOrOne)
{
    const struct {
        const char* name;
        unsigned char red, green, blue;
        int limit;
        long double expected;
    } cases[] = {
        { "white", 255, 255, 255, 200, 0 },
        { "black", 0, 0, 0, 200, 1 },
        { "pure red has intensity 60", 255, 0, 0, 200, 1 },
        { "pure red below 61", 255, 0, 0, 61, 1 },
        { "pure red not below 60", 255, 0, 0, 60, 0 },
        // (174 x 255) >> 8 = 173
        { "pure green not below 173", 0, 255, 0, 173, 0 },
        { "pure green below 174", 0, 255, 0, 174, 1 },
        { "pure blue has intensity 20", 0, 0, 255, 21, 1 },
        { "pure blue not below 20", 0, 0, 255, 20, 0 },
        { "grey 200 is exactly the limit", 200, 200, 200, 200, 0 },
        { "grey 199 is dark", 199, 199, 199, 200, 1 },
        { "grey 201 is not", 201, 201, 201, 200, 0 },
        // 61 x 255 + 174 x 200 + 21 x 184 = 15555 + 34800 + 3864 = 54219, >> 8 = 211 ...
        { "mixed colour at 211 is not below 211", 255, 200, 184, 211, 0 },
        { "mixed colour at 211 is below 212", 255, 200, 184, 212, 1 },
        // ... while swapped red and blue would give (61 x 184 + 174 x 200 + 21 x 255) >> 8 = 200.
        { "swapped channels would be dark at 205", 255, 200, 184, 205, 0 },
        { "limit 0 counts nothing", 0, 0, 0, 0, 0 },
        { "limit above 255 counts white", 255, 255, 255, 256, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // 37 pixels a row: chunks of the quick test and a remainder.
        EXPECT_EQ(MeasureBothWays(UniformPage(37, 5, c.red, c.green, c.blue), c.limit), c.expected);
    }
}

TEST(DarkFraction, CountsEachDarkPixelOverTheWholeArea)
{
    const struct {
        const char* name;
        int width, height;
        std::vector<std::pair<int, int>> dark;
        long double expected;
    } cases[] = {
        { "1 pixel in 500", 25, 20, { { 24, 19 } }, 1.0L / 500 },
        { "3 pixels in 500 at chunk edges", 50, 10, { { 0, 0 }, { 15, 3 }, { 16, 3 } }, 3.0L / 500 },
        { "last pixel of the remainder", 35, 2, { { 34, 1 } }, 1.0L / 70 },
        { "half", 4, 2, { { 0, 0 }, { 1, 0 }, { 2, 0 }, { 3, 0 } }, 0.5L },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageBitmap page = WhitePage(c.width, c.height);
        for (auto [x, y] : c.dark)
            SetPixel(page, x, y, 10, 10, 10);
        EXPECT_EQ(MeasureBothWays(page, 200), c.expected);
    }
}

TEST(DarkFraction, AgreesWithThePlainFormulaOnEveryPixelOfANoisyPage)
{
    // Bytes spread over the whole range, so every chunk of the quick test holds light and dark
    // pixels and many sums fall next to the bound.
    PageBitmap page = WhitePage(203, 17);
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<unsigned char>(state >> 24);
    };
    for (int y = 0; y < page.Height(); ++y) {
        for (int x = 0; x < page.Width(); ++x)
            SetPixel(page, x, y, next(), next(), next());
    }
    for (int limit : { 1, 60, 128, 199, 200, 201, 255, 256 }) {
        SCOPED_TRACE(limit);
        std::uint64_t dark = 0;
        for (int y = 0; y < page.Height(); ++y) {
            for (int x = 0; x < page.Width(); ++x) {
                const std::uint32_t rgb = test::PixelOf(page, x, y);
                const int intensity = (61 * int(rgb >> 16) + 174 * int((rgb >> 8) & 0xFF) + 21 * int(rgb & 0xFF)) >> 8;
                dark += intensity < limit ? 1 : 0;
            }
        }
        EXPECT_EQ(MeasureBothWays(page, limit), static_cast<long double>(dark) / (203 * 17));
    }
}

TEST(DarkFraction, OnePixelInFiveHundredStaysAtTheDefaultThreshold)
{
    PageBitmap page = WhitePage(100, 50);
    for (int i = 0; i < 10; ++i)
        SetPixel(page, i * 7, i * 3, 0, 0, 0);
    TQuorBasicImage image;
    image.Assign(page);
    const long double fraction = image.DarkFraction(200);
    EXPECT_EQ(fraction, 0.002L);
    EXPECT_FALSE(fraction < 0.002L);
}

TEST(DarkFraction, EmptyBufferGivesZero)
{
    TQuorBasicImage image;
    EXPECT_EQ(image.DarkFraction(200), 0);
    image.SetSize(0, 0);
    EXPECT_EQ(image.DarkFraction(200), 0);
    image.Assign(PageBitmap());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.DarkFraction(200), 0);
    EXPECT_TRUE(image.Pixels().empty());
}

TEST(TQuorBasicImage, BufferHoldsAlphaRedGreenBlueFromTheTop)
{
    PageBitmap page = WhitePage(5, 3);
    SetPixel(page, 0, 0, 0x12, 0x34, 0x56);
    SetPixel(page, 4, 0, 0xFE, 0x01, 0x80);
    SetPixel(page, 2, 2, 0xAB, 0xCD, 0xEF);
    TQuorBasicImage image;
    image.Assign(page);
    ASSERT_EQ(image.Width(), 5);
    ASSERT_EQ(image.Height(), 3);
    const std::span<const std::uint32_t> pixels = std::as_const(image).Pixels();
    ASSERT_EQ(pixels.size(), 15u);
    EXPECT_EQ(pixels[0], 0xFF123456u);
    EXPECT_EQ(pixels[4], 0xFFFE0180u);
    EXPECT_EQ(pixels[1], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[2 * 5 + 2], 0xFFABCDEFu);
}

TEST(TQuorBasicImage, WrittenPixelsAreMeasured)
{
    TQuorBasicImage image;
    image.SetSize(10, 10);
    EXPECT_EQ(image.DarkFraction(200), 1); // a cleared buffer is black
    for (std::uint32_t& pixel : image.Pixels())
        pixel = 0x00FFFFFF; // alpha plays no part
    image.Pixels()[42] = 0xFF00FF00; // pure green, intensity 173
    EXPECT_EQ(image.DarkFraction(200), 0.01L);
    EXPECT_EQ(image.DarkFraction(173), 0);
}

TEST(TQuorBasicImage, GreyPageIsMeasuredByItsGreyValues)
{
    test::BmpSpec spec;
    spec.width = 4;
    spec.height = 1;
    spec.bitsPerPixel = 8;
    for (std::uint32_t i = 0; i < 256; ++i)
        spec.palette.push_back(i * 0x010101u);
    spec.rows = { QByteArray("\xC7\xC8\xC9\x00", 4) }; // 199, 200, 201, 0
    TQuorBasicImage image;
    image.Assign(LoadBitmap(test::MakeBmp(spec)));
    EXPECT_EQ(image.DarkFraction(200), 0.5L);
    EXPECT_EQ(image.Pixels()[0], 0xFFC7C7C7u);
}

} // namespace
} // namespace pd::scan
