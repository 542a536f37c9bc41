#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

namespace pd::platform::imaging {

// The pixels of a packed device-independent bitmap as the PDF writer takes them: uncompressed,
// 8 bits with a colour table or 24 bits (blue, green, red), rows padded to 4 bytes.
struct DibPixels {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    bool bottomUp = true;
    const unsigned char* rows = nullptr; // the first row in memory: the bottom row when bottomUp
    std::size_t stride = 0; // bytes from one row in memory to the next
    std::vector<std::uint32_t> palette; // 0x00RRGGBB, 8-bit pages only
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
};

// Checks a packed bitmap of size bytes and describes its pixels; the result points into data. On a
// truncated or inconsistent header, a depth other than 8 or 24 bits, compression, no pixels or a
// side beyond 65535, it gives nothing and says why in *reason.
std::optional<DibPixels> ParseDib(const unsigned char* data, std::size_t size, QString* reason);

// True for an 8-bit page whose colour table maps every index to the grey of the same value.
bool HasIdentityGreyTable(const DibPixels& dib);

// True for an 8-bit page whose colours are all grey.
bool HasGreyTable(const DibPixels& dib);

// Dots per inch of a resolution given in pixels per metre, rounded to whole dots as scanners give
// them; 150 where the header has none.
double DotsPerInch(int pelsPerMeter);

} // namespace pd::platform::imaging
