#include "platform/pagememory.h"

#include <cstdlib>
#include <mutex>
#include <sys/mman.h>
#include <utility>

namespace pd::platform {

namespace {

constexpr std::size_t kLarge = std::size_t(1) << 20; // smaller buffers go straight to malloc
constexpr std::size_t kMaxKept = std::size_t(512) << 20; // a larger block is never kept
constexpr std::size_t kHeader = alignof(std::max_align_t); // the capacity sits in front of the bytes

// One block is kept, the largest one released: pages of a run are alike in size and are handled
// one at a time.
struct Pool {
    std::mutex lock;
    void* block = nullptr;
    std::size_t capacity = 0;
};

Pool& ThePool()
{
    static Pool pool;
    return pool;
}

std::size_t& CapacityOf(void* block)
{
    return *static_cast<std::size_t*>(block);
}

// The kept block when it holds bytes without wasting more than half of itself.
void* TakeSpare(std::size_t bytes)
{
    Pool& pool = ThePool();
    std::lock_guard guard(pool.lock);
    if (!pool.block || pool.capacity < bytes || pool.capacity / 2 > bytes)
        return nullptr;
    pool.capacity = 0;
    return std::exchange(pool.block, nullptr);
}

// Large blocks are aligned to 2 MiB and asked to be backed by huge pages where the system allows
// it: a page image then needs a few hundred entries in the processor's address translation
// instead of thousands, which makes every pass over it quicker, most of all in a virtual machine.
void* AllocateBlock(std::size_t bytes)
{
    if (bytes < kLarge)
        return std::malloc(bytes);
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    // Rounding up a size near the top of the range would wrap round to a tiny block.
    if (bytes > static_cast<std::size_t>(-1) - (kHuge - 1))
        return nullptr;
    const std::size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
    void* block = std::aligned_alloc(kHuge, rounded);
    if (block)
        ::madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

} // namespace

void* AllocatePageMemory(std::size_t bytes)
{
    if (bytes > static_cast<std::size_t>(-1) - kHeader)
        return nullptr;
    void* block = bytes >= kLarge ? TakeSpare(bytes) : nullptr;
    if (!block) {
        // A large buffer gets an eighth more, so that the next page, a little larger after its
        // crop, still fits it; the unused end is never touched and costs no memory.
        const std::size_t capacity = bytes >= kLarge && bytes / 8 < kMaxKept ? bytes + bytes / 8 : bytes;
        block = AllocateBlock(kHeader + capacity);
        if (!block)
            return nullptr;
        CapacityOf(block) = capacity;
    }
    return static_cast<unsigned char*>(block) + kHeader;
}

void FreePageMemory(void* memory)
{
    if (!memory)
        return;
    void* block = static_cast<unsigned char*>(memory) - kHeader;
    const std::size_t capacity = CapacityOf(block);
    if (capacity >= kLarge && capacity <= kMaxKept) {
        Pool& pool = ThePool();
        std::lock_guard guard(pool.lock);
        if (pool.capacity < capacity) {
            std::swap(block, pool.block);
            pool.capacity = capacity;
        }
    }
    std::free(block);
}

void ReleaseSparePageMemory()
{
    Pool& pool = ThePool();
    std::lock_guard guard(pool.lock);
    std::free(pool.block);
    pool.block = nullptr;
    pool.capacity = 0;
}

} // namespace pd::platform
