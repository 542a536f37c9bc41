#include "scan/pageimage.h"

#include "scan/pagebitmap.h"

namespace pd::scan {

namespace {

void CopyRow(const unsigned char* bgr, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x, bgr += 3)
        out[x] = 0xFF000000u | (std::uint32_t(bgr[2]) << 16) | (std::uint32_t(bgr[1]) << 8) | bgr[0];
}

std::uint64_t CountDark(const std::uint32_t* pixels, std::size_t count, int limit)
{
    std::uint64_t dark = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t intensity = (61 * ((p >> 16) & 0xFF) + 174 * ((p >> 8) & 0xFF) + 21 * (p & 0xFF)) >> 8;
        dark += intensity < std::uint32_t(limit) ? 1 : 0;
    }
    return dark;
}

} // namespace

void TQuorBasicImage::SetSize(int width, int height)
{
    m_width = width > 0 && height > 0 ? width : 0;
    m_height = m_width > 0 ? height : 0;
    m_pixels.reset(m_width > 0 ? new std::uint32_t[std::size_t(m_width) * std::size_t(m_height)]() : nullptr);
}

void TQuorBasicImage::Assign(const PageBitmap& bitmap)
{
    if (bitmap.BitsPerPixel() != 24) {
        PageBitmap converted = bitmap;
        ConvertTo24Bit(converted);
        Assign(converted);
        return;
    }
    m_width = bitmap.IsEmpty() ? 0 : bitmap.Width();
    m_height = m_width > 0 ? bitmap.Height() : 0;
    // Every pixel is written below, so the buffer is not cleared first.
    m_pixels.reset(m_width > 0 ? new std::uint32_t[std::size_t(m_width) * std::size_t(m_height)] : nullptr);
    for (int y = 0; y < m_height; ++y)
        CopyRow(bitmap.Row(y), m_pixels.get() + std::size_t(y) * std::size_t(m_width), m_width);
}

long double TQuorBasicImage::DarkFraction(int limit) const
{
    const std::size_t total = std::size_t(m_width) * std::size_t(m_height);
    if (total == 0 || limit <= 0)
        return 0;
    const std::uint64_t dark = CountDark(m_pixels.get(), total, limit);
    if (dark == 0)
        return 0;
    return static_cast<long double>(dark) / static_cast<long double>(total);
}

} // namespace pd::scan
