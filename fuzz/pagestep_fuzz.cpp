// BMP bytes through the page step of a scan: load, conversion to 24 bits, the blank-page measure,
// the crop and the packed bitmap for the PDF writer. Each step is checked against a plain
// reference computed here over the 24-bit pixels: the converted colours, the share of dark pixels,
// the cropped rectangle (also once without the light rows the measure noted, which must not change
// it) and the bitmap the PDF writer reads back.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include <QByteArray>

#include "fuzz/fuzzinput.h"
#include "platform/error.h"
#include "platform/heapblock.h"
#include "platform/imaging/dib.h"
#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "scan/pageops.h"

namespace {

using pd::scan::PageBitmap;

struct Rgb {
    int r, g, b;
};

Rgb PixelOf(const PageBitmap& page24, int x, int y)
{
    const unsigned char* p = page24.Row(y) + 3 * x;
    return { p[2], p[1], p[0] };
}

// An 8-bit page's pixels are its colour table's entries; an index beyond the table is black.
void CheckConversion(const PageBitmap& original, const PageBitmap& page24)
{
    FUZZ_CHECK(page24.BitsPerPixel() == 24);
    FUZZ_CHECK(page24.Width() == original.Width() && page24.Height() == original.Height());
    FUZZ_CHECK(page24.XPelsPerMeter() == original.XPelsPerMeter());
    FUZZ_CHECK(page24.YPelsPerMeter() == original.YPelsPerMeter());
    if (original.BitsPerPixel() != 8 && original.BitsPerPixel() != 24)
        return;
    for (int y = 0; y < original.Height(); ++y) {
        for (int x = 0; x < original.Width(); ++x) {
            const Rgb got = PixelOf(page24, x, y);
            Rgb want {};
            if (original.BitsPerPixel() == 24) {
                want = PixelOf(original, x, y);
            } else {
                const unsigned index = original.Row(y)[x];
                const std::uint32_t rgb = index < original.Palette().size() ? original.Palette()[index] : 0;
                want = { int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF) };
            }
            FUZZ_CHECK(got.r == want.r && got.g == want.g && got.b == want.b);
        }
    }
}

void CheckMeasure(const PageBitmap& page, const PageBitmap& page24)
{
    long long dark = 0;
    for (int y = 0; y < page24.Height(); ++y) {
        for (int x = 0; x < page24.Width(); ++x) {
            const Rgb p = PixelOf(page24, x, y);
            dark += ((61 * p.r + 174 * p.g + 21 * p.b) >> 8) < pd::scan::kBlankPageDarkLimit;
        }
    }
    const long double expected = (long double)dark / ((long double)page24.Width() * page24.Height());
    const long double got = pd::scan::PageDarkFraction(page);
    FUZZ_CHECK(got >= 0 && got <= 1);
    FUZZ_CHECK(std::fabs(double(got - expected)) < 1e-9);

    // The meter's 32-bit pixels carry the same colours, opaque.
    pd::scan::TQuorBasicImage image;
    image.Assign(page);
    FUZZ_CHECK(image.Width() == page24.Width() && image.Height() == page24.Height());
    const auto pixels = std::as_const(image).Pixels();
    for (int y = 0; y < page24.Height(); ++y) {
        for (int x = 0; x < page24.Width(); ++x) {
            const Rgb p = PixelOf(page24, x, y);
            const std::uint32_t want
                = 0xFF000000u | std::uint32_t(p.r) << 16 | std::uint32_t(p.g) << 8 | std::uint32_t(p.b);
            FUZZ_CHECK(pixels[std::size_t(y) * std::size_t(page24.Width()) + std::size_t(x)] == want);
        }
    }
}

// From the first dark column and row up to, not including, the last ones; rows 0 to 2 are not
// looked at, and content from row 3 on keeps the rows above it.
void CheckCrop(const PageBitmap& page24, const PageBitmap& cropped, int limit)
{
    int left = page24.Width(), right = 0, top = page24.Height(), bottom = 0;
    for (int y = 3; y < page24.Height(); ++y) {
        for (int x = 0; x < page24.Width(); ++x) {
            const Rgb p = PixelOf(page24, x, y);
            if (p.r < limit && p.g < limit && p.b < limit) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (top == 3)
        top = 0;
    const int w = right - left;
    const int h = bottom - top;
    FUZZ_CHECK(cropped.BitsPerPixel() == 24);
    FUZZ_CHECK(cropped.Width() == std::max(w, 4) && cropped.Height() == std::max(h, 4));
    FUZZ_CHECK(cropped.XPelsPerMeter() == page24.XPelsPerMeter());
    for (int y = 0; y < cropped.Height(); ++y) {
        for (int x = 0; x < cropped.Width(); ++x) {
            const Rgb got = PixelOf(cropped, x, y);
            if (w <= 0 || h <= 0) {
                FUZZ_CHECK(got.r == 255 && got.g == 255 && got.b == 255);
                continue;
            }
            // A short side is stretched by repeating its pixels.
            const int sx = left + int(std::int64_t(x) * w / cropped.Width());
            const int sy = top + int(std::int64_t(y) * h / cropped.Height());
            const Rgb want = PixelOf(page24, sx, sy);
            FUZZ_CHECK(got.r == want.r && got.g == want.g && got.b == want.b);
        }
    }
}

bool SamePixels(const PageBitmap& a, const PageBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel())
        return false;
    const std::size_t rowBytes = std::size_t(a.Width()) * std::size_t(a.BitsPerPixel() / 8);
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Row(y), b.Row(y), rowBytes) != 0)
            return false;
    }
    return true;
}

// The packed bitmap reads back as the page, through the PDF writer's own parser.
void CheckDib(const PageBitmap& page)
{
    pd::platform::HGLOBAL block = pd::scan::BitmapToDib(page);
    if (page.BitsPerPixel() != 8 && page.BitsPerPixel() != 24) {
        FUZZ_CHECK(block == nullptr);
        return;
    }
    FUZZ_CHECK(block != nullptr);
    const auto* bytes = static_cast<const unsigned char*>(pd::platform::GlobalLock(block));
    QString reason;
    const std::optional<pd::platform::imaging::DibPixels> dib
        = pd::platform::imaging::ParseDib(bytes, pd::platform::GlobalSize(block), &reason);
    FUZZ_CHECK(dib.has_value());
    FUZZ_CHECK(dib->width == page.Width() && dib->height == page.Height());
    FUZZ_CHECK(dib->bitsPerPixel == page.BitsPerPixel());
    FUZZ_CHECK(dib->xPelsPerMeter == page.XPelsPerMeter() && dib->yPelsPerMeter == page.YPelsPerMeter());
    const std::size_t rowBytes = std::size_t(page.Width()) * std::size_t(page.BitsPerPixel() / 8);
    for (int y = 0; y < page.Height(); ++y) {
        const int memoryRow = dib->bottomUp ? page.Height() - 1 - y : y;
        FUZZ_CHECK(std::memcmp(dib->rows + std::size_t(memoryRow) * dib->stride, page.Row(y), rowBytes) == 0);
    }
    if (page.BitsPerPixel() == 8 && !page.Palette().empty())
        FUZZ_CHECK(dib->palette == page.Palette());
    pd::platform::GlobalUnlock(block);
    pd::platform::GlobalFree(block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 256 * 1024)
        return 0;
    // The crop limit comes first; half the runs use the measure's limit, whose light rows the crop
    // then takes over.
    const int limit = data[0] < 128 ? pd::scan::kBlankPageDarkLimit : data[0] + 1 - 128 + 120;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    PageBitmap page;
    try {
        page = pd::scan::LoadBitmap(bytes);
    } catch (const pd::platform::Error&) {
        return 0; // refused with a message: what a broken file must give
    }
    FUZZ_CHECK(!page.IsEmpty());
    // Keep one run in milliseconds: a few bytes of a 1-bit file can announce a large page.
    if (std::int64_t(page.Width()) * page.Height() > 512 * 1024)
        return 0;
    CheckDib(page);

    PageBitmap page24 = page;
    pd::scan::ConvertTo24Bit(page24);
    CheckConversion(page, page24);
    CheckMeasure(page, page24);

    PageBitmap noted = page; // shares the light rows the measure noted on page
    PageBitmap fresh = pd::scan::LoadBitmap(bytes);
    pd::scan::CropToContent(noted, limit);
    pd::scan::CropToContent(fresh, limit);
    CheckCrop(page24, fresh, limit);
    FUZZ_CHECK(SamePixels(noted, fresh));
    CheckDib(fresh);
    return 0;
}
