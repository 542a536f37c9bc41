#include "scan/pageops.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include <QtEndian>

#include "scan/lightchunk.h"
#include "scan/pagebitmap.h"

namespace pd::scan {

namespace {

constexpr int kMinSide = 4;
constexpr std::size_t kInfoHeaderSize = 40;

struct Bounds {
    int left, right, top, bottom;
};

bool IsDark(const unsigned char* bgr, int limit)
{
    return bgr[0] < limit && bgr[1] < limit && bgr[2] < limit;
}

// Column of the first dark pixel of the row in [from, to), or to when there is none.
int FirstDark(const unsigned char* row, int from, int to, int limit)
{
    int x = from;
    while (x + kLightChunkPixels <= to && IsLightChunk(row + 3 * x, limit))
        x += kLightChunkPixels;
    while (x < to && !IsDark(row + 3 * x, limit))
        ++x;
    return x;
}

// Column of the last dark pixel before to, in a row known to hold one at first or later.
int LastDark(const unsigned char* row, int to, int first, int limit)
{
    int x = to;
    while (x - kLightChunkPixels >= first && IsLightChunk(row + 3 * (x - kLightChunkPixels), limit))
        x -= kLightChunkPixels;
    do
        --x;
    while (!IsDark(row + 3 * x, limit));
    return x;
}

// The dark pixels' extent from row 3 down, as the loop over every pixel would find it. Light
// stretches of a row are passed over in chunks, and not looked at again at all where the blank-page
// measure has noted them.
Bounds DarkBounds(const PageBitmap& page, int limit)
{
    const int width = page.Width();
    const LightRowSpans* light = page.LightRows(limit);
    Bounds b { width, 0, page.Height(), 0 };
    for (int y = 3; y < page.Height(); ++y) {
        int from = 0;
        int to = width;
        if (light) {
            std::tie(from, to) = light->rows[std::size_t(y)];
            if (from >= to)
                continue;
        }
        const unsigned char* row = page.Row(y);
        const int first = FirstDark(row, from, to, limit);
        if (first == to)
            continue;
        b.left = std::min(b.left, first);
        b.right = std::max(b.right, LastDark(row, to, first, limit));
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
    }
    return b;
}

// Source coordinate of output position i when a side of extent pixels is stretched to size.
int Stretched(int start, int extent, int i, int size)
{
    return start + int(std::int64_t(i) * extent / size);
}

// A page of size width x height showing the rectangle from (left, top) of extent w x h; sides of
// no extent stay white.
PageBitmap StretchPart(const PageBitmap& page, int left, int top, int w, int h, int width, int height)
{
    PageBitmap out(width, height, 24);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = out.Row(y);
        if (w <= 0 || h <= 0) {
            std::memset(row, 0xFF, std::size_t(width) * 3);
            continue;
        }
        const unsigned char* in = page.Row(Stretched(top, h, y, height));
        for (int x = 0; x < width; ++x)
            std::memcpy(row + 3 * x, in + 3 * Stretched(left, w, x, width), 3);
    }
    return out;
}

// BITMAPINFOHEADER of an uncompressed bottom-up page.
void WriteInfoHeader(unsigned char* at, const PageBitmap& page, std::size_t colours, std::size_t pixelBytes)
{
    qToLittleEndian<quint32>(kInfoHeaderSize, at);
    qToLittleEndian<quint32>(page.Width(), at + 4);
    qToLittleEndian<quint32>(page.Height(), at + 8);
    qToLittleEndian<quint16>(1, at + 12);
    qToLittleEndian<quint16>(page.BitsPerPixel(), at + 14);
    qToLittleEndian<quint32>(0, at + 16);
    qToLittleEndian<quint32>(pixelBytes, at + 20);
    qToLittleEndian<quint32>(page.XPelsPerMeter(), at + 24);
    qToLittleEndian<quint32>(page.YPelsPerMeter(), at + 28);
    qToLittleEndian<quint32>(colours, at + 32);
    qToLittleEndian<quint32>(0, at + 36);
}

// The page's own colours, or a grey ramp for an 8-bit page without any.
void WriteColourTable(unsigned char* at, const PageBitmap& page, std::size_t colours)
{
    const std::vector<std::uint32_t>& palette = page.Palette();
    for (std::size_t i = 0; i < colours; ++i) {
        const std::uint32_t rgb = palette.empty() ? std::uint32_t(i * 0x010101u) : palette[i];
        qToLittleEndian<quint32>(rgb & 0xFFFFFF, at + 4 * i);
    }
}

} // namespace

void CropToContent(PageBitmap& page, int limit)
{
    // The search reads three bytes a pixel; a page of another depth would be read past its rows.
    ConvertTo24Bit(page);
    Bounds b = DarkBounds(page, limit);
    if (b.top == 3)
        b.top = 0;
    const int w = b.right - b.left;
    const int h = b.bottom - b.top;
    const int width = std::max(w, kMinSide);
    const int height = std::max(h, kMinSide);
    PageBitmap cropped = w == width && h == height ? page.Part(b.left, b.top, w, h)
                                                   : StretchPart(page, b.left, b.top, w, h, width, height);
    cropped.SetPelsPerMeter(page.XPelsPerMeter(), page.YPelsPerMeter());
    page = std::move(cropped);
}

platform::HGLOBAL BitmapToDib(const PageBitmap& page)
{
    const int bits = page.BitsPerPixel();
    if ((bits != 24 && bits != 8) || page.IsEmpty())
        return nullptr;
    const std::size_t colours = bits != 8 ? 0 : (page.Palette().empty() ? 256 : page.Palette().size());
    const std::size_t stride = std::size_t(PageBitmap::BmpStride(page.Width(), bits));
    const std::size_t pixelBytes = stride * std::size_t(page.Height());
    const std::size_t size = kInfoHeaderSize + 4 * colours + pixelBytes;
    // Every byte is written below (the row padding as zeros), which is the same as filling a
    // zero-filled block, without clearing the whole page first.
    platform::HGLOBAL block = platform::GlobalAlloc(platform::GMEM_MOVEABLE, size);
    auto* dib = static_cast<unsigned char*>(platform::GlobalLock(block));
    if (!dib)
        return platform::GlobalFree(block);
    WriteInfoHeader(dib, page, colours, pixelBytes);
    WriteColourTable(dib + kInfoHeaderSize, page, colours);
    unsigned char* rows = dib + kInfoHeaderSize + 4 * colours;
    const std::size_t rowBytes = std::size_t(page.Width()) * std::size_t(bits / 8);
    for (int y = 0; y < page.Height(); ++y) {
        unsigned char* out = rows + std::size_t(page.Height() - 1 - y) * stride;
        std::memcpy(out, page.Row(y), rowBytes);
        std::memset(out + rowBytes, 0, stride - rowBytes);
    }
    platform::GlobalUnlock(block);
    return block;
}

} // namespace pd::scan
