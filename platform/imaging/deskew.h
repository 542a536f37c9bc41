#pragma once

#include <cstddef>

namespace pd::platform::imaging {

// A page's pixels in memory order, writable: 1 byte per pixel (grey, 0 black .. 255 white) or
// 3 bytes (blue, green, red). stride: bytes from one row in memory to the next (rows may be
// padded). Rows are taken in memory order whatever the page's orientation: estimating and
// rotating in the same frame straightens bottom-up pages as well.
struct PageRaster {
    unsigned char* rows = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int bytesPerPixel = 3;
};

// True when the raster can be read and written: rows set, both sides above 0, 1 or 3 bytes per
// pixel and a stride that holds a row. Every operation below leaves any other raster alone.
bool IsUsable(const PageRaster& page);

// Skew of the page's content in degrees, within +-maxDegrees (at most 45). Angles are measured in
// the frame of the raster: x grows to the right along a row in memory, the row index grows from
// the first row in memory to the last. A line whose row index grows by tan(a) for every pixel of
// x has skew a; so on a top-down page a positive skew is a line falling to the right as seen on
// screen. Gives 0 when the page shows too little to tell: blank, a few specks, or no angle that
// lines the dark pixels up clearly better than the others.
double EstimateSkew(const PageRaster& page, double maxDegrees = 5.0);

// Turns the content by -degrees about the page centre, so that lines with skew `degrees` become
// level. Bilinear interpolation; width, height and stride stay, padding bytes are not touched;
// the corners that the turned content no longer covers become white (255 in every channel).
void RotatePage(const PageRaster& page, double degrees);

// Below this, a skew is left as it is: resampling would blur the page more than straightening
// it helps.
inline constexpr double kMinDeskewDegrees = 0.1;

// Estimates the skew and straightens the page; returns the angle corrected, 0 when the page was
// left as it was (too little content, or a skew below kMinDeskewDegrees).
double DeskewPage(const PageRaster& page, double maxDegrees = 5.0);

} // namespace pd::platform::imaging
