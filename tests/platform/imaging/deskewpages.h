#pragma once

#include <cstddef>
#include <vector>

#include "platform/imaging/deskew.h"

namespace pd::platform::imaging::test {

// What the padding bytes at the end of each row hold, so a test can see that nothing wrote there.
inline constexpr unsigned char kPaddingByte = 0xA5;

// A page in memory, top row first, 1 or 3 bytes per pixel.
struct TestPage {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 3;
    std::size_t stride = 0;
    std::vector<unsigned char> bytes;

    PageRaster Raster() { return { bytes.data(), width, height, stride, bytesPerPixel }; }
    unsigned char* Pixel(int x, int y)
    {
        return bytes.data() + std::size_t(y) * stride + std::size_t(x * bytesPerPixel);
    }
    const unsigned char* Pixel(int x, int y) const
    {
        return bytes.data() + std::size_t(y) * stride + std::size_t(x * bytesPerPixel);
    }
    // 0 black .. 255 white, weighted as the imaging code weighs blue, green and red.
    int Intensity(int x, int y) const;
};

// A white page whose rows carry `padding` extra bytes of kPaddingByte.
TestPage WhitePage(int width, int height, int bytesPerPixel, int padding = 0);

// A rectangle of the level page, in pixels: x from left to right, rows from top to bottom.
struct Stroke {
    double left;
    double top;
    double right;
    double bottom;
};

// count ruled lines across the page, 2 to 4 pixels thick, with a margin of 5% all round.
std::vector<Stroke> RuledLines(int width, int height, int count);

// Lines of words made of letters, some with ascenders, sized for a 150 dpi page of this width.
std::vector<Stroke> TextLines(int width, int height, int lineCount, unsigned seed);

// Draws the strokes anti-aliased, turned about the page centre so that a level line ends up with
// skew `degrees`: its row grows by tan(degrees) per pixel of x. Ink is near black on grey pages and
// dark blue on colour pages (its blue byte alone would look light).
void Draw(TestPage& page, const std::vector<Stroke>& strokes, double degrees);

} // namespace pd::platform::imaging::test
