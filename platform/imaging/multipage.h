#pragma once

namespace pd::platform::imaging {

struct DibPixels;

// Inside the library: the acquisition writes its pages into the file begun with
// TWAIN_BeginMultipageFile straight from the scanned bitmaps, without a heap block per page.

// Appends one page as TWAIN_DibWritePage does; 0 or the error code.
int WriteOpenFilePage(const DibPixels& page);
// Pages written into the open file so far; 0 without one.
int OpenFilePageCount();
// Drops the open file unfinished: its temporary file goes, the path stays as it was.
void AbandonOpenFile();
// The paper size code last set with TWAIN_SetPaperSize (1 = A4 until set).
int CurrentPaperSize();

} // namespace pd::platform::imaging
