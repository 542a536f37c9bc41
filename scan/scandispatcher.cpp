#include "scan/scandispatcher.h"

#include "logging/log.h"
#include "scan/pdffolder.h"
#include "scan/twainscan.h"
#include "scan/wiascan.h"

namespace pd::scan {

namespace {

ScanPlatform& Installed()
{
    static ScanPlatform installed;
    return installed;
}

} // namespace

ScanPlatform SetScanPlatform(ScanPlatform platform)
{
    std::swap(Installed(), platform);
    return platform;
}

const ScanPlatform& CurrentScanPlatform()
{
    return Installed();
}

int ScanToPdf(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
    int resolution, int paperSize, bool feeder, int qualityIndex)
{
    if (resolution < 1)
        resolution = 150;
    int result = -1;
    try {
        // A folder that cannot be created is found when the PDF cannot be begun.
        CreatePdfFolder(pdfPath);
        result = -2;
#if PD_USE_TWAIN
        result = TwainScanToPdf(
            window, pdfPath, showScannerDialog, colour, threshold, resolution, paperSize, feeder, qualityIndex);
#else
        // Without the TWAIN path these only matter to the scanner's own windows, which WIA shows
        // without an owner.
        Q_UNUSED(window)
        Q_UNUSED(showScannerDialog)
        Q_UNUSED(paperSize)
        Q_UNUSED(qualityIndex)
#endif
        if (result == -2)
            result = WiaScanToPdf(pdfPath, colour, threshold, resolution, feeder);
        if (feeder && result == 1)
            result = WiaScanToPdf(pdfPath, colour, threshold, resolution, false);
    } catch (...) {
        result = -1;
        logging::WriteLog(QStringLiteral("except: scan"), 1);
    }
    return result;
}

} // namespace pd::scan
