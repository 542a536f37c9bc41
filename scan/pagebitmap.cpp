#include "scan/pagebitmap.h"

#include <bit>
#include <cstring>
#include <utility>

#include <QtEndian>

#include "platform/error.h"

namespace pd::scan {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr int kDefaultPelsPerMeter = 5906; // 150 dpi, for a header without a resolution

[[noreturn]] void Fail(const char* reason)
{
    throw platform::Error(QStringLiteral("The page image is not a readable BMP file: ") + QString::fromUtf8(reason));
}

// What the headers of a BMP file say about its pixels.
struct BmpLayout {
    int width = 0;
    int height = 0;
    bool bottomUp = true;
    int bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t masks[3] = { 0, 0, 0 };
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
    std::vector<std::uint32_t> palette;
    std::ptrdiff_t pixelOffset = 0;
};

void ReadMasks(BmpLayout& layout, const unsigned char* at)
{
    for (int i = 0; i < 3; ++i)
        layout.masks[i] = qFromLittleEndian<quint32>(at + 4 * i);
}

void DefaultMasks(BmpLayout& layout)
{
    if (layout.bitsPerPixel == 16) {
        layout.masks[0] = 0x7C00;
        layout.masks[1] = 0x03E0;
        layout.masks[2] = 0x001F;
    } else {
        layout.masks[0] = 0xFF0000;
        layout.masks[1] = 0x00FF00;
        layout.masks[2] = 0x0000FF;
    }
}

// The info header's fields; returns the offset just past the header and any masks behind it.
std::ptrdiff_t ReadInfoHeader(const unsigned char* bytes, std::ptrdiff_t size, BmpLayout& layout)
{
    const std::uint32_t headerSize = qFromLittleEndian<quint32>(bytes + kFileHeaderSize);
    const unsigned char* h = bytes + kFileHeaderSize;
    if (headerSize == 12) {
        if (size < kFileHeaderSize + 12)
            Fail("truncated header");
        layout.width = int(qFromLittleEndian<quint16>(h + 4));
        layout.height = int(qFromLittleEndian<quint16>(h + 6));
        if (qFromLittleEndian<quint16>(h + 8) != 1)
            Fail("plane count is not 1");
        layout.bitsPerPixel = int(qFromLittleEndian<quint16>(h + 10));
        return kFileHeaderSize + 12;
    }
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        Fail("unknown info header");
    if (size < kFileHeaderSize + std::ptrdiff_t(headerSize))
        Fail("truncated header");
    const auto height = qFromLittleEndian<qint32>(h + 8);
    layout.width = qFromLittleEndian<qint32>(h + 4);
    layout.bottomUp = height > 0;
    layout.height = height == INT32_MIN ? 0 : (height < 0 ? -height : height);
    if (qFromLittleEndian<quint16>(h + 12) != 1)
        Fail("plane count is not 1");
    layout.bitsPerPixel = int(qFromLittleEndian<quint16>(h + 14));
    layout.compression = qFromLittleEndian<quint32>(h + 16);
    layout.xPelsPerMeter = std::max(0, qFromLittleEndian<qint32>(h + 24));
    layout.yPelsPerMeter = std::max(0, qFromLittleEndian<qint32>(h + 28));
    std::ptrdiff_t end = kFileHeaderSize + headerSize;
    if (layout.compression == kBiBitfields) {
        if (headerSize == 40) {
            if (size < end + 12)
                Fail("truncated bit fields");
            ReadMasks(layout, bytes + end);
            end += 12;
        } else {
            ReadMasks(layout, h + 40);
        }
    }
    return end;
}

void CheckFormat(BmpLayout& layout)
{
    if (layout.width <= 0 || layout.height <= 0)
        Fail("no pixels");
    switch (layout.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (layout.compression != kBiRgb)
            Fail("compressed pixels");
        break;
    case 16:
    case 32:
        if (layout.compression == kBiRgb)
            DefaultMasks(layout);
        else if (layout.compression != kBiBitfields)
            Fail("compressed pixels");
        break;
    default:
        Fail("unsupported bit depth");
    }
}

std::ptrdiff_t ReadPalette(
    const unsigned char* bytes, std::ptrdiff_t size, std::ptrdiff_t at, bool core, BmpLayout& layout)
{
    if (layout.bitsPerPixel > 8)
        return at;
    const std::uint32_t maxColours = 1u << layout.bitsPerPixel;
    std::uint32_t colours = core ? maxColours : qFromLittleEndian<quint32>(bytes + kFileHeaderSize + 32);
    if (colours == 0)
        colours = maxColours;
    if (colours > maxColours)
        Fail("colour table too long");
    const int entry = core ? 3 : 4;
    if (size - at < std::ptrdiff_t(colours) * entry)
        Fail("truncated colour table");
    layout.palette.resize(colours);
    for (std::uint32_t i = 0; i < colours; ++i) {
        const unsigned char* p = bytes + at + i * entry;
        layout.palette[i] = (std::uint32_t(p[2]) << 16) | (p[1] << 8) | p[0];
    }
    return at + std::ptrdiff_t(colours) * entry;
}

} // namespace

PageBitmap::PageBitmap(int width, int height, int bitsPerPixel)
    : m_width(width)
    , m_height(height)
    , m_bitsPerPixel(bitsPerPixel)
{
    const std::ptrdiff_t stride = BmpStride(width, bitsPerPixel);
    m_data = QByteArray(stride * height, '\0');
    m_top = (height - 1) * stride;
    m_step = -stride;
}

void PageBitmap::SetPelsPerMeter(int x, int y)
{
    m_xPelsPerMeter = x;
    m_yPelsPerMeter = y;
}

void PageBitmap::SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
{
    m_masks[0] = red;
    m_masks[1] = green;
    m_masks[2] = blue;
}

unsigned char* PageBitmap::Row(int y)
{
    // The pixels may change: a note shared with copies, or one already taken, no longer holds.
    if (!m_note || m_note.use_count() > 1 || m_note->spans)
        m_note = std::make_shared<Note>();
    return reinterpret_cast<unsigned char*>(m_data.data()) + m_top + y * m_step;
}

PageBitmap PageBitmap::Part(int left, int top, int width, int height) const
{
    PageBitmap part = *this;
    part.m_note = std::make_shared<Note>();
    part.m_top = m_top + top * m_step + std::ptrdiff_t(left) * (m_bitsPerPixel / 8);
    part.m_width = width;
    part.m_height = height;
    return part;
}

PageBitmap PageBitmap::FromBmpPixels(QByteArray data, std::ptrdiff_t offset, std::ptrdiff_t stride, bool bottomUp,
    int width, int height, int bitsPerPixel)
{
    PageBitmap page;
    page.m_data = std::move(data);
    page.m_width = width;
    page.m_height = height;
    page.m_bitsPerPixel = bitsPerPixel;
    page.m_top = bottomUp ? offset + (height - 1) * stride : offset;
    page.m_step = bottomUp ? -stride : stride;
    return page;
}

std::ptrdiff_t PageBitmap::BmpStride(int width, int bitsPerPixel)
{
    return (std::ptrdiff_t(width) * bitsPerPixel + 31) / 32 * 4;
}

PageBitmap LoadBitmap(const QByteArray& bmpFile)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(bmpFile.constData());
    const std::ptrdiff_t size = bmpFile.size();
    if (size < kFileHeaderSize + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        Fail("no BMP file header");
    BmpLayout layout;
    const bool core = qFromLittleEndian<quint32>(bytes + kFileHeaderSize) == 12;
    std::ptrdiff_t end = ReadInfoHeader(bytes, size, layout);
    CheckFormat(layout);
    end = ReadPalette(bytes, size, end, core, layout);
    // Some writers leave the pixel offset 0; the pixels then follow the colour table.
    const std::ptrdiff_t pixelOffset = qFromLittleEndian<quint32>(bytes + 10);
    const std::ptrdiff_t offset = pixelOffset != 0 ? pixelOffset : end;
    const std::ptrdiff_t stride = PageBitmap::BmpStride(layout.width, layout.bitsPerPixel);
    if (offset < end || offset > size || (size - offset) / stride < layout.height)
        Fail("truncated pixel data");
    PageBitmap page = PageBitmap::FromBmpPixels(
        bmpFile, offset, stride, layout.bottomUp, layout.width, layout.height, layout.bitsPerPixel);
    page.SetPelsPerMeter(layout.xPelsPerMeter > 0 ? layout.xPelsPerMeter : kDefaultPelsPerMeter,
        layout.yPelsPerMeter > 0 ? layout.yPelsPerMeter : kDefaultPelsPerMeter);
    page.SetPalette(std::move(layout.palette));
    page.SetMasks(layout.masks[0], layout.masks[1], layout.masks[2]);
    return page;
}

namespace {

// Scales a masked channel to 0..255; an empty mask gives 0.
struct Channel {
    int shift = 0;
    std::uint32_t max = 0;
    explicit Channel(std::uint32_t mask)
    {
        if (mask == 0)
            return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    unsigned char Of(std::uint32_t pixel, std::uint32_t mask) const
    {
        return max == 0 ? 0 : static_cast<unsigned char>(((pixel & mask) >> shift) * 255u / max);
    }
};

void IndexedRowTo24(const PageBitmap& page, int y, unsigned char* out)
{
    const unsigned char* in = page.Row(y);
    const std::vector<std::uint32_t>& palette = page.Palette();
    const int bits = page.BitsPerPixel();
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < page.Width(); ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        const unsigned index = (in[x / perByte] >> shift) & mask;
        const std::uint32_t rgb = index < palette.size() ? palette[index] : 0;
        out[3 * x] = rgb & 0xFF;
        out[3 * x + 1] = (rgb >> 8) & 0xFF;
        out[3 * x + 2] = (rgb >> 16) & 0xFF;
    }
}

void MaskedRowTo24(const PageBitmap& page, int y, unsigned char* out)
{
    const unsigned char* in = page.Row(y);
    const std::uint32_t* masks = page.Masks();
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    const bool wide = page.BitsPerPixel() == 32;
    for (int x = 0; x < page.Width(); ++x) {
        const std::uint32_t pixel
            = wide ? qFromLittleEndian<quint32>(in + 4 * x) : qFromLittleEndian<quint16>(in + 2 * x);
        out[3 * x] = blue.Of(pixel, masks[2]);
        out[3 * x + 1] = green.Of(pixel, masks[1]);
        out[3 * x + 2] = red.Of(pixel, masks[0]);
    }
}

} // namespace

void ConvertTo24Bit(PageBitmap& page)
{
    if (page.BitsPerPixel() == 24)
        return;
    PageBitmap converted(page.Width(), page.Height(), 24);
    converted.SetPelsPerMeter(page.XPelsPerMeter(), page.YPelsPerMeter());
    const bool indexed = page.BitsPerPixel() <= 8;
    for (int y = 0; y < page.Height(); ++y) {
        if (indexed)
            IndexedRowTo24(page, y, converted.Row(y));
        else
            MaskedRowTo24(page, y, converted.Row(y));
    }
    page = std::move(converted);
}

} // namespace pd::scan
