#include "scan/wiascan.h"

#include <functional>
#include <memory>

#include <QFile>

#include "platform/imaging/twain.h"
#include "platform/wia/wia.h"
#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "scan/pageops.h"
#include "scan/pagewriter.h"
#include "scan/pdffolder.h"
#include "scan/scandispatcher.h"
#include "scan/scanlog.h"

namespace pd::scan {

using namespace platform::wia;

namespace {

const ScanPlatform& Installed()
{
    const ScanPlatform& installed = CurrentScanPlatform();
    if (!installed.CoDeviceManager || !installed.CoCommonDialog || !installed.QueryBox || !installed.ReportLastError)
        throw platform::Error(QStringLiteral("No scanner objects are installed"));
    return installed;
}

// What one scan works with between opening and closing the PDF.
struct Scan {
    double threshold = 0;
    std::shared_ptr<IDevice> device;
    std::shared_ptr<IItem> item;
    bool feederMode = false;
    int pagesKept = 0;
    int result = 0;
    PageWriter writer; // kept pages on their way into the PDF
};

std::shared_ptr<IDevice> ConnectTo(const QString& deviceId)
{
    const std::shared_ptr<IDeviceInfos> infos = Installed().CoDeviceManager()->DeviceInfos();
    for (int i = 1; i <= infos->Count(); ++i) {
        const std::shared_ptr<IDeviceInfo> info = infos->Item(i);
        if (info->DeviceID() == deviceId)
            return info->Connect();
    }
    return nullptr;
}

// Measures one transferred page and, unless it is blank, crops it and writes it into the PDF.
void TakePage(Scan& scan, const QByteArray& bmp)
{
    if (bmp.isEmpty())
        return;
    PageBitmap page = LoadBitmap(bmp);
    ConvertTo24Bit(page);
    const long double fraction = PageDarkFraction(page);
    // Compared as a double: the job's threshold is one, and 1 dark pixel in 500 must meet 0.002.
    const bool keep = double(fraction) >= scan.threshold;
    qCDebug(lcScan) << "page" << page.Width() << "x" << page.Height() << "dark" << double(fraction)
                    << (keep ? "kept" : "dropped");
    if (!keep)
        return;
    ++scan.pagesKept;
    CropToContent(page, kBlankPageDarkLimit);
    // The page before is written first: its memory then takes this page's bitmap.
    scan.writer.Finish();
    if (platform::HGLOBAL dib = BitmapToDib(page)) {
        std::shared_ptr<platform::HeapBlock> owned(dib, DIB_Free);
        scan.writer.Add([owned] { TWAIN_DibWritePage(owned.get()); });
    }
}

// One pass of the page loop; whether another page follows.
bool PageStep(Scan& scan)
{
    const std::shared_ptr<ImageFile> image
        = Installed().CoCommonDialog()->ShowTransfer(scan.item, QString::fromUtf16(wiaFormatBMP), true);
    TakePage(scan, image ? image->FileData().BinaryData() : QByteArray());
    if (scan.feederMode)
        return FeederReady(scan.device);
    return Installed().QueryBox(
               QStringLiteral("Seite eingelesen"), QStringLiteral("Möchten Sie eine weitere Seite einlesen?"))
        == 1;
}

void ScanPages(Scan& scan, const QString& deviceId, bool colour, int resolution, bool feeder)
{
    scan.device = ConnectTo(deviceId);
    if (!scan.device) {
        scan.result = -2;
        return;
    }
    scan.item = scan.device->Items()->Item(1);
    const std::shared_ptr<IProperties> itemProperties = scan.item->Properties();
    SetItemProperty(itemProperties, WIA_IPS_XRES, resolution);
    SetItemProperty(itemProperties, WIA_IPS_YRES, resolution);
    SetItemProperty(
        itemProperties, WIA_IPS_CUR_INTENT, colour ? WIA_INTENT_IMAGE_TYPE_COLOR : WIA_INTENT_IMAGE_TYPE_GRAYSCALE);
    SetDeviceProperty(scan.device, WIA_DPS_DOCUMENT_HANDLING_SELECT, feeder ? FEEDER | DUPLEX : FLATBED);
    scan.feederMode = feeder && FeederReady(scan.device);

    for (bool goOn = true; goOn;) {
        if (!scan.feederMode)
            SetDeviceProperty(scan.device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED);
        try {
            goOn = PageStep(scan);
        } catch (const std::exception& error) {
            qCDebug(lcScan) << "page step ended:" << error.what();
            if (scan.feederMode && scan.pagesKept == 0)
                scan.result = 1;
            goOn = false;
        }
    }
    // The last page goes into the PDF before the scan ends; a failed write ends it as a failed
    // page step would.
    try {
        scan.writer.Finish();
    } catch (const std::exception& error) {
        qCDebug(lcScan) << "page step ended:" << error.what();
    }
}

// Completes the PDF; a scan without kept pages leaves no file.
int ClosePdf(const QString& pdfPath, int pagesKept, int result)
{
    TWAIN_EndMultipageFile();
    if (pagesKept == 0)
        QFile::remove(pdfPath);
    if (TWAIN_LastErrorCode() != 0) {
        Installed().ReportLastError(QStringLiteral("Unable to combine files."));
        result = -1;
    }
    return result;
}

// Lets the page in flight end before the file is closed; the error that ends the scan is
// already on its way, and an error of the page's own write would only hide it.
void WaitQuietly(PageWriter& writer)
{
    try {
        writer.Finish();
    } catch (...) {
    }
}

// Writes the first property of the ID that takes the value; list gives the property list anew
// for every index (the device's list is fetched again each time).
bool WriteProperty(const std::function<std::shared_ptr<IProperties>()>& list, int propertyId, int value)
{
    for (int i = 1; i <= list()->Count(); ++i) {
        const std::shared_ptr<IProperty> property = list()->Item(i);
        if (property->PropertyID() != propertyId)
            continue;
        try {
            property->SetValue(value);
            return false;
        } catch (const std::exception& error) {
            qCDebug(lcScan) << "property" << propertyId << "=" << value << "refused:" << error.what();
        }
    }
    return true;
}

} // namespace

QString FindSingleScanner()
{
    const std::shared_ptr<IDeviceInfos> infos = Installed().CoDeviceManager()->DeviceInfos();
    int count = 0;
    QString deviceId;
    for (int i = 1; i <= infos->Count(); ++i) {
        const std::shared_ptr<IDeviceInfo> info = infos->Item(i);
        if (info->Type() == ScannerDeviceType) {
            ++count;
            deviceId = info->DeviceID();
        }
    }
    return count == 1 ? deviceId : QString();
}

QString ChooseScanner()
{
    const QString single = FindSingleScanner();
    if (!single.isEmpty())
        return single;
    const std::shared_ptr<IDevice> device
        = Installed().CoCommonDialog()->ShowSelectDevice(ScannerDeviceType, true, false);
    return device ? device->DeviceID() : QString();
}

bool SetItemProperty(const std::shared_ptr<IProperties>& properties, int propertyId, int value)
{
    return WriteProperty([&properties] { return properties; }, propertyId, value);
}

bool SetDeviceProperty(const std::shared_ptr<IDevice>& device, int propertyId, int value)
{
    return WriteProperty([&device] { return device->Properties(); }, propertyId, value);
}

bool FeederReady(const std::shared_ptr<IDevice>& device)
{
    int select = 0;
    int status = 0;
    const std::shared_ptr<IProperties> properties = device->Properties();
    for (int i = 1; i <= properties->Count(); ++i) {
        const std::shared_ptr<IProperty> property = properties->Item(i);
        const int id = property->PropertyID();
        if (id == WIA_DPS_DOCUMENT_HANDLING_SELECT)
            select = property->Value();
        else if (id == WIA_DPS_DOCUMENT_HANDLING_STATUS)
            status = property->Value();
    }
    return (select & FEEDER) && (status & FEED_READY);
}

int WiaScanToPdf(const QString& pdfPath, bool colour, double threshold, int resolution, bool feeder)
{
    if (resolution <= 0)
        resolution = 150;
    const QString deviceId = ChooseScanner();
    if (deviceId.isEmpty())
        return -1;
    // A folder the job-folder helper refuses takes no file: as if the PDF could not be begun.
    if (!CreatePdfFolder(pdfPath))
        return 0;
    TWAIN_SetJpegQuality(90);
    TWAIN_SetPaperSize(1);
    if (TWAIN_BeginMultipageFile(pdfPath) != 0)
        return 0;

    Scan scan;
    scan.threshold = threshold;
    try {
        ScanPages(scan, deviceId, colour, resolution, feeder);
    } catch (...) {
        // The device is let go before the file is closed; the error goes on to the dispatcher.
        WaitQuietly(scan.writer);
        scan.item.reset();
        scan.device.reset();
        ClosePdf(pdfPath, scan.pagesKept, -1);
        throw;
    }
    scan.item.reset();
    scan.device.reset();
    return ClosePdf(pdfPath, scan.pagesKept, scan.result);
}

} // namespace pd::scan
