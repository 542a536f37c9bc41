#pragma once

#include <memory>

#include <QString>

namespace pd::platform::wia {
class IDevice;
class IProperties;
} // namespace pd::platform::wia

namespace pd::scan {

// Scans a document page by page with the installed scanner objects (SetScanPlatform) into the
// multi-page PDF at pdfPath, dropping pages whose share of dark pixels is below threshold and
// cropping the rest to their content. Feeder: pages follow while the feeder holds paper; a feeder
// without paper at the start turns into a flatbed scan. Flatbed: the user is asked after each
// page. Returns 0 (ran to its end; the PDF exists when a page was kept), -1 (no scanner chosen,
// or the PDF could not be completed), -2 (the chosen scanner is not connected) or 1 (the feeder
// transfer failed before any page was kept). Other scanner errors are thrown, after the PDF has
// been closed.
int WiaScanToPdf(const QString& pdfPath, bool colour, double threshold, int resolution, bool feeder);

// The device ID of the only scanner connected; empty for none or several.
QString FindSingleScanner();
// The only scanner, else the one the user picks from the device list; empty when none is picked.
QString ChooseScanner();

// Writes the property with that ID, going on to a later one of the same ID when a write fails.
// True when the value could not be written (no such property or every write refused); callers
// go on either way.
bool SetItemProperty(const std::shared_ptr<platform::wia::IProperties>& properties, int propertyId, int value);
bool SetDeviceProperty(const std::shared_ptr<platform::wia::IDevice>& device, int propertyId, int value);

// Whether the feeder is selected and holds paper.
bool FeederReady(const std::shared_ptr<platform::wia::IDevice>& device);

} // namespace pd::scan
