#include "platform/imaging/scanner.h"

#include <cmath>
#include <optional>
#include <utility>

#include "platform/imaging/deskew.h"
#include "platform/imaging/dib.h"
#include "platform/imaging/errorstate.h"
#include "platform/imaging/imagesource.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/multipage.h"
#include "platform/imaging/twain.h"
#include "platform/wia/sanedevices.h"
#include "platform/wia/wia.h"

namespace pd::platform::imaging {

namespace {

using namespace platform::wia;

// More than any scanner reaches (1000 inches), yet within what SANE's fixed-point millimetres
// hold: the scanner cuts it to its whole area.
constexpr int kWholeArea = 1000000;
constexpr int kBmpFileHeader = 14;

struct Scanner {
    bool hideUI = false;
    bool feeder = false;
    bool duplex = false;
    bool deskew = false;
    int blankMode = 0;
    double blankThreshold = 0;
    PageMeasure measure;
    std::shared_ptr<IDevice> source; // opened by TWAIN_OpenDefaultSource, let go by the acquisition
};

Scanner& State()
{
    static Scanner scanner;
    return scanner;
}

QString Describe(const std::exception& error)
{
    return QString::fromUtf8(error.what());
}

std::optional<int> PropertyValue(const std::shared_ptr<IProperties>& properties, int id)
{
    for (int i = 1; i <= properties->Count(); ++i) {
        const std::shared_ptr<IProperty> property = properties->Item(i);
        if (property->PropertyID() == id)
            return property->Value();
    }
    return std::nullopt;
}

std::shared_ptr<IProperties> ItemProperties(const std::shared_ptr<IDevice>& device)
{
    return device->Items()->Item(1)->Properties();
}

// Writes the property of the ID on the open scanner, its device's (item false) or its scan item's;
// false (and a log line) without an open scanner, or when it has no such property or refuses the
// value. Settings calls never fail the acquisition: it scans with what the scanner has.
bool SetProperty(bool item, int id, int value, const QString& what)
{
    const std::shared_ptr<IDevice> source = State().source;
    if (!source) {
        ImagingLog(QStringLiteral("%1: no scanner open").arg(what));
        return false;
    }
    try {
        const std::shared_ptr<IProperties> properties = item ? ItemProperties(source) : source->Properties();
        for (int i = 1; i <= properties->Count(); ++i) {
            const std::shared_ptr<IProperty> property = properties->Item(i);
            if (property->PropertyID() == id) {
                property->SetValue(value);
                return true;
            }
        }
        ImagingLog(QStringLiteral("%1: not offered by the scanner").arg(what));
    } catch (const std::exception& error) {
        ImagingLog(QStringLiteral("%1: refused: %2").arg(what, Describe(error)));
    }
    return false;
}

bool ApplyDocumentHandling()
{
    const Scanner& scanner = State();
    const QString what = QStringLiteral("Document handling %1%2")
                             .arg(scanner.feeder ? QStringLiteral("feeder") : QStringLiteral("flatbed"),
                                 scanner.feeder && scanner.duplex ? QStringLiteral(" duplex") : QString());
    const int value = scanner.feeder ? (scanner.duplex ? FEEDER | DUPLEX : FEEDER) : FLATBED;
    return SetProperty(false, WIA_DPS_DOCUMENT_HANDLING_SELECT, value, what);
}

std::shared_ptr<IDevice> ConnectDefaultScanner()
{
    const std::shared_ptr<IDeviceInfos> infos = CreateSaneDeviceManager()->DeviceInfos();
    const QString chosen = RememberedImageSource();
    std::shared_ptr<IDeviceInfo> first;
    for (int i = 1; i <= infos->Count(); ++i) {
        const std::shared_ptr<IDeviceInfo> info = infos->Item(i);
        if (info->Type() != ScannerDeviceType)
            continue;
        if (!chosen.isEmpty() && info->DeviceID() == chosen)
            return info->Connect();
        if (!first)
            first = info;
    }
    if (!first)
        return nullptr;
    if (!chosen.isEmpty())
        ImagingLog(QStringLiteral("The chosen scanner %1 is not connected").arg(chosen));
    return first->Connect();
}

// Paper waits in the feeder; reading the status starts the next sheet, and a jam throws.
bool FeederReady(const std::shared_ptr<IDevice>& device)
{
    return (PropertyValue(device->Properties(), WIA_DPS_DOCUMENT_HANDLING_STATUS).value_or(0) & FEED_READY) != 0;
}

// The page's pixels inside its BMP file; nothing (and the library's error) for a page that cannot
// be read. Pixels to be written into (straightened) make the bytes the acquisition's own first.
std::optional<DibPixels> PagePixels(QByteArray& bmp, bool writable)
{
    if (bmp.size() <= kBmpFileHeader)
        return std::nullopt;
    const unsigned char* data = writable ? reinterpret_cast<unsigned char*>(bmp.data())
                                         : reinterpret_cast<const unsigned char*>(bmp.constData());
    QString reason;
    std::optional<DibPixels> pixels
        = ParseDib(data + kBmpFileHeader, std::size_t(bmp.size() - kBmpFileHeader), &reason);
    if (!pixels)
        SetLastError(kBadPageImage, QStringLiteral("The scanner sent a page that cannot be read: %1").arg(reason));
    return pixels;
}

void Straighten(const DibPixels& pixels)
{
    if (pixels.bitsPerPixel == 8 && !HasIdentityGreyTable(pixels)) {
        ImagingLog(QStringLiteral("Page not straightened: its colours are not plain grey"));
        return;
    }
    const PageRaster raster { const_cast<unsigned char*>(pixels.rows), pixels.width, pixels.height, pixels.stride,
        pixels.bitsPerPixel / 8 };
    const double angle = DeskewPage(raster);
    ImagingLog(QStringLiteral("Page straightened by %1 degrees").arg(angle, 0, 'f', 2));
}

// Measures, straightens and writes one scanned page; false when the acquisition must end with the
// library's error.
bool TakePage(QByteArray bmp)
{
    const Scanner& scanner = State();
    if (bmp.isEmpty())
        return true;
    if (scanner.blankMode == 1) {
        if (!scanner.measure) {
            ImagingLog(QStringLiteral("No blank-page measure installed: page kept"));
        } else if (const double fraction = scanner.measure(bmp); fraction < scanner.blankThreshold) {
            ImagingLog(
                QStringLiteral("Blank page dropped: dark %1 below %2").arg(fraction).arg(scanner.blankThreshold));
            return true;
        }
    }
    const std::optional<DibPixels> pixels = PagePixels(bmp, scanner.deskew);
    if (!pixels)
        return false;
    if (scanner.deskew)
        Straighten(*pixels);
    return WriteOpenFilePage(*pixels) == kNoError;
}

// The pages of one acquisition into the file begun; false when it ended with the library's error.
bool ScanPages(const std::shared_ptr<IDevice>& device, const AcquireWindows& windows)
{
    const std::shared_ptr<IItem> item = device->Items()->Item(1);
    const bool feeder
        = (PropertyValue(device->Properties(), WIA_DPS_DOCUMENT_HANDLING_SELECT).value_or(0) & FEEDER) != 0;
    if (feeder && !FeederReady(device)) {
        SetLastError(
            kFeederEmpty, QStringLiteral("There is no paper in the document feeder of %1").arg(device->DeviceID()));
        return false;
    }
    for (bool more = true; more;) {
        QByteArray bmp;
        try {
            bmp = windows.transfer(item);
        } catch (const wia::Error& error) {
            if (!error.Cancelled())
                throw;
            ImagingLog(QStringLiteral("Page %1 cancelled: the acquisition ends").arg(OpenFilePageCount() + 1));
            return true;
        }
        if (!TakePage(std::move(bmp)))
            return false;
        more = feeder && FeederReady(device);
    }
    return true;
}

} // namespace

void SetBlankPageMeasure(PageMeasure measure)
{
    State().measure = std::move(measure);
}

bool PaperSizeThousandths(int paperSize, int* width, int* height)
{
    struct Size {
        int code;
        int width;
        int height;
    };
    // Sides in thousandths of an inch; metric sizes from their millimetres.
    static constexpr auto mm = [](double millimetres) { return int(std::lround(millimetres * 1000 / 25.4)); };
    static const Size sizes[] = {
        { 0, kWholeArea, kWholeArea }, // the scanner's whole area
        { 1, mm(210), mm(297) }, // A4
        { 2, mm(182), mm(257) }, // JIS B5
        { 3, 8500, 11000 }, // US Letter
        { 4, 8500, 14000 }, // US Legal
        { 5, mm(148), mm(210) }, // A5
        { 6, mm(250), mm(353) }, // ISO B4
        { 7, mm(125), mm(176) }, // ISO B6
        { 9, 11000, 17000 }, // US Ledger
        { 10, 7250, 10500 }, // US Executive
        { 11, mm(297), mm(420) }, // A3
        { 12, mm(353), mm(500) }, // ISO B3
        { 13, mm(105), mm(148) }, // A6
        { 14, mm(229), mm(324) }, // C4
        { 15, mm(162), mm(229) }, // C5
        { 16, mm(114), mm(162) }, // C6
    };
    for (const Size& size : sizes) {
        if (size.code == paperSize) {
            *width = size.width;
            *height = size.height;
            return true;
        }
    }
    return false;
}

void ApplyPaperSizeToSource(int paperSize)
{
    if (!State().source)
        return;
    const QString what = QStringLiteral("Paper size %1").arg(paperSize);
    int width = 0;
    int height = 0;
    if (!PaperSizeThousandths(paperSize, &width, &height)) {
        ImagingLog(QStringLiteral("%1: not known, the scanner's area stays").arg(what));
        return;
    }
    SetProperty(false, WIA_DPS_PAGE_WIDTH, width, what);
    SetProperty(false, WIA_DPS_PAGE_HEIGHT, height, what);
}

int AcquireMultipageFile(const QString& path, const AcquireWindows& windows)
{
    Scanner& scanner = State();
    ClearLastError();
    ImagingLog(QStringLiteral("AcquireMultipageFile %1").arg(path));
    if (!scanner.source && !TWAIN_OpenDefaultSource())
        return TWAIN_LastErrorCode();
    // The scanner is let go however the acquisition ends: the next one, or the other scanning
    // path, opens it anew.
    const std::shared_ptr<IDevice> device = std::exchange(scanner.source, nullptr);
    try {
        if (!scanner.hideUI && windows.deviceSettings(device) != 1) {
            ImagingLog(QStringLiteral("Acquisition cancelled in the scanner's settings"));
            return TWAIN_LastErrorCode();
        }
        if (TWAIN_BeginMultipageFile(path) != 0)
            return TWAIN_LastErrorCode();
        if (!ScanPages(device, windows)) {
            AbandonOpenFile();
            return TWAIN_LastErrorCode();
        }
    } catch (const std::exception& error) {
        SetLastError(kScanFailed, Describe(error));
        AbandonOpenFile();
        return TWAIN_LastErrorCode();
    }
    return TWAIN_EndMultipageFile();
}

} // namespace pd::platform::imaging

using namespace pd::platform::imaging;

void TWAIN_SetHideUI(int hide)
{
    ImagingLog(QStringLiteral("SetHideUI %1").arg(hide));
    State().hideUI = hide != 0;
}

int TWAIN_SelectFeeder(int feeder)
{
    ImagingLog(QStringLiteral("SelectFeeder %1").arg(feeder));
    State().feeder = feeder != 0;
    return ApplyDocumentHandling() ? 1 : 0;
}

int TWAIN_EnableDuplex(int duplex)
{
    ImagingLog(QStringLiteral("EnableDuplex %1").arg(duplex));
    State().duplex = duplex != 0;
    return ApplyDocumentHandling() ? 1 : 0;
}

void TWAIN_SetAutoDeskew(int deskew)
{
    ImagingLog(QStringLiteral("SetAutoDeskew %1").arg(deskew));
    State().deskew = deskew != 0;
}

int TWAIN_SetPixelType(int pixelType)
{
    const QString what = QStringLiteral("SetPixelType %1").arg(pixelType);
    ImagingLog(what);
    if (pixelType != 1 && pixelType != 2) {
        ImagingLog(QStringLiteral("%1: only grey (1) and colour (2) are offered").arg(what));
        return 0;
    }
    return SetProperty(true, pd::platform::wia::WIA_IPS_CUR_INTENT,
               pixelType == 2 ? pd::platform::wia::WIA_INTENT_IMAGE_TYPE_COLOR
                              : pd::platform::wia::WIA_INTENT_IMAGE_TYPE_GRAYSCALE,
               what)
        ? 1
        : 0;
}

int TWAIN_SetBitDepth(int bits)
{
    const QString what = QStringLiteral("SetBitDepth %1").arg(bits);
    ImagingLog(what);
    return SetProperty(true, pd::platform::wia::WIA_IPA_DEPTH, bits, what) ? 1 : 0;
}

int TWAIN_SetResolution(double dotsPerInch)
{
    const QString what = QStringLiteral("SetResolution %1").arg(dotsPerInch);
    ImagingLog(what);
    if (!(dotsPerInch >= 1 && dotsPerInch <= 100000)) {
        ImagingLog(QStringLiteral("%1: not a resolution").arg(what));
        return 0;
    }
    const int dpi = int(std::lround(dotsPerInch));
    const bool x = SetProperty(true, pd::platform::wia::WIA_IPS_XRES, dpi, what);
    const bool y = SetProperty(true, pd::platform::wia::WIA_IPS_YRES, dpi, what);
    return x && y ? 1 : 0;
}

void TWAIN_SetBlankPageMode(int mode)
{
    ImagingLog(QStringLiteral("SetBlankPageMode %1").arg(mode));
    State().blankMode = mode;
}

void TWAIN_SetBlankPageThreshold(double fraction)
{
    ImagingLog(QStringLiteral("SetBlankPageThreshold %1").arg(fraction));
    State().blankThreshold = fraction;
}

int TWAIN_OpenDefaultSource()
{
    Scanner& scanner = State();
    // A scanner opened before is let go first: one device cannot be opened twice.
    scanner.source.reset();
    ClearLastError();
    try {
        scanner.source = ConnectDefaultScanner();
    } catch (const std::exception& error) {
        SetLastError(kNoScanner, QStringLiteral("The scanner cannot be opened: %1").arg(Describe(error)));
        return 0;
    }
    if (!scanner.source) {
        SetLastError(kNoScanner, QStringLiteral("No scanner is connected"));
        return 0;
    }
    ImagingLog(QStringLiteral("OpenDefaultSource %1").arg(scanner.source->DeviceID()));
    // The paper size is the library's own setting: a scanner opened after it was set scans that
    // area all the same.
    ApplyPaperSizeToSource(CurrentPaperSize());
    return 1;
}

double TWAIN_GetCurrentResolution()
{
    const std::shared_ptr<pd::platform::wia::IDevice> source = State().source;
    if (!source)
        return 0;
    try {
        return PropertyValue(ItemProperties(source), pd::platform::wia::WIA_IPS_XRES).value_or(0);
    } catch (const std::exception& error) {
        ImagingLog(QStringLiteral("GetCurrentResolution: %1").arg(Describe(error)));
        return 0;
    }
}
