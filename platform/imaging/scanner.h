#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

namespace pd::platform::wia {
class IDevice;
class IItem;
} // namespace pd::platform::wia

namespace pd::platform::imaging {

// The blank-page measure of kept pages: the share of dark pixels of a page, given as a BMP file,
// 0 to 1. The program installs its own, so both of its scanning paths judge pages alike; without
// one, blank-page mode keeps every page.
using PageMeasure = std::function<double(const QByteArray& bmpFile)>;
void SetBlankPageMeasure(PageMeasure measure);

// The windows of one acquisition, handed in so the acquisition itself runs without widgets.
struct AcquireWindows {
    // The scanner's own settings, shown while hide-UI is off: 1 scans, anything else does not.
    std::function<int(const std::shared_ptr<wia::IDevice>& device)> deviceSettings;
    // Reads one page while showing its progress: the page's BMP file; throws wia::Error,
    // Cancelled() when the user stopped it.
    std::function<QByteArray(const std::shared_ptr<wia::IItem>& item)> transfer;
};

// TWAIN_AcquireMultipageFile with its windows given.
int AcquireMultipageFile(const QString& path, const AcquireWindows& windows);

// Puts a paper size code onto the open scanner's scan area; nothing without one. An unknown code
// leaves the scanner's area as it is.
void ApplyPaperSizeToSource(int paperSize);

// Paper size code to its sides in thousandths of an inch (portrait); false for a code the library
// does not know (0 means the scanner's whole area).
bool PaperSizeThousandths(int paperSize, int* width, int* height);

} // namespace pd::platform::imaging
