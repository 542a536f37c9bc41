#pragma once

#include <cstddef>

namespace pd::platform {

// Stand-in for movable global memory blocks: a heap block reached through a handle, locked to get
// its address. The block never moves, so a lock only counts.
struct HeapBlock;
using HGLOBAL = HeapBlock*;

inline constexpr unsigned GMEM_MOVEABLE = 0x0002;
inline constexpr unsigned GMEM_ZEROINIT = 0x0040;
inline constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A block of bytes bytes (zero-filled with GMEM_ZEROINIT), or nullptr when the memory cannot be had.
// A block of 0 bytes is valid; its lock gives nullptr.
HGLOBAL GlobalAlloc(unsigned flags, std::size_t bytes);

// The block's first byte, counted as one more lock; nullptr for a null handle or an empty block.
void* GlobalLock(HGLOBAL block);

// Releases one lock. True while the block stays locked, false once the count reaches 0 (or for a
// null handle or a block that was not locked).
bool GlobalUnlock(HGLOBAL block);

// Size in bytes as allocated; 0 for a null handle.
std::size_t GlobalSize(HGLOBAL block);

// Frees the block (locked or not). Returns nullptr, as the Windows call does on success; a null
// handle is accepted and ignored.
HGLOBAL GlobalFree(HGLOBAL block);

} // namespace pd::platform
