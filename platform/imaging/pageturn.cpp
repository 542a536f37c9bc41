#include "platform/imaging/pageturn.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PD_DESKEW_AVX2 1
#define PD_AVX2 __attribute__((target("avx2")))
#endif

namespace pd::platform::imaging {
namespace {

constexpr int kFixBits = 16; // sub-pixel bits of source positions
constexpr std::int64_t kFixOne = std::int64_t(1) << kFixBits;

// Memory kept from page to page on the calling thread (see kKeptBytes).
struct TurnScratch {
    std::vector<unsigned char> ring;
    std::vector<const unsigned char*> rows;
    std::vector<std::uint32_t> whiteCounts;
};

// Asks for the cache lines of `count` bytes ahead of their use.
void Prefetch(const unsigned char* bytes, std::size_t count)
{
    for (std::size_t at = 0; at < count; at += 64)
        __builtin_prefetch(bytes + at);
}

// The interval of x where lo <= start + x * step < hi, as [*first, *last]; empty when first > last.
void Span(
    std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi, std::int64_t* first, std::int64_t* last)
{
    const auto floorDiv = [](std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); };
    const auto ceilDiv = [](std::int64_t a, std::int64_t b) { return a / b + (a % b != 0 && (a < 0) == (b < 0)); };
    if (step == 0) {
        const bool inside = start >= lo && start < hi;
        *first = inside ? INT64_MIN / 2 : 1;
        *last = inside ? INT64_MAX / 2 : 0;
    } else if (step > 0) {
        *first = ceilDiv(lo - start, step);
        *last = floorDiv(hi - 1 - start, step);
    } else {
        *first = ceilDiv(hi - 1 - start, step);
        *last = floorDiv(lo - start, step);
    }
}

// Which blocks of each original row are white, 255 in every byte: kept as running counts of the
// blocks that are not, so that any stretch of a row is looked up in one step.
class WhiteMap {
public:
    static constexpr int kBlock = 16; // pixels

    WhiteMap(std::vector<std::uint32_t>& counts, int width, int height)
        : m_counts(counts)
        , m_width(width)
        , m_blocks(std::size_t(width + kBlock - 1) / kBlock)
    {
        counts.resize(std::size_t(height) * (m_blocks + 1));
    }

    template <int B> void Map(int y, const unsigned char* row)
    {
        std::uint32_t* counts = Counts(y);
        counts[0] = 0;
        for (std::size_t block = 0; block < m_blocks; ++block) {
            const int start = int(block) * kBlock;
            const int pixels = std::min(kBlock, m_width - start);
            counts[block + 1] = counts[block] + !IsWhite<B>(row + std::size_t(start) * B, pixels);
        }
    }

    // True when pixels x0..x1 of row y were white.
    bool White(int y, int x0, int x1) const
    {
        const std::uint32_t* counts = Counts(y);
        return counts[std::size_t(x1 / kBlock) + 1] == counts[std::size_t(x0 / kBlock)];
    }

    bool RowWhite(int y) const { return Counts(y)[m_blocks] == 0; }

private:
    template <int B> static bool IsWhite(const unsigned char* p, int pixels)
    {
#if defined(__SSE2__)
        if (pixels == kBlock) {
            const auto load = [p](int at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)); };
            __m128i all = load(0);
            if constexpr (B == 3)
                all = _mm_and_si128(all, _mm_and_si128(load(16), load(32)));
            return _mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) == 0xFFFF;
        }
#endif
        unsigned char all = 255;
        for (int i = 0; i < pixels * B; ++i)
            all &= p[i];
        return all == 255;
    }

    std::uint32_t* Counts(int y)
    {
        return m_counts.data() + std::size_t(y) * (m_blocks + 1);
    }
    const std::uint32_t* Counts(int y) const
    {
        return m_counts.data() + std::size_t(y) * (m_blocks + 1);
    }

    std::vector<std::uint32_t>& m_counts;
    int m_width;
    std::size_t m_blocks;
};

// One row of the turned page. Source positions are fixed point with kFixBits fraction bits;
// the source rows are read through rows[], which the caller keeps pointing at original pixels.
template <int B> class RowRenderer {
public:
    RowRenderer(const unsigned char* const* rows, const WhiteMap& white, int width, int height, std::int64_t stepX,
        std::int64_t stepY)
        : m_rows(rows)
        , m_white(white)
        , m_width(width)
        , m_height(height)
    {
#if defined(PD_DESKEW_AVX2)
        SetUpWideLanes(stepX, stepY);
#endif
#if defined(__SSE2__)
        SetUpLanes(stepX, stepY);
#else
        (void)stepX;
        (void)stepY;
#endif
    }

    // Turns row y: out is that row of the page, whose original lies in the ring by now.
    void Render(
        unsigned char* out, int y, std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY) const
    {
        // Where all four neighbours lie inside the page, no pixel needs a bounds check; where none
        // does, the pixel is white; only the thin band between needs the careful blend.
        int first, last, nearFirst, nearLast;
        Within(sx, sy, stepX, stepY, 0, std::int64_t(m_width - 1) << kFixBits, 0,
            std::int64_t(m_height - 1) << kFixBits, &first, &last);
        Within(sx, sy, stepX, stepY, -kFixOne, std::int64_t(m_width) << kFixBits, -kFixOne,
            std::int64_t(m_height) << kFixBits, &nearFirst, &nearLast);
        if (nearFirst > nearLast) {
            Fill(out, y, 0, m_width - 1);
            return;
        }
        if (first > last)
            first = last = -1;
        const int edgeEnd = first < 0 ? nearLast : first - 1;
        Fill(out, y, 0, nearFirst - 1);
        for (int x = nearFirst; x <= edgeEnd; ++x)
            Edge(out + x * B, sx + x * stepX, sy + x * stepY);
        for (int x = first; first >= 0 && x <= last;) {
            // Blank paper turns into blank paper: a run whose source is all white is filled at once.
            const int end = std::min(last, x + kWhiteRun - 1);
            const std::int64_t runX = sx + x * stepX;
            const std::int64_t runY = sy + x * stepY;
            if (SourceWhite(runX, runY, sx + end * stepX, sy + end * stepY))
                Fill(out, y, x, end);
            else
                InsideRun(out + x * B, end - x + 1, runX, runY, stepX, stepY);
            x = end + 1;
        }
        for (int x = first < 0 ? nearLast + 1 : last + 1; x <= nearLast; ++x)
            Edge(out + x * B, sx + x * stepX, sy + x * stepY);
        Fill(out, y, nearLast + 1, m_width - 1);
    }

private:
    static constexpr int kWhiteRun = 64;

    // The pixels x of the row at (sx + x * stepX, sy + x * stepY) whose source column lies in
    // [loX, hiX) and row in [loY, hiY), as [*first, *last] within the row; first > last when none.
    void Within(std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY, std::int64_t loX,
        std::int64_t hiX, std::int64_t loY, std::int64_t hiY, int* first, int* last) const
    {
        std::int64_t firstX, lastX, firstY, lastY;
        Span(sx, stepX, loX, hiX, &firstX, &lastX);
        Span(sy, stepY, loY, hiY, &firstY, &lastY);
        *first = int(std::clamp<std::int64_t>(std::max(firstX, firstY), 0, m_width));
        *last = int(std::clamp<std::int64_t>(std::min(lastX, lastY), -1, m_width - 1));
        if (*first > *last) {
            *first = m_width;
            *last = -1;
        }
    }

    // Pixels x0..x1 of row y become white; where the original row was white there already, the
    // memory is left alone, which spares writing back pages of blank paper.
    void Fill(unsigned char* out, int y, int x0, int x1) const
    {
        if (x0 <= x1 && !m_white.White(y, x0, x1))
            std::memset(out + x0 * B, 255, std::size_t(x1 - x0 + 1) * B);
    }

    // True when every pixel that a run from (sx0, sy0) to (sx1, sy1) reads is white; the run lies
    // inside the page.
    bool SourceWhite(std::int64_t sx0, std::int64_t sy0, std::int64_t sx1, std::int64_t sy1) const
    {
        const int left = int(std::min(sx0, sx1) >> kFixBits);
        const int right = int(std::max(sx0, sx1) >> kFixBits) + 1;
        const int top = int(std::min(sy0, sy1) >> kFixBits);
        const int bottom = int(std::max(sy0, sy1) >> kFixBits) + 1;
        for (int y = top; y <= bottom; ++y)
            if (!m_white.White(y, left, right))
                return false;
        return true;
    }

    static unsigned char Blend(int a, int b, int c, int d, int wx, int wy)
    {
        const int top = (a << 8) + (b - a) * wx;
        const int bottom = (c << 8) + (d - c) * wx;
        return static_cast<unsigned char>(((top << 8) + (bottom - top) * wy + 32768) >> 16);
    }

    // Pixels whose four neighbours lie inside the page; out is never one of the source rows.
    void InsideRun(unsigned char* __restrict out, int count, std::int64_t sx, std::int64_t sy, std::int64_t stepX,
        std::int64_t stepY) const
    {
#if defined(PD_DESKEW_AVX2)
        if (m_avx2) {
            for (; count >= kWideChunk; count -= kWideChunk, out += kWideChunk * B) {
                if (!BlendWideChunk(out, sx, sy, stepX, stepY))
                    break;
                sx += kWideChunk * stepX;
                sy += kWideChunk * stepY;
            }
        }
#endif
#if defined(__SSE2__)
        for (; count >= kChunk; count -= kChunk, out += kChunk * B) {
            if (!BlendChunk(out, sx, sy, stepX, stepY))
                BlendPixels(out, m_rows, kChunk, sx, sy, stepX, stepY);
            sx += kChunk * stepX;
            sy += kChunk * stepY;
        }
#endif
        BlendPixels(out, m_rows, count, sx, sy, stepX, stepY);
    }

    static void BlendPixels(unsigned char* __restrict out, const unsigned char* const* __restrict rows, int count,
        std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY)
    {
        for (int i = 0; i < count; ++i, sx += stepX, sy += stepY) {
            const std::uint32_t wx = std::uint32_t(sx >> (kFixBits - 8)) & 255;
            const std::uint32_t wy = std::uint32_t(sy >> (kFixBits - 8)) & 255;
            // The four weights add up to 65536; the same sum as Blend, with fewer steps per channel.
            const std::uint32_t w11 = wx * wy;
            const std::uint32_t w01 = (wx << 8) - w11;
            const std::uint32_t w10 = (wy << 8) - w11;
            const std::uint32_t w00 = 65536 - w01 - w10 - w11;
            const std::size_t offset = std::size_t(sx >> kFixBits) * B;
            const unsigned char* top = rows[sy >> kFixBits] + offset;
            const unsigned char* bottom = rows[(sy >> kFixBits) + 1] + offset;
            for (int c = 0; c < B; ++c)
                out[i * B + c] = static_cast<unsigned char>(
                    (top[c] * w00 + top[c + B] * w01 + bottom[c] * w10 + bottom[c + B] * w11 + 32768) >> 16);
        }
    }

#if defined(__SSE2__)
    // Eight output pixels at once. At the angles a page is skewed by, neighbouring output pixels
    // read neighbouring source columns, and the source row steps by at most one across the eight:
    // each of the (at most three) source rows is then read as one contiguous strip, and every byte
    // lane blends with its own pixel's weights. Anything else (a column read twice, a steep turn)
    // is left to the pixel blend.
    static constexpr int kChunk = 8;

    void SetUpLanes(std::int64_t stepX, std::int64_t stepY)
    {
        // Per byte lane: the low 16 bits of how far its pixel lies from the chunk's first, in
        // source position units; the weights are bits 8..15 of a position, so 16-bit lanes that
        // wrap around keep them exact. Colour spreads the eight pixels over three groups of eight
        // bytes.
        m_rising = stepY > 0;
        // The wrap-around tells a lane's row only while the chunk spans less than a row.
        m_chunkFits = std::abs(stepY) * (kChunk - 1) < kFixOne;
        for (int group = 0; group < B; ++group) {
            alignas(16) std::uint16_t x[8], y[8];
            for (int k = 0; k < 8; ++k) {
                const int pixel = (group * 8 + k) / B;
                x[k] = std::uint16_t(pixel * stepX);
                y[k] = std::uint16_t(pixel * stepY);
            }
            m_laneX[group] = _mm_load_si128(reinterpret_cast<const __m128i*>(x));
            m_laneY[group] = _mm_load_si128(reinterpret_cast<const __m128i*>(y));
        }
    }

    static __m128i Load8(const unsigned char* bytes)
    {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)), _mm_setzero_si128());
    }

    // left + (right - left) * wx / 256 in 64ths of a level, rounded down; wx7 holds wx << 7.
    static __m128i Across(const unsigned char* row, __m128i wx7)
    {
        const __m128i left = Load8(row);
        const __m128i right = Load8(row + B);
        return _mm_add_epi16(
            _mm_slli_epi16(left, 6), _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(right, left), 7), wx7));
    }

    static __m128i Select(__m128i mask, __m128i yes, __m128i no)
    {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }

    // What a chunk of `pixels` output pixels reads: from each source row a strip starting at the
    // first pixel's column; row2 is read by the lanes past a row step, if there is one.
    struct Strips {
        const unsigned char* row0;
        const unsigned char* row1;
        const unsigned char* row2;
        bool crossing;
    };

    // False when the chunk does not have the shape a strip blend needs.
    bool FindStrips(
        int pixels, std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY, Strips* strips) const
    {
        const std::int64_t x0 = sx >> kFixBits;
        // stepX is at most one column, so columns that end pixels - 1 apart advanced by one each.
        if (((sx + (pixels - 1) * stepX) >> kFixBits) - x0 != pixels - 1)
            return false;
        const std::int64_t y0 = sy >> kFixBits;
        const std::int64_t y1 = (sy + (pixels - 1) * stepY) >> kFixBits;
        if (y1 - y0 > 1 || y0 - y1 > 1)
            return false;
        const std::int64_t top = std::min(y0, y1);
        const std::size_t offset = std::size_t(x0) * B;
        strips->crossing = y0 != y1;
        strips->row0 = m_rows[top] + offset;
        strips->row1 = m_rows[top + 1] + offset;
        strips->row2 = strips->crossing ? m_rows[top + 2] + offset : strips->row1;
        return true;
    }

    // False, and nothing written, when the chunk does not have the shape described above.
    bool BlendChunk(unsigned char* out, std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY) const
    {
        Strips strips;
        if (!m_chunkFits || !FindStrips(kChunk, sx, sy, stepX, stepY, &strips))
            return false;
        const auto [row0, row1, row2, crossing] = strips;
        const __m128i fracX = _mm_set1_epi16(static_cast<short>(sx & 0xFFFF));
        const __m128i fracY = _mm_set1_epi16(static_cast<short>(sy & 0xFFFF));
        const __m128i weightBits = _mm_set1_epi16(255 << 7);
        const __m128i sign = _mm_set1_epi16(static_cast<short>(0x8000));
        for (int group = 0; group < B; ++group) {
            const __m128i posX = _mm_add_epi16(fracX, m_laneX[group]);
            const __m128i posY = _mm_add_epi16(fracY, m_laneY[group]);
            const __m128i wx7 = _mm_and_si128(_mm_srli_epi16(posX, 1), weightBits);
            const __m128i wy7 = _mm_and_si128(_mm_srli_epi16(posY, 1), weightBits);
            const int at = group * 8;
            __m128i upper = Across(row0 + at, wx7);
            __m128i lower = Across(row1 + at, wx7);
            if (crossing) {
                // Lanes in the lower of the two rows read one row further down. A lane's row is the
                // first lane's, or the next one where its 16 bits wrapped around (an unsigned
                // comparison, made signed by flipping the top bit).
                const __m128i wrapped = _mm_cmpgt_epi16(
                    _mm_xor_si128(m_rising ? fracY : posY, sign), _mm_xor_si128(m_rising ? posY : fracY, sign));
                const __m128i mask = m_rising ? wrapped : _mm_andnot_si128(wrapped, _mm_set1_epi16(-1));
                upper = Select(mask, lower, upper);
                lower = Select(mask, Across(row2 + at, wx7), lower);
            }
            // upper + (lower - upper) * wy / 256, then back from 64ths to levels, rounded.
            const __m128i down = _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(lower, upper), 1), wy7);
            const __m128i level = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(upper, down), _mm_set1_epi16(32)), 6);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(level, level));
        }
        return true;
    }

    __m128i m_laneX[B];
    __m128i m_laneY[B];
    bool m_rising = false;
    bool m_chunkFits = false;
#endif

#if defined(PD_DESKEW_AVX2)
    // The same blend, sixteen pixels at a time on processors that have AVX2 and at angles where
    // sixteen pixels span less than a row; false, and nothing written, where the source row steps
    // more than once or a column is read twice.
    static constexpr int kWideChunk = 16;

    void SetUpWideLanes(std::int64_t stepX, std::int64_t stepY)
    {
        m_avx2 = __builtin_cpu_supports("avx2") && std::abs(stepY) * (kWideChunk - 1) < kFixOne;
        for (int group = 0; group < B; ++group)
            for (int k = 0; k < 16; ++k) {
                const int pixel = (group * 16 + k) / B;
                m_wideX[group][k] = std::uint16_t(pixel * stepX);
                m_wideY[group][k] = std::uint16_t(pixel * stepY);
            }
    }

    PD_AVX2 static __m256i Across16(const unsigned char* row, __m256i wx7)
    {
        const __m256i left = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
        const __m256i right = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + B)));
        return _mm256_add_epi16(
            _mm256_slli_epi16(left, 6), _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(right, left), 7), wx7));
    }

    PD_AVX2 bool BlendWideChunk(
        unsigned char* out, std::int64_t sx, std::int64_t sy, std::int64_t stepX, std::int64_t stepY) const
    {
        Strips strips;
        if (!FindStrips(kWideChunk, sx, sy, stepX, stepY, &strips))
            return false;
        const auto [row0, row1, row2, crossing] = strips;
        const __m256i fracX = _mm256_set1_epi16(static_cast<short>(sx & 0xFFFF));
        const __m256i fracY = _mm256_set1_epi16(static_cast<short>(sy & 0xFFFF));
        const __m256i weightBits = _mm256_set1_epi16(255 << 7);
        const __m256i sign = _mm256_set1_epi16(static_cast<short>(0x8000));
        for (int group = 0; group < B; ++group) {
            const __m256i posX
                = _mm256_add_epi16(fracX, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m_wideX[group])));
            const __m256i posY
                = _mm256_add_epi16(fracY, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m_wideY[group])));
            const __m256i wx7 = _mm256_and_si256(_mm256_srli_epi16(posX, 1), weightBits);
            const __m256i wy7 = _mm256_and_si256(_mm256_srli_epi16(posY, 1), weightBits);
            const int at = group * 16;
            __m256i upper = Across16(row0 + at, wx7);
            __m256i lower = Across16(row1 + at, wx7);
            if (crossing) {
                const __m256i wrapped = _mm256_cmpgt_epi16(
                    _mm256_xor_si256(m_rising ? fracY : posY, sign), _mm256_xor_si256(m_rising ? posY : fracY, sign));
                const __m256i mask = m_rising ? wrapped : _mm256_andnot_si256(wrapped, _mm256_set1_epi16(-1));
                upper = _mm256_blendv_epi8(upper, lower, mask);
                lower = _mm256_blendv_epi8(lower, Across16(row2 + at, wx7), mask);
            }
            const __m256i down = _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(lower, upper), 1), wy7);
            const __m256i level
                = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(upper, down), _mm256_set1_epi16(32)), 6);
            // packus works within each 128-bit half; the two packed quarters are then joined.
            const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(level, level), 0x08);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm256_castsi256_si128(packed));
        }
        return true;
    }

    std::uint16_t m_wideX[B][16];
    std::uint16_t m_wideY[B][16];
    bool m_avx2 = false;
#endif

    // Near the border and outside: neighbours off the page count as white.
    void Edge(unsigned char* out, std::int64_t sx, std::int64_t sy) const
    {
        const auto x0 = sx >> kFixBits;
        const auto y0 = sy >> kFixBits;
        if (x0 < -1 || x0 >= m_width || y0 < -1 || y0 >= m_height) {
            std::memset(out, 255, B);
            return;
        }
        const int wx = int(sx >> (kFixBits - 8)) & 255;
        const int wy = int(sy >> (kFixBits - 8)) & 255;
        const auto at = [&](std::int64_t x, std::int64_t y, int c) -> int {
            if (x < 0 || x >= m_width || y < 0 || y >= m_height)
                return 255;
            return m_rows[y][x * B + c];
        };
        for (int c = 0; c < B; ++c)
            out[c] = Blend(at(x0, y0, c), at(x0 + 1, y0, c), at(x0, y0 + 1, c), at(x0 + 1, y0 + 1, c), wx, wy);
    }

    const unsigned char* const* m_rows;
    const WhiteMap& m_white;
    int m_width;
    int m_height;
};

// Turns the page in place, top row first. A turned row reads source rows a little above and below
// its own, so before a row is overwritten its original goes into a ring of the last rows, deep
// enough for every row still to come; a quarter turn or more keeps every row.
template <int B> void RotateRows(const PageRaster& page, double cosine, double sine)
{
    const int width = page.width;
    const int height = page.height;
    const std::size_t rowBytes = std::size_t(width) * B;
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    int depth = height;
    if (cosine > 0) {
        const double reach = cy * (1 - cosine) + cx * std::abs(sine);
        if (reach + 3 < height)
            depth = int(std::ceil(reach)) + 3;
    }
    thread_local TurnScratch scratch;
    // The ring, and after it one white row that stands in for every row of blank paper.
    std::vector<unsigned char>& ring = scratch.ring;
    ring.resize(std::size_t(depth + 1) * rowBytes);
    unsigned char* const whiteRow = ring.data() + std::size_t(depth) * rowBytes;
    std::memset(whiteRow, 255, rowBytes);
    std::vector<const unsigned char*>& source = scratch.rows;
    source.resize(std::size_t(height));
    const auto original = [&page](int y) { return page.rows + std::size_t(y) * page.stride; };
    for (int y = 0; y < height; ++y)
        source[std::size_t(y)] = original(y);
    // Row y reads rows up to y + depth - 1; each row is mapped before any row reads it.
    WhiteMap white(scratch.whiteCounts, width, height);
    for (int y = 0; y < std::min(height, depth); ++y)
        white.Map<B>(y, original(y));
    const auto stepX = std::int64_t(std::llround(cosine * double(kFixOne)));
    const auto stepY = std::int64_t(std::llround(sine * double(kFixOne)));
    const RowRenderer<B> renderer(source.data(), white, width, height, stepX, stepY);
    for (int y = 0; y < height; ++y) {
        if (y + depth < height) {
            // The row mapped next is asked for now, so that it has arrived by then.
            if (y + depth + 1 < height)
                Prefetch(original(y + depth + 1), rowBytes);
            white.Map<B>(y + depth, original(y + depth));
        }
        unsigned char* row = original(y);
        if (white.RowWhite(y)) {
            source[std::size_t(y)] = whiteRow;
        } else {
            unsigned char* keep = ring.data() + std::size_t(y % depth) * rowBytes;
            std::memcpy(keep, row, rowBytes);
            source[std::size_t(y)] = keep;
        }
        // Source of (x, y): the centre plus (x - cx, y - cy) turned by the skew angle.
        const double sx = cx - cx * cosine - (y - cy) * sine;
        const double sy = cy - cx * sine + (y - cy) * cosine;
        renderer.Render(row, y, std::llround(sx * double(kFixOne)), std::llround(sy * double(kFixOne)), stepX, stepY);
    }
    GiveBackIfLarge(ring);
    GiveBackIfLarge(scratch.whiteCounts);
}

} // namespace

void TurnPage(const PageRaster& page, double cosine, double sine)
{
    if (page.bytesPerPixel == 1)
        RotateRows<1>(page, cosine, sine);
    else
        RotateRows<3>(page, cosine, sine);
}

} // namespace pd::platform::imaging
