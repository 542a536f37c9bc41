#include <QWidget>

#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "platform/wia/devicesettingsdialog.h"
#include "platform/wia/transferdialog.h"

int TWAIN_AcquireMultipageFile(quintptr window, const QString& path)
{
    using namespace pd::platform;
    QWidget* owner = QWidget::find(WId(window));
    imaging::AcquireWindows windows;
    windows.deviceSettings
        = [owner](const std::shared_ptr<wia::IDevice>& device) { return wia::ShowDeviceSettings(device, owner); };
    windows.transfer = [owner](const std::shared_ptr<wia::IItem>& item) {
        wia::TransferDialog progress(item, owner);
        return progress.Run();
    };
    return imaging::AcquireMultipageFile(path, windows);
}
