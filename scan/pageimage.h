#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace pd::scan {

class PageBitmap;

// The page image that serves as the blank-page meter: a buffer of 32-bit pixels, alpha in bits 24
// to 31, red 16 to 23, green 8 to 15, blue 0 to 7, rows from the top. The program never shows it,
// so it has no display side (lookup table, corner texts, histogram).
class TQuorBasicImage {
public:
    TQuorBasicImage() = default;

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The buffer takes the bitmap's size and pixels; red, green and blue keep their values and
    // alpha is opaque. A page of another depth than 24 bits is converted on the way.
    void Assign(const PageBitmap& bitmap);

    // A buffer of width x height pixels, all 0.
    void SetSize(int width, int height);

    std::span<std::uint32_t> Pixels() { return { m_pixels.get(), std::size_t(m_width) * std::size_t(m_height) }; }
    std::span<const std::uint32_t> Pixels() const
    {
        return { m_pixels.get(), std::size_t(m_width) * std::size_t(m_height) };
    }

    // Share of the pixels, 0 to 1, whose intensity (61 red + 174 green + 21 blue) >> 8 is below
    // limit; 0 for an empty buffer.
    long double DarkFraction(int limit) const;

private:
    std::unique_ptr<std::uint32_t[]> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

} // namespace pd::scan
