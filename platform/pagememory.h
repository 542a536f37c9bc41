#pragma once

#include <cstddef>

namespace pd::platform {

// Memory for page images, which come one after another in the same few sizes. Fresh pages from
// the system cost a fault each on first touch, which for a page image costs more than reading it,
// so a released large buffer is kept and handed to the next request that fits it.

// At least bytes of uninitialised memory, or nullptr when it cannot be had.
void* AllocatePageMemory(std::size_t bytes);

// Gives back memory from AllocatePageMemory; nullptr is ignored.
void FreePageMemory(void* memory);

// Returns the kept buffers to the system; called when a run of pages has ended.
void ReleaseSparePageMemory();

} // namespace pd::platform
