#include "scan/twainscan.h"

#include <cmath>
#include <limits>

#include "logging/log.h"
#include "platform/error.h"
#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "scan/pdffolder.h"
#include "scan/scandispatcher.h"

namespace pd::scan {

namespace {

constexpr int kGrey = 1;
constexpr int kColour = 2;

const ScanPlatform& Installed()
{
    const ScanPlatform& installed = CurrentScanPlatform();
    if (!installed.AcquireMultipageFile || !installed.ReportLastError)
        throw platform::Error(QStringLiteral("No scanner objects are installed"));
    return installed;
}

} // namespace

qint64 RoundHalfToEven(double value)
{
    if (!std::isfinite(value) || std::abs(value) > double(std::numeric_limits<qint64>::max() / 2))
        return 0;
    const double nearest = std::round(value); // halves away from zero
    if (std::abs(value - std::trunc(value)) == 0.5)
        return qint64(2.0 * std::round(value / 2.0));
    return qint64(nearest);
}

void InstallBlankPageMeasure()
{
    platform::imaging::SetBlankPageMeasure([](const QByteArray& bmpFile) {
        PageBitmap page = LoadBitmap(bmpFile);
        ConvertTo24Bit(page);
        return double(PageDarkFraction(page));
    });
}

int TwainScanToPdf(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
    int resolution, int paperSize, bool feeder, int qualityIndex)
{
    if (resolution < 1)
        resolution = 150;
    int result = 0;
    const ScanPlatform& installed = Installed();
    // The folder is made here as the dispatcher makes it; whether it takes the file shows when
    // the library begins the PDF.
    CreatePdfFolder(pdfPath);
    TWAIN_SetHideUI(!showScannerDialog);
    TWAIN_SetJpegQuality(qualityIndex == 0 ? 90 : 75);
    if (TWAIN_OpenDefaultSource() == 0) {
        logging::WriteLog(QStringLiteral("No TWAIN Scanner found."), 1);
        return -2;
    }
    TWAIN_SelectFeeder(feeder);
    TWAIN_EnableDuplex(true);
    if (threshold > 0.0) {
        TWAIN_SetBlankPageMode(1);
        TWAIN_SetBlankPageThreshold(threshold);
    } else {
        TWAIN_SetBlankPageMode(0);
    }
    TWAIN_SetAutoDeskew(1);
    TWAIN_SetPixelType(kColour);
    // With the scanner's own window shown, the user's choices there govern type and resolution.
    if (!showScannerDialog) {
        if (colour) {
            TWAIN_SetPixelType(kColour);
        } else {
            TWAIN_SetPixelType(kGrey);
            TWAIN_SetBitDepth(8);
        }
        TWAIN_SetResolution(double(resolution));
    }
    TWAIN_SetPaperSize(paperSize >= 1 ? paperSize : 1);
    logging::WriteLog(QStringLiteral("Start scan: ") + pdfPath + QStringLiteral(" @DPI: ")
            + QString::number(RoundHalfToEven(TWAIN_GetCurrentResolution())),
        1);
    installed.AcquireMultipageFile(window, pdfPath);
    logging::WriteLog(QStringLiteral("End scan") + pdfPath, 1);
    if (TWAIN_LastErrorCode() != 0) {
        logging::WriteLog(QStringLiteral("Unable to scan."), 1);
        installed.ReportLastError(QStringLiteral("Unable to scan."));
        result = -1;
    }
    return result;
}

} // namespace pd::scan
