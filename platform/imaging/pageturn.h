#pragma once

#include <cstddef>
#include <vector>

#include "platform/imaging/deskew.h"

// The turning half of deskew, apart from the estimate.
namespace pd::platform::imaging {

// Turns a usable page in place as RotatePage does, the angle given by its cosine and sine.
void TurnPage(const PageRaster& page, double cosine, double sine);

// Memory is kept from page to page on the calling thread: what a straightened A4 page at 300 dpi
// needs; more, as a turn by a large angle takes, is given back at once.
inline constexpr std::size_t kKeptBytes = std::size_t(16) << 20;

template <typename T> void GiveBackIfLarge(std::vector<T>& buffer)
{
    if (buffer.capacity() * sizeof(T) > kKeptBytes)
        std::vector<T>().swap(buffer);
}

} // namespace pd::platform::imaging
