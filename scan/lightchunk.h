#pragma once

#include <algorithm>

namespace pd::scan {

// Pixels of a 24-bit row tested together by the page scans.
inline constexpr int kLightChunkPixels = 16;

// True when none of the 3 x 16 bytes at p is below limit (0 to 256), so no pixel there can be dark
// by any measure of this program. Written as a minimum over bytes, which compilers turn into a
// few wide vector instructions.
inline bool IsLightChunk(const unsigned char* p, int limit)
{
    unsigned char least = 255;
    for (int i = 0; i < 3 * kLightChunkPixels; ++i)
        least = std::min(least, p[i]);
    return least >= limit;
}

} // namespace pd::scan
