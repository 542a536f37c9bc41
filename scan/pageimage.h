#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "scan/pagebitmap.h"

namespace pd::scan {

// The page image that serves as the blank-page meter: a buffer of 32-bit pixels, alpha in bits 24
// to 31, red 16 to 23, green 8 to 15, blue 0 to 7, rows from the top. The program never shows it,
// so it has no display side (lookup table, corner texts, histogram).
class TQuorBasicImage {
public:
    TQuorBasicImage() = default;

    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The buffer takes the bitmap's size and pixels; red, green and blue keep their values and
    // alpha is opaque. A page of another depth than 24 bits is converted on the way. The 32-bit
    // words are filled in when the pixels are first asked for: the measure reads the page's own
    // bytes, which give the same result without writing a second copy of the page.
    void Assign(const PageBitmap& bitmap);

    // A buffer of width x height pixels, all 0.
    void SetSize(int width, int height);

    std::span<std::uint32_t> Pixels();
    std::span<const std::uint32_t> Pixels() const;

    // Share of the pixels, 0 to 1, whose intensity (61 red + 174 green + 21 blue) >> 8 is below
    // limit; 0 for an empty buffer.
    long double DarkFraction(int limit) const;

private:
    struct FreeBuffer {
        void operator()(std::uint32_t* pixels) const;
    };
    void Allocate() const; // m_width x m_height, uninitialised
    // Copies a pending page into the 32-bit buffer.
    void Fill() const;

    mutable std::unique_ptr<std::uint32_t[], FreeBuffer> m_pixels;
    mutable std::optional<PageBitmap> m_pending; // assigned page not yet copied into m_pixels
    int m_width = 0;
    int m_height = 0;
};

// The blank-page measure of a scanned page, the same for both scanning paths: the share of its
// pixels whose intensity is below 200, as a meter holding the page gives it.
inline constexpr int kBlankPageDarkLimit = 200;
long double PageDarkFraction(const PageBitmap& page);

} // namespace pd::scan
