#pragma once

#include <QString>
#include <QtGlobal>

#include "platform/heapblock.h"

// The imaging library: page-by-page PDF writing and scanning through the default device, with a
// trace log and an error state of its own. Booleans are 0 or non-zero, as callers pass them.

// Switches the library's own log off (0) or on (non-zero). While on, the library writes its trace
// lines into the log folder set by TWAIN_SetLogFolder.
void TWAIN_LogFile(int enable);

// The folder of the library's own log (with or without a trailing "/").
void TWAIN_SetLogFolder(const QString& folder);

// Lets the user pick the scanner the TWAIN path opens, from the modal device list owned by the
// window (a WId), the one chosen before preselected. The choice is kept in the library's own file
// in the settings folder. 1 when a scanner was chosen and kept, else 0.
int TWAIN_SelectImageSource(quintptr window);

// JPEG quality of the page images in the next pages written, 1 to 100 (values outside are
// clamped); 75 until set. Never touches the error state.
void TWAIN_SetJpegQuality(int quality);

// Paper size code of the area the next acquisition scans (1 = A4). The size of a written page
// follows its image and resolution alone. Never touches the error state.
void TWAIN_SetPaperSize(int paperSize);

// Opens a multi-page PDF for pages and clears the error state: 0 when the file's folder takes the
// file, non-zero (the error code) otherwise. The file is written under a temporary name beside
// path and appears at path only when TWAIN_EndMultipageFile completes it. A file still open is
// discarded first.
int TWAIN_BeginMultipageFile(const QString& path);

// Appends one page: a packed device-independent bitmap (8-bit grey or other colour table, or 24
// bits) in a heap block, which stays the caller's. The page size is the pixel size at the
// bitmap's resolution (150 dpi where it has none). 0 when written; otherwise the error code, the
// page is left out and the file stays valid. After a failed write no more pages are written.
int TWAIN_DibWritePage(pd::platform::HGLOBAL dib);

// Releases a page image's block; a null block is ignored.
void DIB_Free(pd::platform::HGLOBAL dib);

// Completes the open file and puts it at its path: 0 on success, else the (first) error code. A
// file without pages, or one whose writing failed, is discarded and the path stays as it was.
int TWAIN_EndMultipageFile();

// Non-zero: the last file operation failed. Within one file the first error is kept until
// TWAIN_EndMultipageFile has reported it.
int TWAIN_LastErrorCode();

// Shows text and the library's description of the last error in the library's own message box,
// and writes both into the library's log while that is on. Without a QApplication only the log
// line is written.
void TWAIN_ReportLastError(const QString& text);
