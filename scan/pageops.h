#pragma once

#include "platform/heapblock.h"

namespace pd::scan {

class PageBitmap;

// Cuts a 24-bit page down to its dark content: the smallest rectangle from the first dark column
// and row up to, but not including, the last dark column and row, where a pixel is dark when
// blue, green and red are all below limit. Rows 0 to 2 are never examined, and content that begins
// in row 3 keeps the rows above it. Sides shorter than 4 pixels are stretched to 4; a side with no
// content at all is 4 white pixels. The resolution is kept. A page of another depth is turned
// into 24 bits first.
void CropToContent(PageBitmap& page, int limit);

// The page as a packed device-independent bitmap (a BMP file without its 14-byte file header: info
// header, colour table of an 8-bit page, bottom-up rows padded to 4 bytes) in a zero-filled heap
// block the caller frees; nullptr when the memory cannot be had. Only for 24- and 8-bit pages.
platform::HGLOBAL BitmapToDib(const PageBitmap& page);

} // namespace pd::scan
