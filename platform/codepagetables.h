#pragma once

#include <array>

namespace pd::platform {

// The characters of bytes 0x80..0xFF of one single-byte Windows code page; bytes 0x00..0x7F are
// ASCII in all of them.
struct CodePageTable {
    int codePage;
    std::array<char16_t, 128> upperHalf;
};

extern const std::array<CodePageTable, 10> kCodePageTables;

} // namespace pd::platform
