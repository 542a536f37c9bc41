#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

#include "platform/heapblock.h"
#include "platform/pagememory.h"

namespace pd::platform {
namespace {

TEST(HeapBlock, ZeroFilledBlocksAreZeroEvenWhenTheirMemoryIsReused)
{
    // Page-sized blocks are kept for reuse; a block handed out again must still come zero-filled.
    for (std::size_t size : { std::size_t(100), std::size_t(3) << 20, std::size_t(3) << 20, std::size_t(5) << 20 }) {
        SCOPED_TRACE(size);
        HGLOBAL block = GlobalAlloc(GHND, size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(GlobalSize(block), size);
        auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
        ASSERT_NE(bytes, nullptr);
        std::size_t nonZero = 0;
        for (std::size_t i = 0; i < size; ++i)
            nonZero += bytes[i] != 0;
        EXPECT_EQ(nonZero, 0u);
        std::memset(bytes, 0xAB, size);
        GlobalUnlock(block);
        EXPECT_EQ(GlobalFree(block), nullptr);
    }
    ReleaseSparePageMemory();
}

TEST(HeapBlock, LockCountsAndAddressStays)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
    void* first = GlobalLock(block);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(GlobalLock(block), first);
    EXPECT_TRUE(GlobalUnlock(block)); // still locked once
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_FALSE(GlobalUnlock(block)); // not locked any more
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(HeapBlock, NullEmptyAndImpossibleBlocks)
{
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_FALSE(GlobalUnlock(nullptr));
    EXPECT_EQ(GlobalSize(nullptr), 0u);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);

    HGLOBAL empty = GlobalAlloc(GHND, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalSize(empty), 0u);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    GlobalFree(empty);

    // Sizes near the top of the range, where adding the header or rounding up could wrap round to
    // a tiny block that the caller would then write far past.
    constexpr std::size_t kMax = static_cast<std::size_t>(-1);
    for (std::size_t size : { kMax, kMax / 2, kMax - 16, kMax - 32, kMax - 48, kMax - (std::size_t(2) << 20) }) {
        EXPECT_EQ(GlobalAlloc(GHND, size), nullptr) << size;
        EXPECT_EQ(AllocatePageMemory(size), nullptr) << size;
    }
}

TEST(PageMemory, AKeptBufferServesTheNextPageThatFits)
{
    ReleaseSparePageMemory();
    void* first = AllocatePageMemory(std::size_t(8) << 20);
    ASSERT_NE(first, nullptr);
    std::memset(first, 1, std::size_t(8) << 20);
    FreePageMemory(first);
    // A slightly smaller page takes the kept buffer; one of less than half its size does not.
    void* second = AllocatePageMemory(std::size_t(7) << 20);
    EXPECT_EQ(second, first);
    void* small = AllocatePageMemory(std::size_t(2) << 20);
    EXPECT_NE(small, first);
    std::memset(small, 2, std::size_t(2) << 20);
    FreePageMemory(small);
    FreePageMemory(second);
    ReleaseSparePageMemory();
    FreePageMemory(nullptr);
}

} // namespace
} // namespace pd::platform
