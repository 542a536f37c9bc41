#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QtGlobal>

namespace pd::platform::wia {
class IDeviceManager;
class ICommonDialog;
} // namespace pd::platform::wia

namespace pd::scan {

// What scanning talks to besides the imaging library. pd_scan holds no windows and no scanner
// library of its own: whoever starts the program installs these once (InstallDesktopScanning of
// scan/desktopscanning.h, in pd_scan_widgets, puts in the SANE objects, the device list and
// progress windows, the message box and the library's error box), and tests put fakes in their
// place. A scan started while one of them is missing fails like any other scanner error.
struct ScanPlatform {
    // A fresh device manager and common dialog for each use, as their Windows namesakes.
    std::function<std::shared_ptr<platform::wia::IDeviceManager>()> CoDeviceManager;
    std::function<std::shared_ptr<platform::wia::ICommonDialog>()> CoCommonDialog;
    // The page question of a flatbed scan: 1 means another page follows.
    std::function<int(const QString& caption, const QString& text)> QueryBox;
    // The imaging library tells the user its last error under the given text.
    std::function<void(const QString& text)> ReportLastError;
    // The imaging library's acquisition into a multi-page PDF, with its windows owned by window
    // (the TWAIN path).
    std::function<int(quintptr window, const QString& pdfPath)> AcquireMultipageFile;
};

// Replaces the installed objects; returns the ones installed before, so a test can put them back.
ScanPlatform SetScanPlatform(ScanPlatform platform);
const ScanPlatform& CurrentScanPlatform();

// The one entry into scanning: scans a document into the multi-page PDF at pdfPath and returns 0
// (done; the file exists when a page was kept), -1 (failure, no scanner chosen) or -2 (the chosen
// scanner is gone). Shows no message of its own and runs on the UI thread until the scan is over.
//   window             the calling window's WId (a quintptr, so this library needs no QtGui);
//                      owner of the scanner's own windows on the TWAIN path only
//   showScannerDialog  TWAIN path only
//   colour             colour, else 8-bit grey
//   threshold          share of the page area, 0..1, below which a page counts as blank
//   resolution         dots per inch; below 1 means 150
//   paperSize          TWAIN path only; below 1 means A4
//   feeder             automatic document feeder, else flatbed with a question after each page
//   qualityIndex       TWAIN path only: 0 is JPEG quality 90, anything else 75
int ScanToPdf(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
    int resolution, int paperSize, bool feeder, int qualityIndex);

} // namespace pd::scan
