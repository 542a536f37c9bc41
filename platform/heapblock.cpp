#include "platform/heapblock.h"

#include <cstring>
#include <new>

#include "platform/pagememory.h"

namespace pd::platform {

// The bookkeeping sits in front of the bytes, so one allocation holds both. Blocks hold page
// images, so they come from the page memory that is kept for reuse.
struct HeapBlock {
    std::size_t size;
    unsigned locks;
};

namespace {

constexpr std::size_t kHeader
    = alignof(std::max_align_t) > sizeof(HeapBlock) ? alignof(std::max_align_t) : sizeof(HeapBlock);

unsigned char* Bytes(HGLOBAL block)
{
    return reinterpret_cast<unsigned char*>(block) + kHeader;
}

} // namespace

HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes)
{
    if (bytes > static_cast<std::size_t>(-1) - kHeader)
        return nullptr;
    void* memory = AllocatePageMemory(kHeader + bytes);
    if (!memory)
        return nullptr;
    auto* block = new (memory) HeapBlock { bytes, 0 };
    if (flags & GMEM_ZEROINIT)
        std::memset(Bytes(block), 0, bytes);
    return block;
}

void* GlobalLock(HGLOBAL block)
{
    if (!block || block->size == 0)
        return nullptr;
    ++block->locks;
    return Bytes(block);
}

bool GlobalUnlock(HGLOBAL block)
{
    if (!block || block->locks == 0)
        return false;
    --block->locks;
    return block->locks > 0;
}

std::size_t GlobalSize(HGLOBAL block)
{
    return block ? block->size : 0;
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    if (block) {
        block->~HeapBlock();
        FreePageMemory(block);
    }
    return nullptr;
}

} // namespace pd::platform
