#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>

#include "scan/pagebitmap.h"

namespace pd::scan::test {

// What a test BMP file holds; rows are given from the top, each row's bytes without padding.
struct BmpSpec {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::vector<QByteArray> rows;
    std::vector<std::uint32_t> palette; // 0x00RRGGBB
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
    bool topDown = false;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks; // bit fields behind a 40-byte header
};

BmpSpec Bmp(int width, int height, int bitsPerPixel, std::vector<QByteArray> rows,
    std::vector<std::uint32_t> palette = {}, int pelsPerMeter = 0);

// A BMP file (14-byte file header, BITMAPINFOHEADER) as a scanner's transfer would give it.
QByteArray MakeBmp(const BmpSpec& spec);

// A white 24-bit page with the given resolution.
PageBitmap WhitePage(int width, int height, int pelsPerMeter = 0);

void SetPixel(PageBitmap& page, int x, int y, unsigned char red, unsigned char green, unsigned char blue);
// Red, green and blue of a 24-bit page's pixel as 0xRRGGBB.
std::uint32_t PixelOf(const PageBitmap& page, int x, int y);

} // namespace pd::scan::test
