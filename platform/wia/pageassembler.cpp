#include "platform/wia/pageassembler.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <QtEndian>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/largebuffer.h"

namespace pd::platform::wia {

namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr qsizetype kInfoHeaderSize = 40;
constexpr qsizetype kGreyPaletteSize = 256 * 4;

[[noreturn]] void Fail(const std::string& reason)
{
    throw std::runtime_error("Scanned page: " + reason);
}

// One sample of a line as an 8-bit value: 16-bit samples keep their high byte, a set bit of a
// 1-bit sample is full intensity.
template <int Depth> inline unsigned char Sample(const unsigned char* line, qsizetype i)
{
    if constexpr (Depth == 8) {
        return line[i];
    } else if constexpr (Depth == 16) {
        std::uint16_t value;
        std::memcpy(&value, line + 2 * i, sizeof value); // host byte order
        return static_cast<unsigned char>(value >> 8);
    } else {
        return ((line[i >> 3] >> (7 - (i & 7))) & 1) ? 255 : 0;
    }
}

// Writes one scanner line into one BMP row: grey rows are one byte a pixel, colour rows blue,
// green, red. The row's padding is written by the caller.
using LineWriter = void (*)(const unsigned char* line, unsigned char* row, int width);

template <int Depth> void GreyLine(const unsigned char* line, unsigned char* row, int width)
{
    if constexpr (Depth == 8) {
        std::memcpy(row, line, std::size_t(width));
    } else {
        for (int x = 0; x < width; ++x) {
            const unsigned char value = Sample<Depth>(line, x);
            // In line art a set bit is black, unlike in any other kind of frame.
            row[x] = Depth == 1 ? static_cast<unsigned char>(255 - value) : value;
        }
    }
}

template <int Depth> void RgbLine(const unsigned char* line, unsigned char* row, int width)
{
    for (qsizetype x = 0; x < width; ++x) {
        row[3 * x] = Sample<Depth>(line, 3 * x + 2);
        row[3 * x + 1] = Sample<Depth>(line, 3 * x + 1);
        row[3 * x + 2] = Sample<Depth>(line, 3 * x);
    }
}

#if defined(__x86_64__)
// The common case, 8-bit colour, five pixels at a step: red and blue change places. Each step
// also writes the first byte of the pixel after its five, which the next step or the tail writes
// again; a line ends with at least one pixel for the tail, so nothing is written past the row.
__attribute__((target("ssse3"))) void RgbLine8Ssse3(const unsigned char* line, unsigned char* row, int width)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    qsizetype x = 0;
    for (; x + 6 <= width; x += 5) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + 3 * x), _mm_shuffle_epi8(pixels, order));
    }
    for (; x < width; ++x) {
        row[3 * x] = line[3 * x + 2];
        row[3 * x + 1] = line[3 * x + 1];
        row[3 * x + 2] = line[3 * x];
    }
}
#endif

// One colour of a three-pass page; Offset is the colour's byte in a blue, green, red pixel.
template <int Depth, int Offset> void ChannelLine(const unsigned char* line, unsigned char* row, int width)
{
    for (qsizetype x = 0; x < width; ++x)
        row[3 * x + Offset] = Sample<Depth>(line, x);
}

template <int Depth> LineWriter WriterOfDepth(FrameFormat format)
{
    switch (format) {
    case FrameFormat::Gray:
        return &GreyLine<Depth>;
    case FrameFormat::Rgb:
#if defined(__x86_64__)
        if (Depth == 8 && __builtin_cpu_supports("ssse3"))
            return &RgbLine8Ssse3;
#endif
        return &RgbLine<Depth>;
    case FrameFormat::Red:
        return &ChannelLine<Depth, 2>;
    case FrameFormat::Green:
        return &ChannelLine<Depth, 1>;
    case FrameFormat::Blue:
        return &ChannelLine<Depth, 0>;
    }
    Fail("unknown frame format");
}

LineWriter WriterOf(FrameFormat format, int depth)
{
    switch (depth) {
    case 1:
        return WriterOfDepth<1>(format);
    case 8:
        return WriterOfDepth<8>(format);
    case 16:
        return WriterOfDepth<16>(format);
    default:
        Fail("unsupported sample depth " + std::to_string(depth));
    }
}

int ChannelBit(FrameFormat format)
{
    switch (format) {
    case FrameFormat::Red:
        return 1;
    case FrameFormat::Green:
        return 2;
    case FrameFormat::Blue:
        return 4;
    case FrameFormat::Gray:
    case FrameFormat::Rgb:
        return 0;
    }
    return 0;
}

constexpr int kAllChannels = 1 | 2 | 4;

// Runs one step of the page; a page that failed is dropped whole, so nothing of it can be taken
// and the assembler is ready for the next page.
template <typename Assembly, typename Step> void Guarded(Assembly& assembly, Step step)
{
    try {
        step(assembly);
    } catch (...) {
        assembly.Reset();
        throw;
    }
}

} // namespace

struct PageAssembler::Impl {
    int pelsPerMeter = 0;

    // The page: its BMP file grows in place, headers first and written last.
    QByteArray bmp;
    QByteArray spare; // an earlier page's file, taken over when nobody holds it
    bool pageStarted = false;
    bool complete = false;
    bool colour = false;
    int width = 0;
    int depth = 8;
    int lines = 0; // as the first frame announced; -1: not known in advance, the first frame's data decides
    int rows = 0; // rows held; for an unknown height they lie top-down until the page is complete
    qsizetype pixelOffset = 0;
    qsizetype stride = 0;
    int channelsSeen = 0;
    int framesWithData = 0;
    int framesWithout = 0;

    // The frame being read.
    bool inFrame = false;
    FrameParameters frame;
    LineWriter writer = nullptr;
    qsizetype lineBytes = 0; // bytes of a scanner line that hold pixels
    int frameRow = 0;
    qint64 frameBytes = 0;
    std::vector<unsigned char> carry; // the start of a line split across calls
    qsizetype carried = 0;

    // Back to an empty assembler, the resolution kept.
    void Reset()
    {
        const int ppm = pelsPerMeter;
        *this = Impl();
        pelsPerMeter = ppm;
    }
    void StartPage(const FrameParameters& p);
    void Take(const unsigned char* p, qsizetype size);
    void EndFrame();
    void CheckFrame(const FrameParameters& p) const;
    unsigned char* RowFor(int row);
    void TakeLine(const unsigned char* line);
    void FinishPage();
    void WriteHeaders();
};

void PageAssembler::Impl::CheckFrame(const FrameParameters& p) const
{
    if (inFrame)
        Fail("a frame began before the previous one ended");
    if (complete)
        Fail("a frame came after the last frame of the page");
    if (p.depth != 1 && p.depth != 8 && p.depth != 16)
        Fail("unsupported sample depth " + std::to_string(p.depth));
    if (p.pixelsPerLine <= 0 || p.lines < -1)
        Fail("impossible frame size");
    const int samples = p.format == FrameFormat::Rgb ? 3 : 1;
    const qint64 needed = (qint64(p.pixelsPerLine) * samples * p.depth + 7) / 8;
    if (p.bytesPerLine < needed)
        Fail("a line has fewer bytes than its pixels need");
    const int channel = ChannelBit(p.format);
    if (channel == 0 && (pageStarted || !p.lastFrame))
        Fail("a grey or colour frame is not the only frame of its page");
    if (channel != 0 && pageStarted) {
        if (!colour || channelsSeen == 0 || (channelsSeen & channel) != 0)
            Fail("a colour frame came twice or after a frame of another kind");
        if (p.pixelsPerLine != width || p.depth != depth || (p.lines != lines && lines != -1 && p.lines != -1))
            Fail("the colour frames of a page differ in size or depth");
    }
}

void PageAssembler::Impl::StartPage(const FrameParameters& p)
{
    colour = p.format != FrameFormat::Gray;
    width = p.pixelsPerLine;
    depth = p.depth;
    lines = p.lines;
    pixelOffset = kFileHeaderSize + kInfoHeaderSize + (colour ? 0 : kGreyPaletteSize);
    stride = (qint64(width) * (colour ? 24 : 8) + 31) / 32 * 4;
    const qint64 knownRows = lines > 0 ? lines : 0;
    if (stride > std::numeric_limits<std::uint32_t>::max() - pixelOffset
        || knownRows > (std::numeric_limits<std::uint32_t>::max() - pixelOffset) / stride)
        Fail("too large for a BMP file");
    // A page of known height is laid out in its final place at once; every byte gets written, so
    // the memory need not be cleared first.
    const qsizetype size = pixelOffset + knownRows * stride;
    // A spare still shared with a reader of that page would only be copied on the first write.
    if (spare.isDetached() && spare.capacity() >= size)
        bmp = std::move(spare);
    else
        bmp = QByteArray();
    spare = QByteArray();
    platform::ReserveLargeBuffer(bmp, size);
    bmp.resize(size);
    rows = int(knownRows);
    pageStarted = true;
}

unsigned char* PageAssembler::Impl::RowFor(int row)
{
    if (lines >= 0) {
        if (row >= lines)
            Fail("the scanner sent more lines than it announced");
        return reinterpret_cast<unsigned char*>(bmp.data()) + pixelOffset + qsizetype(lines - 1 - row) * stride;
    }
    if (framesWithData > 0) { // a later colour of a hand-scanner page fills the rows the first one made
        if (row >= rows)
            Fail("the colour frames of a page differ in height");
    } else {
        const qsizetype end = pixelOffset + qsizetype(row + 1) * stride;
        if (end > qsizetype(std::numeric_limits<std::uint32_t>::max()))
            Fail("too large for a BMP file");
        if (bmp.capacity() < end)
            platform::ReserveLargeBuffer(bmp, std::max(end, bmp.capacity() + bmp.capacity() / 2));
        bmp.resize(end);
        rows = row + 1;
    }
    return reinterpret_cast<unsigned char*>(bmp.data()) + pixelOffset + qsizetype(row) * stride;
}

void PageAssembler::Impl::TakeLine(const unsigned char* line)
{
    unsigned char* row = RowFor(frameRow);
    writer(line, row, width);
    const qsizetype used = qsizetype(width) * (colour ? 3 : 1);
    std::memset(row + used, 0, std::size_t(stride - used));
    ++frameRow;
}

void PageAssembler::Impl::WriteHeaders()
{
    auto* h = reinterpret_cast<unsigned char*>(bmp.data());
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian<quint32>(quint32(bmp.size()), h + 2);
    qToLittleEndian<quint32>(0, h + 6);
    qToLittleEndian<quint32>(quint32(pixelOffset), h + 10);
    unsigned char* info = h + kFileHeaderSize;
    qToLittleEndian<quint32>(quint32(kInfoHeaderSize), info);
    qToLittleEndian<qint32>(width, info + 4);
    qToLittleEndian<qint32>(rows, info + 8); // positive: bottom-up
    qToLittleEndian<quint16>(1, info + 12);
    qToLittleEndian<quint16>(colour ? 24 : 8, info + 14);
    qToLittleEndian<quint32>(0, info + 16); // uncompressed
    qToLittleEndian<quint32>(quint32(stride * rows), info + 20);
    qToLittleEndian<qint32>(pelsPerMeter, info + 24);
    qToLittleEndian<qint32>(pelsPerMeter, info + 28);
    qToLittleEndian<quint32>(colour ? 0 : 256, info + 32);
    qToLittleEndian<quint32>(0, info + 36);
    if (!colour) {
        unsigned char* entry = info + kInfoHeaderSize;
        for (int i = 0; i < 256; ++i, entry += 4) {
            entry[0] = entry[1] = entry[2] = static_cast<unsigned char>(i);
            entry[3] = 0;
        }
    }
}

void PageAssembler::Impl::FinishPage()
{
    complete = true;
    if (framesWithData > 0 && framesWithout > 0)
        Fail("some colour frames of the page came without data");
    if (colour && channelsSeen != 0 && channelsSeen != kAllChannels)
        Fail("a colour is missing from a three-pass page");
    if (framesWithData == 0 || rows == 0) { // the scanner ended the page before any line
        bmp = QByteArray();
        return;
    }
    if (lines < 0) {
        // The rows of a page whose height was not known came top-down; the file wants them bottom-up.
        std::vector<unsigned char> spare(static_cast<std::size_t>(stride));
        auto* first = reinterpret_cast<unsigned char*>(bmp.data()) + pixelOffset;
        for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
            unsigned char* a = first + qsizetype(top) * stride;
            unsigned char* b = first + qsizetype(bottom) * stride;
            std::memcpy(spare.data(), a, std::size_t(stride));
            std::memcpy(a, b, std::size_t(stride));
            std::memcpy(b, spare.data(), std::size_t(stride));
        }
    }
    WriteHeaders();
}

void PageAssembler::Impl::Take(const unsigned char* p, qsizetype size)
{
    frameBytes += size;
    if (carried > 0) {
        const qsizetype take = std::min(lineBytes - carried, size);
        std::memcpy(carry.data() + carried, p, std::size_t(take));
        carried += take;
        p += take;
        size -= take;
        if (carried < lineBytes)
            return;
        carried = 0;
        TakeLine(carry.data());
    }
    // Whole lines are converted straight from the caller's buffer.
    for (; size >= lineBytes; p += lineBytes, size -= lineBytes)
        TakeLine(p);
    if (size > 0) {
        std::memcpy(carry.data(), p, std::size_t(size));
        carried = size;
    }
}

void PageAssembler::Impl::EndFrame()
{
    inFrame = false;
    if (frameBytes == 0) {
        ++framesWithout;
    } else {
        // A hand scanner's last line may be cut short: it is dropped. Any other frame must be whole.
        const int expected = lines >= 0 ? lines : (framesWithData > 0 ? rows : frameRow);
        if (lines >= 0 && carried > 0 && frameRow == expected)
            Fail("the scanner sent more data than it announced");
        if (frameRow != expected || (lines >= 0 && carried > 0))
            Fail("the scanner sent " + std::to_string(frameRow) + " of " + std::to_string(expected) + " lines");
        ++framesWithData;
    }
    carry = {};
    carried = 0;
    if (frame.lastFrame)
        FinishPage();
}

PageAssembler::PageAssembler(int dotsPerInch)
    : m_impl(new Impl)
{
    // A resolution the scanner did not tell leaves the header's field 0, which readers take as
    // unknown.
    m_impl->pelsPerMeter = dotsPerInch > 0 ? qRound(dotsPerInch * 10000.0 / 254.0) : 0;
}

PageAssembler::~PageAssembler()
{
    delete m_impl;
}

void PageAssembler::ReuseMemory(QByteArray earlierPage)
{
    m_impl->spare = std::move(earlierPage);
}

void PageAssembler::BeginFrame(const FrameParameters& parameters)
{
    Guarded(*m_impl, [&](Impl& d) {
        d.CheckFrame(parameters);
        if (!d.pageStarted)
            d.StartPage(parameters);
        d.frame = parameters;
        d.writer = WriterOf(parameters.format, parameters.depth);
        d.lineBytes = parameters.bytesPerLine;
        d.carry.assign(std::size_t(d.lineBytes), 0);
        d.carried = 0;
        d.frameRow = 0;
        d.frameBytes = 0;
        d.channelsSeen |= ChannelBit(parameters.format);
        d.inFrame = true;
    });
}

void PageAssembler::AddData(const char* data, qsizetype size)
{
    Guarded(*m_impl, [&](Impl& d) {
        if (!d.inFrame)
            Fail("data came outside a frame");
        if (size > 0)
            d.Take(reinterpret_cast<const unsigned char*>(data), size);
    });
}

void PageAssembler::EndFrame()
{
    Guarded(*m_impl, [](Impl& d) {
        if (!d.inFrame)
            Fail("a frame ended that had not begun");
        d.EndFrame();
    });
}

bool PageAssembler::Complete() const
{
    return m_impl->complete;
}

QByteArray PageAssembler::TakeBmp()
{
    QByteArray bmp;
    Guarded(*m_impl, [&](Impl& d) {
        if (!d.complete)
            Fail("the page is not complete");
        bmp = std::move(d.bmp);
        d.Reset();
    });
    return bmp;
}

} // namespace pd::platform::wia
