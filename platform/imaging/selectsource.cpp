#include <QWidget>

#include "platform/imaging/imagesource.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/twain.h"
#include "platform/wia/sanedevices.h"
#include "platform/wia/selectdevicedialog.h"

int TWAIN_SelectImageSource(quintptr window)
{
    using namespace pd::platform;
    try {
        wia::SelectDeviceDialog dialog(
            wia::CreateSaneDeviceManager(), wia::ScannerDeviceType, QWidget::find(WId(window)));
        dialog.Preselect(imaging::RememberedImageSource());
        if (dialog.exec() != 1 || !dialog.Chosen())
            return 0;
        const QString device = dialog.Chosen()->DeviceID();
        imaging::ImagingLog(QStringLiteral("SelectImageSource: ") + device);
        return imaging::RememberImageSource(device) ? 1 : 0;
    } catch (const std::exception& error) {
        imaging::ImagingLog(QStringLiteral("SelectImageSource failed: ") + QString::fromUtf8(error.what()));
        return 0;
    }
}
