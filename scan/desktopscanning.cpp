#include "scan/desktopscanning.h"

#include "platform/imaging/twain.h"
#include "platform/wia/commondialog.h"
#include "platform/wia/sanedevices.h"
#include "scan/scandispatcher.h"
#include "ui/messagebox.h"

namespace pd::scan {

void InstallDesktopScanning()
{
    ScanPlatform desktop;
    desktop.CoDeviceManager = &platform::wia::CreateSaneDeviceManager;
    desktop.CoCommonDialog = [] { return platform::wia::CreateCommonDialog(platform::wia::CreateSaneDeviceManager()); };
    desktop.QueryBox = &ui::QueryBox;
    desktop.ReportLastError = &TWAIN_ReportLastError;
    desktop.AcquireMultipageFile = &TWAIN_AcquireMultipageFile;
    SetScanPlatform(std::move(desktop));
}

} // namespace pd::scan
