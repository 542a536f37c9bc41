#pragma once

#include <QString>
#include <QtGlobal>

namespace pd::scan {

// Scans through the imaging library's default scanner into the multi-page PDF at pdfPath; the
// library drops blank pages, straightens pages and scans both sides. Arguments as ScanToPdf's.
// 0: the acquisition ended without a library error (the file exists when a page was kept);
// -1: the library reported an error, which it has shown under "Unable to scan.";
// -2: no scanner could be opened, nothing else was done.
// Throws when the PDF's folder cannot be made; the dispatcher turns that into -1.
int TwainScanToPdf(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
    int resolution, int paperSize, bool feeder, int qualityIndex);

// The integer nearest to value, halves to the even neighbour (2.5 gives 2, 3.5 gives 4), as the
// scan's log line gives a resolution; 0 for a value that is not a finite number.
qint64 RoundHalfToEven(double value);

// Makes the imaging library judge blank pages by the program's own page measure, so both
// scanning paths drop the same pages.
void InstallBlankPageMeasure();

} // namespace pd::scan
