#include "platform/largebuffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace pd::platform {

namespace {

constexpr std::uintptr_t kLargePageBytes = std::uintptr_t { 2 } << 20;

} // namespace

void ReserveLargeBuffer(QByteArray& bytes, qsizetype capacity)
{
    bytes.reserve(capacity);
    // Only whole large pages inside the free part can be advised; a refusal changes nothing.
    const auto begin = reinterpret_cast<std::uintptr_t>(bytes.data() + bytes.size());
    const auto end = reinterpret_cast<std::uintptr_t>(bytes.data() + bytes.capacity());
    const std::uintptr_t first = (begin + kLargePageBytes - 1) & ~(kLargePageBytes - 1);
    const std::uintptr_t last = end & ~(kLargePageBytes - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

} // namespace pd::platform
