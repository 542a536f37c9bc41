#include "tests/platform/imaging/deskewpages.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace pd::platform::imaging::test {
namespace {

constexpr unsigned char kGreyInk = 30;
constexpr unsigned char kColourInk[3] = { 200, 30, 30 }; // blue, green, red

int Between(std::mt19937& random, int lo, int hi)
{
    return lo + int(random() % unsigned(hi - lo + 1));
}

// Share of the pixel centred at t that lies inside [lo, hi], with a one-pixel ramp at each end.
double Cover(double t, double lo, double hi)
{
    return std::clamp(0.5 + std::min(t - lo, hi - t), 0.0, 1.0);
}

} // namespace

int TestPage::Intensity(int x, int y) const
{
    const unsigned char* p = Pixel(x, y);
    return bytesPerPixel == 1 ? p[0] : (61 * p[2] + 174 * p[1] + 21 * p[0]) >> 8;
}

TestPage WhitePage(int width, int height, int bytesPerPixel, int padding)
{
    TestPage page { width, height, bytesPerPixel, std::size_t(width * bytesPerPixel + padding), {} };
    page.bytes.assign(page.stride * std::size_t(height), 255);
    for (int y = 0; y < height; ++y)
        std::fill_n(page.Pixel(width, y), padding, kPaddingByte);
    return page;
}

std::vector<Stroke> RuledLines(int width, int height, int count)
{
    std::vector<Stroke> lines;
    const double spacing = 0.9 * height / count;
    for (int i = 0; i < count; ++i) {
        const double top = 0.05 * height + i * spacing;
        lines.push_back({ 0.05 * width, top, 0.95 * width, top + 2 + i % 3 });
    }
    return lines;
}

std::vector<Stroke> TextLines(int width, int height, int lineCount, unsigned seed)
{
    std::mt19937 random(seed);
    const double scale = width / 1240.0;
    const double spacing = 0.9 * height / lineCount;
    std::vector<Stroke> letters;
    for (int line = 0; line < lineCount; ++line) {
        const double baseline = 0.05 * height + (line + 1) * spacing;
        double x = 0.08 * width + Between(random, 0, 40) * scale;
        const double end = 0.92 * width - Between(random, 0, 200) * scale;
        while (x < end) {
            for (int letter = Between(random, 1, 9); letter > 0 && x < end; --letter) {
                const double letterWidth = Between(random, 5, 10) * scale;
                const double height = (Between(random, 0, 3) == 0 ? 16 : 11) * scale;
                letters.push_back({ x, baseline - height, x + letterWidth, baseline });
                x += letterWidth + 2 * scale;
            }
            x += Between(random, 10, 20) * scale;
        }
    }
    return letters;
}

void Draw(TestPage& page, const std::vector<Stroke>& strokes, double degrees)
{
    const double radians = degrees * std::numbers::pi / 180.0;
    const double cosine = std::cos(radians);
    const double sine = std::sin(radians);
    const double cx = (page.width - 1) / 2.0;
    const double cy = (page.height - 1) / 2.0;
    for (const Stroke& s : strokes) {
        double x0 = page.width, x1 = -1, y0 = page.height, y1 = -1;
        for (const double u : { s.left, s.right }) {
            for (const double v : { s.top, s.bottom }) {
                const double x = cx + (u - cx) * cosine - (v - cy) * sine;
                const double y = cy + (u - cx) * sine + (v - cy) * cosine;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
        }
        for (int y = std::max(0, int(y0) - 1); y <= std::min(page.height - 1, int(y1) + 1); ++y) {
            for (int x = std::max(0, int(x0) - 1); x <= std::min(page.width - 1, int(x1) + 1); ++x) {
                const double u = cx + (x - cx) * cosine + (y - cy) * sine;
                const double v = cy - (x - cx) * sine + (y - cy) * cosine;
                const double cover = Cover(u, s.left, s.right) * Cover(v, s.top, s.bottom);
                if (cover <= 0)
                    continue;
                unsigned char* pixel = page.Pixel(x, y);
                for (int c = 0; c < page.bytesPerPixel; ++c) {
                    const int ink = page.bytesPerPixel == 1 ? kGreyInk : kColourInk[c];
                    const auto value = static_cast<unsigned char>(std::lround(255 + (ink - 255) * cover));
                    pixel[c] = std::min(pixel[c], value);
                }
            }
        }
    }
}

} // namespace pd::platform::imaging::test
