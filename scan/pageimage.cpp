#include "scan/pageimage.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/pagememory.h"
#include "scan/pagebitmap.h"

namespace pd::scan {

namespace {

void CopyRow(const unsigned char* bgr, std::uint32_t* out, int width)
{
    for (int x = 0; x < width; ++x)
        out[x]
            = 0xFF000000u | (std::uint32_t(bgr[3 * x + 2]) << 16) | (std::uint32_t(bgr[3 * x + 1]) << 8) | bgr[3 * x];
}

// The intensity (61 R + 174 G + 21 B) >> 8 is below limit exactly when the weighted sum is below
// 256 x limit; the sum fits 16 bits, which keeps the loop in wide vector lanes.
std::uint64_t CountDark(const std::uint32_t* pixels, std::size_t count, int limit)
{
    const std::uint32_t bound = std::uint32_t(limit) * 256;
    std::uint64_t dark = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t sum = 61 * ((p >> 16) & 0xFF) + 174 * ((p >> 8) & 0xFF) + 21 * (p & 0xFF);
        dark += sum < bound ? 1 : 0;
    }
    return dark;
}

constexpr int kChunk = 16; // pixels tested together for a quick "none of these is dark"

// The intensity is a weighted mean of red, green and blue, so a pixel whose three bytes are all
// at or above the limit cannot be dark. Paper is mostly such pixels; a chunk of them is passed
// over with one test that the compiler turns into a few vector operations.
bool ChunkIsLight(const unsigned char* p, unsigned limit)
{
    unsigned below = 0;
    for (int i = 0; i < 3 * kChunk; ++i)
        below |= p[i] < limit ? 1u : 0u;
    return below == 0;
}

unsigned CountDarkPixels(const unsigned char* p, int count, std::uint32_t bound)
{
    unsigned dark = 0;
    for (int x = 0; x < count; ++x, p += 3)
        dark += 61u * p[2] + 174u * p[1] + 21u * p[0] < bound ? 1 : 0;
    return dark;
}

// The same count straight from blue, green, red rows.
std::uint64_t CountDark(const PageBitmap& page, int limit)
{
    const std::uint32_t bound = std::uint32_t(limit) * 256;
    const int width = page.Width();
    std::uint64_t dark = 0;
    for (int y = 0; y < page.Height(); ++y) {
        const unsigned char* row = page.Row(y);
        int x = 0;
        for (; x + kChunk <= width; x += kChunk) {
            if (!ChunkIsLight(row + 3 * x, unsigned(limit)))
                dark += CountDarkPixels(row + 3 * x, kChunk, bound);
        }
        dark += CountDarkPixels(row + 3 * x, width - x, bound);
    }
    return dark;
}

} // namespace

void TQuorBasicImage::FreeBuffer::operator()(std::uint32_t* pixels) const
{
    platform::FreePageMemory(pixels);
}

void TQuorBasicImage::Allocate() const
{
    m_pixels.reset();
    if (m_width == 0)
        return;
    const std::size_t bytes = std::size_t(m_width) * std::size_t(m_height) * sizeof(std::uint32_t);
    m_pixels.reset(static_cast<std::uint32_t*>(platform::AllocatePageMemory(bytes)));
    if (!m_pixels)
        throw std::bad_alloc();
}

void TQuorBasicImage::SetSize(int width, int height)
{
    m_pending.reset();
    m_width = width > 0 && height > 0 ? width : 0;
    m_height = m_width > 0 ? height : 0;
    Allocate();
    if (m_pixels)
        std::memset(m_pixels.get(), 0, std::size_t(m_width) * std::size_t(m_height) * sizeof(std::uint32_t));
}

void TQuorBasicImage::Assign(const PageBitmap& bitmap)
{
    m_pixels.reset();
    m_pending = bitmap;
    if (m_pending->BitsPerPixel() != 24)
        ConvertTo24Bit(*m_pending);
    m_width = m_pending->IsEmpty() ? 0 : m_pending->Width();
    m_height = m_width > 0 ? m_pending->Height() : 0;
    if (m_width == 0)
        m_pending.reset();
}

void TQuorBasicImage::Fill() const
{
    if (!m_pending)
        return;
    // Every pixel is written below, so the buffer is not cleared first.
    Allocate();
    for (int y = 0; y < m_height; ++y)
        CopyRow(m_pending->Row(y), m_pixels.get() + std::size_t(y) * std::size_t(m_width), m_width);
    m_pending.reset();
}

std::span<std::uint32_t> TQuorBasicImage::Pixels()
{
    Fill();
    return { m_pixels.get(), std::size_t(m_width) * std::size_t(m_height) };
}

std::span<const std::uint32_t> TQuorBasicImage::Pixels() const
{
    Fill();
    return { m_pixels.get(), std::size_t(m_width) * std::size_t(m_height) };
}

long double TQuorBasicImage::DarkFraction(int limit) const
{
    const std::size_t total = std::size_t(m_width) * std::size_t(m_height);
    if (total == 0 || limit <= 0)
        return 0;
    const int bounded = std::min(limit, 256);
    const std::uint64_t dark = m_pending ? CountDark(*m_pending, bounded) : CountDark(m_pixels.get(), total, bounded);
    if (dark == 0)
        return 0;
    return static_cast<long double>(dark) / static_cast<long double>(total);
}

} // namespace pd::scan
