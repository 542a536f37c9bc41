#include "tests/scan/pagetestdata.h"

#include <cstring>

#include "tests/support/testsupport.h"

namespace pd::scan::test {

using pd::test::Put16;
using pd::test::Put32;

BmpSpec Bmp(int width, int height, int bitsPerPixel, std::vector<QByteArray> rows, std::vector<std::uint32_t> palette,
    int pelsPerMeter)
{
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitsPerPixel = bitsPerPixel;
    spec.rows = std::move(rows);
    spec.palette = std::move(palette);
    spec.xPelsPerMeter = pelsPerMeter;
    spec.yPelsPerMeter = pelsPerMeter;
    return spec;
}

QByteArray MakeBmp(const BmpSpec& spec)
{
    const int stride = int(PageBitmap::BmpStride(spec.width, spec.bitsPerPixel));
    QByteArray pixels;
    for (int i = 0; i < int(spec.rows.size()); ++i) {
        const QByteArray& row = spec.rows[spec.topDown ? i : spec.rows.size() - 1 - i];
        pixels += row + QByteArray(stride - row.size(), '\0');
    }
    const int extra = int(4 * spec.palette.size() + 4 * spec.masks.size());
    QByteArray bmp("BM");
    Put32(bmp, std::uint32_t(14 + 40 + extra + pixels.size()));
    Put32(bmp, 0);
    Put32(bmp, std::uint32_t(14 + 40 + extra));
    Put32(bmp, 40);
    Put32(bmp, std::uint32_t(spec.width));
    Put32(bmp, std::uint32_t(spec.topDown ? -spec.height : spec.height));
    Put16(bmp, 1);
    Put16(bmp, std::uint32_t(spec.bitsPerPixel));
    Put32(bmp, spec.compression);
    Put32(bmp, std::uint32_t(pixels.size()));
    Put32(bmp, std::uint32_t(spec.xPelsPerMeter));
    Put32(bmp, std::uint32_t(spec.yPelsPerMeter));
    Put32(bmp, std::uint32_t(spec.palette.size()));
    Put32(bmp, 0);
    for (std::uint32_t mask : spec.masks)
        Put32(bmp, mask);
    for (std::uint32_t rgb : spec.palette)
        Put32(bmp, rgb);
    return bmp + pixels;
}

PageBitmap WhitePage(int width, int height, int pelsPerMeter)
{
    PageBitmap page(width, height, 24);
    for (int y = 0; y < height; ++y)
        std::memset(page.Row(y), 0xFF, std::size_t(width) * 3);
    page.SetPelsPerMeter(pelsPerMeter, pelsPerMeter);
    return page;
}

void SetPixel(PageBitmap& page, int x, int y, unsigned char red, unsigned char green, unsigned char blue)
{
    unsigned char* p = page.Row(y) + 3 * x;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}

std::uint32_t PixelOf(const PageBitmap& page, int x, int y)
{
    const unsigned char* p = page.Row(y) + 3 * x;
    return (std::uint32_t(p[2]) << 16) | (p[1] << 8) | p[0];
}

} // namespace pd::scan::test
