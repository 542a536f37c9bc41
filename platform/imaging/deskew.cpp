#include "platform/imaging/deskew.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/imaging/pageturn.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pd::platform::imaging {
namespace {

// Ink, not paper: the blank-page measure counts anything below 200 as dark, which takes in the
// grey of shadows, show-through and the soft fringes of strokes. Those smear the profile; at half
// the scale only the strokes themselves remain.
constexpr int kInkLimit = 128;

// The estimate works on cells of f x f pixels, f chosen so the long side has at most this many
// cells (about 100 dpi on a 300 dpi A4 page): enough to place a text line, a fraction of the work.
constexpr int kCellsOnLongSide = 1200;

// Fewer cells with ink than this and the page shows too little to tell.
constexpr std::size_t kMinInkCells = 200;

// The best angle's profile must stand out this much over the average of all angles tried;
// scattered specks or a photograph score about the same at every angle.
constexpr double kMinContrast = 1.2;

constexpr double kCoarseStep = 0.5;
// Cells joined for the coarse search; the fine search scores pairs, as wider joins blur it until
// small skews of text go unseen.
constexpr int kCoarseSpan = 16;
constexpr double kFineStep = 0.05;
constexpr double kFineReach = 0.3; // around the coarse best, refined by its parabola
constexpr double kMaxSearchDegrees = 45.0;

constexpr int kFixBits = 16; // fraction bits of slopes and bin positions
constexpr std::int64_t kFixOne = std::int64_t(1) << kFixBits;

double Radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

int Intensity(const unsigned char* pixel, int bytesPerPixel)
{
    if (bytesPerPixel == 1)
        return pixel[0];
    return (61 * pixel[2] + 174 * pixel[1] + 21 * pixel[0]) >> 8;
}

// A cell of the reduced page with some ink in it. y: the row of its ink's centroid, in cells with
// 8 fraction bits; whole cell rows alone would make a gently sloping line a staircase that scores
// best at 0 degrees. weight: its inked pixels.
struct InkCell {
    std::int16_t x;
    std::int16_t weight;
    std::int32_t y;
};
constexpr int kCellFractionBits = 8;

// Pixels tested together for ink: as many as give a 64-bit mask of their bytes.
template <int B> constexpr int kBlockPixels = B == 1 ? 64 : 16;

// Bit i set when byte i of the `bytes` at p is below kInkLimit. A pixel with no such byte is no
// ink, as the intensity is a weighted mean of the bytes; on grey pages the bit is the answer.
template <int B> std::uint64_t DarkBytes(const unsigned char* p, int bytes)
{
#if defined(__SSE2__)
    constexpr int kVectors = kBlockPixels<B> * B / 16;
    if (bytes == kVectors * 16) {
        const __m128i limit = _mm_set1_epi8(static_cast<char>(kInkLimit));
        const auto light = [&limit](__m128i v) { return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, limit), v)); };
        __m128i v[kVectors];
        __m128i least = _mm_set1_epi8(-1);
        for (int i = 0; i < kVectors; ++i) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            least = _mm_min_epu8(least, v[i]);
        }
        // Mostly paper: one test for the whole block.
        if (light(least) == 0xFFFF)
            return 0;
        std::uint64_t dark = 0;
        for (int i = 0; i < kVectors; ++i)
            dark |= std::uint64_t(~light(v[i]) & 0xFFFF) << (16 * i);
        return dark;
    }
#endif
    std::uint64_t dark = 0;
    for (int i = 0; i < bytes; ++i)
        dark |= std::uint64_t(p[i] < kInkLimit) << i;
    return dark;
}

struct InkSample {
    std::vector<InkCell> cells;
    std::size_t inkCells = 0; // cells with ink before any were joined
    int columns = 0;
    int rows = 0;
};

template <int B> void SampleInk(const PageRaster& page, InkSample& sample)
{
    const int side = std::max(page.width, page.height);
    const int factor = std::max(1, (side + kCellsOnLongSide - 1) / kCellsOnLongSide);
    sample.cells.clear();
    sample.inkCells = 0;
    sample.columns = (page.width + factor - 1) / factor;
    sample.rows = (page.height + factor - 1) / factor;
    // Per cell of the current cell row: inked pixels, and the sum of their rows within the cell.
    std::vector<std::int32_t> counts(std::size_t(sample.columns), 0);
    std::vector<std::int32_t> rowSums(std::size_t(sample.columns), 0);
    std::vector<std::uint64_t> inked((std::size_t(sample.columns) + 63) / 64, 0); // a bit per cell
    // One column per cell: rules and text lines run along the rows and so lose nothing, and
    // upright strokes are wider than a cell.
    const int firstColumn = std::min(factor / 2, page.width - 1);
    const int lastCell = (page.width - 1 - factor / 2) / factor;
    // Per block of kBlock pixels, the bits of DarkBytes that stand for its sampled columns.
    constexpr int kBlock = kBlockPixels<B>;
    const int blocks = (page.width + kBlock - 1) / kBlock;
    std::vector<std::uint64_t> sampledBits(std::size_t(blocks), 0);
    std::vector<std::int32_t> cellOf(std::size_t(page.width), 0); // of a sampled column
    for (int cell = 0; cell <= lastCell; ++cell) {
        const int x = firstColumn + cell * factor;
        sampledBits[std::size_t(x / kBlock)] |= std::uint64_t(1) << (x % kBlock * B);
        cellOf[std::size_t(x)] = cell;
    }
    for (int cellY = 0; cellY < sample.rows; ++cellY) {
        const int top = cellY * factor;
        const int bottom = std::min(page.height, top + factor);
        for (int y = top; y < bottom; ++y) {
            const unsigned char* row = page.rows + std::size_t(y) * page.stride;
            // Most of a page is paper: blocks of it are passed over without looking at their cells.
            for (int block = 0; block < blocks; ++block) {
                const int x0 = block * kBlock;
                const std::uint64_t dark
                    = DarkBytes<B>(row + std::size_t(x0) * B, std::min(kBlock, page.width - x0) * B);
                // A pixel is a candidate when any of its bytes is dark; only sampled candidates
                // are looked at.
                std::uint64_t hits = (B == 1 ? dark : dark | dark >> 1 | dark >> 2) & sampledBits[std::size_t(block)];
                for (; hits != 0; hits &= hits - 1) {
                    const int x = x0 + std::countr_zero(hits) / B;
                    if (B == 3 && Intensity(row + std::size_t(x) * B, B) >= kInkLimit)
                        continue;
                    const int cellX = cellOf[std::size_t(x)];
                    counts[std::size_t(cellX)] += 1;
                    rowSums[std::size_t(cellX)] += y - top;
                    inked[std::size_t(cellX) / 64] |= std::uint64_t(1) << (cellX % 64);
                }
            }
        }
        // Only the cells with ink are visited, in order along the row, and joined in pairs as the
        // fine search scores them (see Joined).
        const std::size_t rowStart = sample.cells.size();
        for (std::size_t word = 0; word < inked.size(); ++word) {
            for (std::uint64_t bits = inked[word]; bits != 0; bits &= bits - 1) {
                const std::size_t cellX = word * 64 + std::size_t(std::countr_zero(bits));
                const std::int64_t count = counts[cellX];
                // (centroid + 0.5) / factor cells below the cell's top. Exact integers in a double
                // divide faster than in a 64-bit register, to the same whole quotient.
                const auto within = std::int32_t(
                    double((2 * rowSums[cellX] + count) << (kCellFractionBits - 1)) / double(count * factor));
                const std::int32_t y = (cellY << kCellFractionBits) + within;
                const auto pairX = std::int16_t(cellX & ~std::size_t(1));
                ++sample.inkCells;
                InkCell* last = sample.cells.size() > rowStart ? &sample.cells.back() : nullptr;
                if (last && last->x == pairX) {
                    const std::int32_t weight = last->weight + std::int32_t(count);
                    last->y = std::int32_t(double(std::int64_t(last->y) * last->weight + y * count) / weight);
                    last->weight = std::int16_t(weight);
                } else {
                    sample.cells.push_back({ pairX, std::int16_t(count), y });
                }
                counts[cellX] = 0;
                rowSums[cellX] = 0;
            }
            inked[word] = 0;
        }
    }
}

// The sample with each run of `span` neighbouring cells in a row (span a power of 2) joined into
// one at the run's first column: the search scores it at less work per angle and finds the same
// angle. The joined cell keeps the centroid of its ink, so a straight line's cells still fall into
// one bin at the line's angle; what is lost is the sharpness away from it.
void Joined(const InkSample& sample, int span, InkSample& joined)
{
    joined.cells.clear();
    joined.columns = sample.columns;
    joined.rows = sample.rows;
    const int mask = ~(span - 1);
    int x = 0;
    int cellRow = -1;
    std::int32_t weight = 0;
    std::int64_t weightedY = 0;
    const auto close = [&] {
        if (weight != 0)
            joined.cells.push_back({ std::int16_t(x), std::int16_t(weight), std::int32_t(double(weightedY) / weight) });
    };
    for (const InkCell& cell : sample.cells) {
        if (cell.y >> kCellFractionBits != cellRow || (cell.x & mask) != x) {
            close();
            x = cell.x & mask;
            cellRow = cell.y >> kCellFractionBits;
            weight = 0;
            weightedY = 0;
        }
        weight += cell.weight;
        weightedY += std::int64_t(cell.y) * cell.weight;
    }
    close();
}

// Memory kept from page to page on the calling thread (see kKeptBytes). A scan straightens page
// after page of the same size, and taking fresh memory for each costs more than the work: every
// new page of memory is a fault and gets cleared by the system on first touch.
struct Scratch {
    InkSample sample;
    InkSample joined;
};

Scratch& ThreadScratch()
{
    thread_local Scratch scratch;
    return scratch;
}

// Scores candidate angles by how sharply the ink gathers into rows when the page is read along
// lines of that angle: the sum of squared counts of the projection, highest when text lines and
// rules fall each into as few bins as possible. Bins are one cell high: finer bins would reward
// 0 degrees, where the pixel grid itself lines everything up, and blind it to small skews.
class ProfileScorer {
public:
    ProfileScorer(const InkSample& sample, double maxDegrees)
        : m_sample(sample)
    {
        m_margin = int(std::ceil(sample.columns * std::tan(Radians(maxDegrees)))) + 2;
        m_bins.resize(std::size_t(sample.rows + 2 * m_margin + 1));
    }

    double Score(double degrees)
    {
        std::fill(m_bins.begin(), m_bins.end(), 0);
        // The bin of a cell is the row where a line of this angle through it meets x = 0.
        const auto slope = std::int64_t(std::llround(std::tan(Radians(degrees)) * double(kFixOne)));
        const std::int64_t offset = (std::int64_t(m_margin) << kFixBits) + kFixOne / 2;
        for (const InkCell& cell : m_sample.cells) {
            const std::int64_t at = (std::int64_t(cell.y) << (kFixBits - kCellFractionBits)) - cell.x * slope + offset;
            m_bins[std::size_t(at >> kFixBits)] += cell.weight;
        }
        double sum = 0;
        for (const std::int64_t count : m_bins)
            sum += double(count * count);
        return sum;
    }

private:
    const InkSample& m_sample;
    int m_margin = 0;
    std::vector<std::int64_t> m_bins;
};

struct Candidate {
    double degrees;
    double score;
};

// The grid angle at index `best` of lo, lo + step, ..., moved between its neighbours to the vertex
// of the parabola through their three scores.
double Refined(const std::vector<double>& scores, int best, double lo, double hi, double step)
{
    double degrees = std::min(hi, lo + best * step);
    if (best > 0 && std::size_t(best) + 1 < scores.size()) {
        const double left = scores[std::size_t(best - 1)];
        const double right = scores[std::size_t(best + 1)];
        const double curve = left - 2 * scores[std::size_t(best)] + right;
        if (curve < 0)
            degrees += 0.5 * (left - right) / curve * step;
    }
    return degrees;
}

int GridCount(double lo, double hi, double step)
{
    return int(std::floor((hi - lo) / step + 1e-9)) + 1;
}

// The best of the angles lo, lo + step, ..., hi (hi included), refined by its parabola; *mean gets
// the average score.
Candidate BestAngle(ProfileScorer& scorer, double lo, double hi, double step, double* mean)
{
    std::vector<double> scores(std::size_t(GridCount(lo, hi, step)));
    int best = 0;
    double sum = 0;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        scores[i] = scorer.Score(std::min(hi, lo + double(i) * step));
        sum += scores[i];
        if (scores[i] > scores[std::size_t(best)])
            best = int(i);
    }
    *mean = sum / double(scores.size());
    return { Refined(scores, best, lo, hi, step), scores[std::size_t(best)] };
}

// The peak of the angles lo, lo + step, ..., hi found by climbing from the one nearest `start`:
// near a good first guess the profile rises to one peak, and a few angles find it where trying
// them all takes several times the work. Refined by its parabola.
double ClimbedAngle(ProfileScorer& scorer, double lo, double hi, double step, double start)
{
    std::vector<double> scores(std::size_t(GridCount(lo, hi, step)), -1);
    const int last = int(scores.size()) - 1;
    const auto score = [&](int i) {
        if (scores[std::size_t(i)] < 0)
            scores[std::size_t(i)] = scorer.Score(std::min(hi, lo + i * step));
        return scores[std::size_t(i)];
    };
    int best = std::clamp(int(std::lround((start - lo) / step)), 0, last);
    for (;;) {
        const double here = score(best);
        const double left = best > 0 ? score(best - 1) : -1;
        const double right = best < last ? score(best + 1) : -1;
        if (left > here && left >= right)
            --best;
        else if (right > here)
            ++best;
        else
            break;
    }
    return Refined(scores, best, lo, hi, step);
}

// The skew within +-maxDegrees: the best of a coarse search over the whole range, refined by a fine
// search around it; 0 when there is too little ink or no angle stands out.
double SkewOfInk(const PageRaster& page, double maxDegrees, Scratch& scratch)
{
    if (page.bytesPerPixel == 1)
        SampleInk<1>(page, scratch.sample);
    else
        SampleInk<3>(page, scratch.sample);
    if (scratch.sample.inkCells < kMinInkCells)
        return 0;
    double mean = 0;
    Joined(scratch.sample, kCoarseSpan, scratch.joined);
    ProfileScorer coarseScorer(scratch.joined, maxDegrees);
    const Candidate coarse = BestAngle(coarseScorer, -maxDegrees, maxDegrees, kCoarseStep, &mean);
    if (!(coarse.score >= kMinContrast * mean))
        return 0;
    ProfileScorer fineScorer(scratch.sample, maxDegrees);
    const double lo = std::max(-maxDegrees, coarse.degrees - kFineReach);
    const double hi = std::min(maxDegrees, coarse.degrees + kFineReach);
    return std::clamp(ClimbedAngle(fineScorer, lo, hi, kFineStep, coarse.degrees), -maxDegrees, maxDegrees);
}

} // namespace

bool IsUsable(const PageRaster& page)
{
    return page.rows && page.width > 0 && page.height > 0 && (page.bytesPerPixel == 1 || page.bytesPerPixel == 3)
        && page.stride >= std::size_t(page.width) * std::size_t(page.bytesPerPixel);
}

double EstimateSkew(const PageRaster& page, double maxDegrees)
{
    if (!IsUsable(page) || !(maxDegrees > 0))
        return 0;
    Scratch& scratch = ThreadScratch();
    const double skew = SkewOfInk(page, std::min(maxDegrees, kMaxSearchDegrees), scratch);
    GiveBackIfLarge(scratch.sample.cells);
    GiveBackIfLarge(scratch.joined.cells);
    return skew;
}

void RotatePage(const PageRaster& page, double degrees)
{
    if (!IsUsable(page) || !std::isfinite(degrees) || std::remainder(degrees, 360.0) == 0)
        return;
    TurnPage(page, std::cos(Radians(degrees)), std::sin(Radians(degrees)));
}

double DeskewPage(const PageRaster& page, double maxDegrees)
{
    const double skew = EstimateSkew(page, maxDegrees);
    if (std::abs(skew) < kMinDeskewDegrees)
        return 0;
    RotatePage(page, skew);
    return skew;
}

} // namespace pd::platform::imaging
