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

// Paper size code of the area the next acquisition scans (1 = A4 until set, 0 the scanner's whole
// area), put onto the open scanner at once and onto every scanner opened later. The size of a
// written page follows its image and resolution alone. Never touches the error state.
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

// The scanner rows: acquisition through the default scanner (the SANE device chosen with
// TWAIN_SelectImageSource, else the first scanner connected). Device settings (feeder, duplex,
// pixel type, bit depth, resolution) go to the scanner opened by TWAIN_OpenDefaultSource at once
// and last until the next one is opened; without an open scanner they are noted in the library's
// log and change nothing. Library settings (hide-UI, blank pages, deskew, JPEG quality, paper
// size) hold for every later acquisition. Each call is traced in the library's log.
// Where a row returns an int, 1 means done and 0 not done, unless said otherwise.

// Acquire without (non-zero) or with (0, until set) the scanner's own settings window.
void TWAIN_SetHideUI(int hide);

// Scan from the document feeder (non-zero) or the flatbed (0).
int TWAIN_SelectFeeder(int feeder);

// Scan both sides where the scanner's feeder can (non-zero), or the front only.
int TWAIN_EnableDuplex(int duplex);

// Straighten every kept page (non-zero): its skew is estimated within 5 degrees and the page is
// turned back, keeping its size. Off until set.
void TWAIN_SetAutoDeskew(int deskew);

// 1 grey, 2 colour (RGB); other types are not offered.
int TWAIN_SetPixelType(int pixelType);

// Bits per sample, as the scanner offers them (8 for the pages this program writes).
int TWAIN_SetBitDepth(int bits);

// Dots per inch, the nearest the scanner offers.
int TWAIN_SetResolution(double dotsPerInch);

// 1: pages whose share of dark pixels (the blank-page measure installed by the program) is below
// the threshold are left out; 0 (until set): every page is kept.
void TWAIN_SetBlankPageMode(int mode);
void TWAIN_SetBlankPageThreshold(double fraction);

// Opens the default scanner, closing one opened before, and clears the error state: non-zero when
// it is open, 0 when there is none or it cannot be opened.
int TWAIN_OpenDefaultSource();

// The open scanner's resolution in dots per inch; 0 without an open scanner.
double TWAIN_GetCurrentResolution();

// Scans every page of one acquisition into a new multi-page PDF at path and closes the scanner:
// the feeder until it is empty (both sides where duplex is on and offered), or one page from the
// flatbed. Opens the default scanner first when none is open. Clears the error state, then shows
// the scanner's own settings window (owned by the window, a WId) unless hide-UI is set, and a
// progress window for each page. Kept pages are written at the set JPEG quality.
//   Cancelling the settings window scans nothing; cancelling a page ends the acquisition with the
//   pages before it. Neither is an error, and without a kept page there is no file.
//   A scanner error (a jam, an empty feeder at the start, a lost device) or a failed write is
//   the library's error (TWAIN_LastErrorCode); the file is then not written at all.
// Returns TWAIN_LastErrorCode.
int TWAIN_AcquireMultipageFile(quintptr window, const QString& path);
