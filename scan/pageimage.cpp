#include "scan/pageimage.h"

#include <algorithm>
#include <cstring>
#include <new>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/pagememory.h"
#include "scan/lightchunk.h"
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

unsigned CountDarkPixels(const unsigned char* p, int count, std::uint32_t bound)
{
    unsigned dark = 0;
    for (int x = 0; x < count; ++x, p += 3)
        dark += 61u * p[2] + 174u * p[1] + 21u * p[0] < bound ? 1 : 0;
    return dark;
}

#if defined(__x86_64__)
#define PD_SSSE3 __attribute__((target("ssse3")))

// The bytes of one channel of 16 pixels, taken from the three 16-byte loads by shuffles.
PD_SSSE3 __m128i Gather(__m128i a, __m128i b, __m128i c, __m128i fromA, __m128i fromB, __m128i fromC)
{
    return _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a, fromA), _mm_shuffle_epi8(b, fromB)), _mm_shuffle_epi8(c, fromC));
}

// 0xFFFF in each 16-bit lane whose weighted sum is at most last.
PD_SSSE3 __m128i DarkMask(__m128i red, __m128i green, __m128i blue, __m128i last)
{
    const __m128i sum = _mm_add_epi16(
        _mm_add_epi16(_mm_mullo_epi16(red, _mm_set1_epi16(61)), _mm_mullo_epi16(green, _mm_set1_epi16(174))),
        _mm_mullo_epi16(blue, _mm_set1_epi16(21)));
    return _mm_cmpeq_epi16(_mm_subs_epu16(sum, last), _mm_setzero_si128());
}

// One chunk of 16 pixels at a time in vector registers: the blue, green and red bytes are sorted
// apart, widened to 16 bits (the weighted sum stays below 65536) and compared with the bound,
// which is below 65536.
PD_SSSE3 unsigned CountDarkChunkSsse3(const unsigned char* p, std::uint32_t bound)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const char n = -1; // a shuffle index that gives 0
    const __m128i blue = Gather(a, b, c, _mm_setr_epi8(0, 3, 6, 9, 12, 15, n, n, n, n, n, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, n, 2, 5, 8, 11, 14, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, n, n, n, n, n, n, 1, 4, 7, 10, 13));
    const __m128i green = Gather(a, b, c, _mm_setr_epi8(1, 4, 7, 10, 13, n, n, n, n, n, n, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, 0, 3, 6, 9, 12, 15, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, n, n, n, n, n, n, 2, 5, 8, 11, 14));
    const __m128i red = Gather(a, b, c, _mm_setr_epi8(2, 5, 8, 11, 14, n, n, n, n, n, n, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, 1, 4, 7, 10, 13, n, n, n, n, n, n),
        _mm_setr_epi8(n, n, n, n, n, n, n, n, n, n, 0, 3, 6, 9, 12, 15));
    const __m128i zero = _mm_setzero_si128();
    const __m128i last = _mm_set1_epi16(short(bound - 1));
    const __m128i low
        = DarkMask(_mm_unpacklo_epi8(red, zero), _mm_unpacklo_epi8(green, zero), _mm_unpacklo_epi8(blue, zero), last);
    const __m128i high
        = DarkMask(_mm_unpackhi_epi8(red, zero), _mm_unpackhi_epi8(green, zero), _mm_unpackhi_epi8(blue, zero), last);
    // One byte of 1 per dark pixel, summed by the sum of absolute differences against zero.
    const __m128i ones = _mm_and_si128(_mm_packs_epi16(low, high), _mm_set1_epi8(1));
    const __m128i sums = _mm_sad_epu8(ones, zero);
    return unsigned(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
}

bool HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

unsigned CountDarkChunk(const unsigned char* p, std::uint32_t bound)
{
#if defined(__x86_64__)
    if (bound < 65536 && HasSsse3())
        return CountDarkChunkSsse3(p, bound);
#endif
    return CountDarkPixels(p, kLightChunkPixels, bound);
}

// The same count straight from blue, green, red rows. The intensity is a weighted mean of red,
// green and blue, so a pixel whose three bytes are all at or above the limit cannot be dark; paper
// is mostly such pixels, and a chunk of them is passed over with one test.
// The light chunks passed over are noted on the page for the crop, which looks for dark pixels
// at the same limit next.
std::uint64_t CountDark(const PageBitmap& page, int limit)
{
    const std::uint32_t bound = std::uint32_t(limit) * 256;
    const int width = page.Width();
    auto spans = std::make_shared<LightRowSpans>();
    spans->limit = limit;
    spans->rows.resize(std::size_t(page.Height()));
    std::uint64_t dark = 0;
    for (int y = 0; y < page.Height(); ++y) {
        const unsigned char* row = page.Row(y);
        int first = width;
        int end = 0;
        int x = 0;
        for (; x + kLightChunkPixels <= width; x += kLightChunkPixels) {
            if (!IsLightChunk(row + 3 * x, limit)) {
                dark += CountDarkChunk(row + 3 * x, bound);
                first = std::min(first, x);
                end = x + kLightChunkPixels;
            }
        }
        if (x < width) {
            dark += CountDarkPixels(row + 3 * x, width - x, bound);
            // The few pixels after the last whole chunk are always looked at again.
            first = std::min(first, x);
            end = width;
        }
        spans->rows[std::size_t(y)] = first < end ? std::pair { first, end } : std::pair { 0, 0 };
    }
    page.NoteLightRows(std::move(spans));
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

long double PageDarkFraction(const PageBitmap& page)
{
    TQuorBasicImage meter;
    meter.Assign(page);
    return meter.DarkFraction(kBlankPageDarkLimit);
}

} // namespace pd::scan
