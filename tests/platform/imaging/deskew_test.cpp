#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "platform/imaging/deskew.h"
#include "tests/platform/imaging/deskewpages.h"

namespace pd::platform::imaging {
namespace {

using test::Draw;
using test::kPaddingByte;
using test::RuledLines;
using test::TestPage;
using test::TextLines;
using test::WhitePage;

constexpr int kWidth = 1240; // A4 at 150 dpi
constexpr int kHeight = 1754;

enum class Content { Ruled, Text };

TestPage SkewedPage(Content content, double degrees, int bytesPerPixel, int padding = 0)
{
    TestPage page = WhitePage(kWidth, kHeight, bytesPerPixel, padding);
    Draw(
        page, content == Content::Ruled ? RuledLines(kWidth, kHeight, 36) : TextLines(kWidth, kHeight, 40, 7), degrees);
    return page;
}

double Degrees(double slope)
{
    return std::atan(slope) * 180.0 / std::numbers::pi;
}

// Follows the line through (startX, startRow) column by column in one direction: each column's
// ink centroid within +-reach rows of the last one found. Stops after a long stretch without ink.
void FollowLine(const TestPage& page, int startX, double startRow, int direction, int reach,
    std::vector<std::pair<double, double>>* points)
{
    double row = startRow;
    int misses = 0;
    for (int x = startX; x >= 0 && x < page.width && misses < 60; x += direction) {
        double ink = 0, moment = 0;
        const int centre = int(std::lround(row));
        for (int y = std::max(0, centre - reach); y <= std::min(page.height - 1, centre + reach); ++y) {
            const double darkness = 255 - page.Intensity(x, y);
            ink += darkness;
            moment += darkness * y;
        }
        if (ink < 255) {
            ++misses;
            continue;
        }
        misses = 0;
        row = moment / ink;
        points->emplace_back(x, row);
    }
}

// The angle of every line on the page, measured without the estimator: lines are found where they
// cross the middle column, followed to both ends, and a least-squares line through the ink
// centroids of their columns gives the slope.
std::vector<double> LineAngles(const TestPage& page, int reach)
{
    const int middle = page.width / 2;
    std::vector<double> profile(std::size_t(page.height), 0.0);
    for (int y = 0; y < page.height; ++y)
        for (int x = middle - 3; x <= middle + 3; ++x)
            profile[std::size_t(y)] += 255 - page.Intensity(x, y);
    std::vector<double> angles;
    for (int y = 0; y < page.height;) {
        if (profile[std::size_t(y)] < 255) {
            ++y;
            continue;
        }
        double ink = 0, moment = 0;
        for (; y < page.height && profile[std::size_t(y)] >= 255; ++y)
            ink += profile[std::size_t(y)], moment += profile[std::size_t(y)] * y;
        std::vector<std::pair<double, double>> points;
        FollowLine(page, middle, moment / ink, 1, reach, &points);
        FollowLine(page, middle - 1, moment / ink, -1, reach, &points);
        if (points.size() < std::size_t(page.width / 4))
            continue; // a crossing word, not a line
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (const auto& [x, r] : points)
            sx += x, sy += r, sxx += x * x, sxy += x * r;
        const double n = double(points.size());
        angles.push_back(Degrees((n * sxy - sx * sy) / (n * sxx - sx * sx)));
    }
    return angles;
}

struct SkewCase {
    const char* name;
    Content content;
    double degrees;
    int bytesPerPixel;
};

TEST(DeskewTest, StraightensSkewedLinesAndText)
{
    const SkewCase cases[] = {
        { "ruled +3 grey", Content::Ruled, 3.0, 1 },
        { "ruled -3 colour", Content::Ruled, -3.0, 3 },
        { "ruled +4.5 colour", Content::Ruled, 4.5, 3 },
        { "ruled -1.2 grey", Content::Ruled, -1.2, 1 },
        { "text +3 colour", Content::Text, 3.0, 3 },
        { "text -2 grey", Content::Text, -2.0, 1 },
        { "text -4.5 colour", Content::Text, -4.5, 3 },
    };
    for (const SkewCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestPage page = SkewedPage(c.content, c.degrees, c.bytesPerPixel);
        const int reach = c.content == Content::Ruled ? 5 : 10;
        // The fixture itself: the measure sees the angle it was drawn with.
        const std::vector<double> before = LineAngles(page, reach);
        ASSERT_GE(before.size(), 30u);
        EXPECT_NEAR(before.front(), c.degrees, 0.05);

        EXPECT_NEAR(DeskewPage(page.Raster()), c.degrees, 0.1);

        const std::vector<double> after = LineAngles(page, reach);
        ASSERT_GE(after.size(), 30u);
        for (const double angle : after)
            EXPECT_LT(std::abs(angle), 0.3);
    }
}

// The same page straightened with and without padded rows gives the same pixels, the padding
// untouched; on an odd width every row starts at a different alignment.
TEST(DeskewTest, PaddedRowsGiveTheSamePixelsAndKeepTheirPadding)
{
    for (const int bytesPerPixel : { 1, 3 }) {
        SCOPED_TRACE(bytesPerPixel);
        TestPage packed = WhitePage(kWidth - 1, 900, bytesPerPixel);
        TestPage padded = WhitePage(kWidth - 1, 900, bytesPerPixel, 3);
        for (TestPage* page : { &packed, &padded })
            Draw(*page, RuledLines(kWidth - 1, 900, 20), 2.5);
        EXPECT_EQ(EstimateSkew(padded.Raster()), EstimateSkew(packed.Raster()));
        const double corrected = DeskewPage(padded.Raster());
        EXPECT_NEAR(corrected, 2.5, 0.1);
        RotatePage(packed.Raster(), corrected);
        int differences = 0, paddingChanged = 0;
        for (int y = 0; y < padded.height; ++y) {
            for (int x = 0; x < padded.width; ++x)
                for (int c = 0; c < bytesPerPixel; ++c)
                    differences += padded.Pixel(x, y)[c] != packed.Pixel(x, y)[c];
            for (int b = 0; b < 3; ++b)
                paddingChanged += padded.Pixel(padded.width, y)[b] != kPaddingByte;
        }
        EXPECT_EQ(differences, 0);
        EXPECT_EQ(paddingChanged, 0);
    }
}

TEST(DeskewTest, LeavesLevelAndBarelySkewedPagesByteForByte)
{
    const SkewCase cases[] = {
        { "ruled 0 grey", Content::Ruled, 0.0, 1 },
        { "text 0 colour", Content::Text, 0.0, 3 },
        { "ruled +0.05 colour", Content::Ruled, 0.05, 3 },
        { "text -0.05 grey", Content::Text, -0.05, 1 },
    };
    for (const SkewCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestPage page = SkewedPage(c.content, c.degrees, c.bytesPerPixel);
        const std::vector<unsigned char> drawn = page.bytes;
        EXPECT_EQ(DeskewPage(page.Raster()), 0.0);
        EXPECT_TRUE(page.bytes == drawn);
    }
}

TEST(DeskewTest, LeavesPagesWithoutLinesAlone)
{
    struct Case {
        const char* name;
        std::vector<test::Stroke> marks;
    };
    const auto specks = [](int count) {
        std::mt19937 random(11);
        std::vector<test::Stroke> marks;
        for (int i = 0; i < count; ++i) {
            const double x = 80 + random() % 1080, y = 90 + random() % 1560;
            marks.push_back({ x, y, x + 3, y + 3 });
        }
        return marks;
    };
    const Case cases[] = {
        { "blank", {} },
        { "a dozen specks", specks(12) },
        { "dust all over", specks(500) }, // enough ink, but no angle lines it up
        { "one small word", { { 600, 800, 640, 812 } } },
        { "black all over", { { -200, -200, kWidth + 200, kHeight + 200 } } },
        { "upright bars",
            { { 100, -100, 300, kHeight + 100 }, { 500, -100, 520, kHeight + 100 },
                { 900, -100, 1000, kHeight + 100 } } },
    };
    for (const Case& c : cases) {
        for (const int bytesPerPixel : { 1, 3 }) {
            SCOPED_TRACE(std::string(c.name) + (bytesPerPixel == 1 ? " grey" : " colour"));
            TestPage page = WhitePage(kWidth, kHeight, bytesPerPixel);
            Draw(page, c.marks, 2.0);
            const std::vector<unsigned char> drawn = page.bytes;
            EXPECT_EQ(EstimateSkew(page.Raster()), 0.0);
            EXPECT_EQ(DeskewPage(page.Raster()), 0.0);
            EXPECT_TRUE(page.bytes == drawn);
        }
    }
}

// A feeder page is mostly skewed by a fraction of a degree, the hardest case: the pixel grid
// itself lines text up at 0 degrees. Cutting corners in the estimate (reading fewer rows, joining
// more cells) shows here first, on a full A4 page at 300 dpi, where the cells are as coarse as
// they get.
TEST(DeskewTest, FindsSmallSkewsOfTextOnAFullPage)
{
    constexpr int width = 2480;
    constexpr int height = 3508;
    for (const double degrees : { -0.22, 0.12, 0.27 }) {
        SCOPED_TRACE(degrees);
        TestPage page = WhitePage(width, height, 1);
        Draw(page, TextLines(width, height, 60, 11), degrees);
        EXPECT_NEAR(EstimateSkew(page.Raster()), degrees, 0.05);
    }
}

// Content turned further than the search reaches still gives an angle inside it.
TEST(DeskewTest, EstimateStaysWithinItsLimit)
{
    struct Case {
        Content content;
        double degrees;
        double maxDegrees;
    };
    const Case cases[] = {
        { Content::Ruled, 8.0, 5.0 },
        { Content::Text, -12.0, 5.0 },
        { Content::Ruled, 30.0, 5.0 },
        { Content::Text, 89.0, 5.0 },
        { Content::Ruled, 3.0, 2.0 },
        { Content::Ruled, -3.0, 0.5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.degrees << " within " << c.maxDegrees);
        TestPage page = SkewedPage(c.content, c.degrees, 1);
        const double estimate = EstimateSkew(page.Raster(), c.maxDegrees);
        EXPECT_LE(std::abs(estimate), c.maxDegrees);
        EXPECT_LE(std::abs(DeskewPage(page.Raster(), c.maxDegrees)), c.maxDegrees);
    }
}

// Bilinear sampling in floating point, neighbours off the page white: what RotatePage computes in
// fixed point.
int ReferenceSample(const TestPage& page, double degrees, int x, int y, int channel)
{
    const double radians = degrees * std::numbers::pi / 180.0;
    const double cx = (page.width - 1) / 2.0, cy = (page.height - 1) / 2.0;
    const double sx = cx + (x - cx) * std::cos(radians) - (y - cy) * std::sin(radians);
    const double sy = cy + (x - cx) * std::sin(radians) + (y - cy) * std::cos(radians);
    const double fx = std::floor(sx), fy = std::floor(sy);
    const auto at = [&](double px, double py) -> double {
        if (px < 0 || py < 0 || px >= page.width || py >= page.height)
            return 255;
        return page.Pixel(int(px), int(py))[channel];
    };
    const double wx = sx - fx, wy = sy - fy;
    const double top = at(fx, fy) * (1 - wx) + at(fx + 1, fy) * wx;
    const double bottom = at(fx, fy + 1) * (1 - wx) + at(fx + 1, fy + 1) * wx;
    return int(std::lround(top * (1 - wy) + bottom * wy));
}

TEST(DeskewTest, RotationMatchesBilinearSampling)
{
    struct Case {
        int width;
        int height;
        int bytesPerPixel;
        int padding;
        double degrees;
        bool specks = false; // white paper, every third row blank, the others with a few dark pixels
    };
    const Case cases[] = {
        { 37, 23, 3, 1, 3.0 }, // odd width, padded: rows at every alignment
        { 61, 301, 1, 3, -4.5 }, // tall: rows are read back long after they were turned
        { 301, 61, 3, 0, 4.5 },
        { 40, 40, 1, 0, 30.0 },
        { 33, 47, 3, 2, 90.0 },
        { 33, 47, 1, 0, 200.0 }, // upside down: rows come from the far end
        { 1, 9, 3, 0, 2.0 },
        { 9, 1, 1, 1, -2.0 },
        // Wide rows at feeder-page angles: nearly every pixel comes from the eight-at-a-time blend,
        // its source row stepping up or down within the eight.
        { 203, 40, 1, 0, 1.3 },
        { 203, 40, 3, 1, -0.7 },
        { 150, 30, 1, 2, -6.0 },
        { 160, 50, 3, 0, 12.0 }, // the row steps once or twice within eight pixels
        { 160, 50, 1, 0, -15.0 },
        // Mostly blank paper: white stretches are passed over, and must end exactly where a speck
        // in the source or a speck left in the row being overwritten begins.
        { 301, 97, 1, 0, 1.7, true },
        { 203, 61, 3, 1, -2.4, true },
        { 120, 120, 1, 0, 30.0, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bytesPerPixel << " at " << c.degrees);
        TestPage page = WhitePage(c.width, c.height, c.bytesPerPixel, c.padding);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                for (int ch = 0; ch < c.bytesPerPixel; ++ch)
                    page.Pixel(x, y)[ch] = c.specks
                        ? ((x * 7 + y * 13) % 61 == 0 && y % 3 != 0 ? static_cast<unsigned char>((x + ch * 40) % 100)
                                                                    : 255)
                        : static_cast<unsigned char>((x * 37 + y * 91 + ch * 50 + (x * y) % 13 * 7) % 256);
        const TestPage original = page;
        RotatePage(page.Raster(), c.degrees);
        int worst = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x)
                for (int ch = 0; ch < c.bytesPerPixel; ++ch)
                    worst = std::max(
                        worst, std::abs(page.Pixel(x, y)[ch] - ReferenceSample(original, c.degrees, x, y, ch)));
            for (int b = 0; b < c.padding; ++b)
                EXPECT_EQ(page.Pixel(c.width, y)[b], kPaddingByte);
        }
        EXPECT_LE(worst, 2);
    }
}

TEST(DeskewTest, UncoveredCornersTurnWhiteAndTheMiddleStays)
{
    for (const int bytesPerPixel : { 1, 3 }) {
        SCOPED_TRACE(bytesPerPixel);
        TestPage page = WhitePage(200, 300, bytesPerPixel);
        std::fill(page.bytes.begin(), page.bytes.end(), 0);
        RotatePage(page.Raster(), 4.0);
        for (const auto& [x, y] : { std::pair { 0, 0 }, { 199, 0 }, { 0, 299 }, { 199, 299 }, { 5, 0 }, { 0, 5 } })
            for (int c = 0; c < bytesPerPixel; ++c)
                EXPECT_EQ(page.Pixel(x, y)[c], 255) << x << "," << y;
        for (int c = 0; c < bytesPerPixel; ++c)
            EXPECT_EQ(page.Pixel(100, 150)[c], 0);
    }
}

// Rasters that cannot be read are left alone: nothing written, no crash, angle 0.
TEST(DeskewTest, IgnoresUnusableRastersAndAngles)
{
    TestPage page = WhitePage(4, 3, 3, 2);
    Draw(page, { { 0, 1, 4, 2 } }, 0);
    const std::vector<unsigned char> drawn = page.bytes;
    struct Case {
        const char* name;
        PageRaster raster;
    };
    const Case cases[] = {
        { "no rows", { nullptr, 4, 3, 14, 3 } },
        { "no width", { page.bytes.data(), 0, 3, 14, 3 } },
        { "no height", { page.bytes.data(), 4, 0, 14, 3 } },
        { "negative width", { page.bytes.data(), -4, 3, 14, 3 } },
        { "4 bytes per pixel", { page.bytes.data(), 3, 3, 14, 4 } },
        { "stride shorter than a row", { page.bytes.data(), 4, 3, 11, 3 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(IsUsable(c.raster));
        EXPECT_EQ(EstimateSkew(c.raster), 0.0);
        EXPECT_EQ(DeskewPage(c.raster), 0.0);
        RotatePage(c.raster, 3.0);
        EXPECT_TRUE(page.bytes == drawn);
    }
    for (const double degrees : { std::nan(""), double(INFINITY), 0.0, 360.0, -720.0 }) {
        SCOPED_TRACE(degrees);
        RotatePage(page.Raster(), degrees);
        EXPECT_TRUE(page.bytes == drawn);
    }
    TestPage single = WhitePage(1, 1, 1);
    single.bytes[0] = 17;
    EXPECT_EQ(DeskewPage(single.Raster()), 0.0);
    RotatePage(single.Raster(), 3.0);
    EXPECT_EQ(single.bytes[0], 17);
}

} // namespace
} // namespace pd::platform::imaging
