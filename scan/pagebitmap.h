#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QByteArray>

namespace pd::scan {

// What a pass over a 24-bit page for dark pixels learnt about its rows at one limit: for each row
// the pixel range [first, second) outside which every byte is at or above the limit, so that no
// pixel there is dark by any measure of this program; an empty range marks a wholly light row.
struct LightRowSpans {
    int limit = 0;
    std::vector<std::pair<int, int>> rows;
};

// One page as the acquisition handles it: pixel rows in BMP layout (blue, green, red byte order for
// 24 bits) and the resolution its BMP header gave. Row 0 is the top row whatever the order in
// memory. Copies share the pixel memory until one of them writes.
class PageBitmap {
public:
    PageBitmap() = default;
    // A new bitmap of the given depth (1, 4, 8, 16, 24 or 32 bits), zero-filled, rows bottom-up
    // and padded to 4 bytes as in a BMP file.
    PageBitmap(int width, int height, int bitsPerPixel);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }
    bool IsEmpty() const { return m_width <= 0 || m_height <= 0; }

    // Resolution in pixels per metre, as the BMP header gave it.
    int XPelsPerMeter() const { return m_xPelsPerMeter; }
    int YPelsPerMeter() const { return m_yPelsPerMeter; }
    void SetPelsPerMeter(int x, int y);

    // Colour table of a depth up to 8 bits, as 0x00RRGGBB; an index beyond it is black.
    const std::vector<std::uint32_t>& Palette() const { return m_palette; }
    void SetPalette(std::vector<std::uint32_t> palette) { m_palette = std::move(palette); }

    // Red, green and blue masks of a 16- or 32-bit bitmap.
    const std::uint32_t* Masks() const { return m_masks; }
    void SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue);

    // First byte of row y (0 = top). The writable form makes the pixel memory this bitmap's own.
    const unsigned char* Row(int y) const
    {
        return reinterpret_cast<const unsigned char*>(m_data.constData()) + m_top + y * m_step;
    }
    unsigned char* Row(int y);

    // The rectangle of width x height pixels at (left, top), sharing this bitmap's memory; the
    // rectangle must lie inside the bitmap. Only for depths of 8 bits and more.
    PageBitmap Part(int left, int top, int width, int height) const;

    // Wraps the pixel area of a BMP file held in data: rows of stride bytes from offset, stored
    // bottom-up or top-down. The caller has checked that they lie inside data.
    static PageBitmap FromBmpPixels(QByteArray data, std::ptrdiff_t offset, std::ptrdiff_t stride, bool bottomUp,
        int width, int height, int bitsPerPixel);

    // Bytes a row of this width and depth takes in a BMP file (padded to 4).
    static std::ptrdiff_t BmpStride(int width, int bitsPerPixel);

    // The blank-page measure notes the light stretches it passed over, and the crop that follows
    // starts from them instead of passing over the paper again. Copies of a page share the note;
    // a part of the page, or a page whose pixels are written, starts without one.
    void NoteLightRows(std::shared_ptr<const LightRowSpans> spans) const
    {
        if (m_note)
            m_note->spans = std::move(spans);
    }
    const LightRowSpans* LightRows(int limit) const
    {
        const LightRowSpans* spans = m_note ? m_note->spans.get() : nullptr;
        return spans && spans->limit == limit && int(spans->rows.size()) == m_height ? spans : nullptr;
    }

private:
    struct Note {
        std::shared_ptr<const LightRowSpans> spans;
    };
    QByteArray m_data;
    std::ptrdiff_t m_top = 0; // offset of row 0 in m_data
    std::ptrdiff_t m_step = 0; // bytes from one row to the next one down; negative for bottom-up memory
    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 24;
    int m_xPelsPerMeter = 0;
    int m_yPelsPerMeter = 0;
    std::vector<std::uint32_t> m_palette;
    std::uint32_t m_masks[3] = { 0, 0, 0 };
    std::shared_ptr<Note> m_note = std::make_shared<Note>();
};

// Reads the bytes of a BMP file (info header of 12, 40, 52, 56, 108 or 124 bytes; 1, 4, 8, 16, 24 or
// 32 bits per pixel, uncompressed or with bit fields). A 24-bit file is not copied: the bitmap
// shares the bytes. A header without a resolution gives 150 dpi. Throws platform::Error for anything else, truncated or
// inconsistent data.
PageBitmap LoadBitmap(const QByteArray& bmpFile);

// Turns the page into 24 bits per pixel, keeping its size and resolution; a 24-bit page stays as
// it is. Palette entries and bit fields give the colours.
void ConvertTo24Bit(PageBitmap& page);

} // namespace pd::scan
