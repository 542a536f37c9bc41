#include "platform/wia/commondialog.h"

#include <QWidget>

#include "platform/wia/selectdevicedialog.h"
#include "platform/wia/transferdialog.h"

namespace pd::platform::wia {

namespace {

class CommonDialog : public ICommonDialog {
public:
    CommonDialog(std::shared_ptr<IDeviceManager> manager, QWidget* owner)
        : m_manager(std::move(manager))
        , m_owner(owner)
    {
    }

    std::shared_ptr<IDevice> ShowSelectDevice(int deviceType, bool alwaysSelectDevice, bool cancelError) override
    {
        if (!alwaysSelectDevice) {
            const std::shared_ptr<IDeviceInfos> infos = m_manager->DeviceInfos();
            std::shared_ptr<IDeviceInfo> only;
            int count = 0;
            for (int i = 1; i <= infos->Count(); ++i) {
                if (std::shared_ptr<IDeviceInfo> info = infos->Item(i); info->Type() == deviceType) {
                    only = info;
                    ++count;
                }
            }
            if (count == 1)
                return only->Connect();
        }
        SelectDeviceDialog dialog(m_manager, deviceType, m_owner);
        if (dialog.exec() == 1) {
            if (const std::shared_ptr<IDeviceInfo> chosen = dialog.Chosen())
                return chosen->Connect();
        }
        if (cancelError)
            throw Error(QStringLiteral("The device choice was cancelled"), true);
        return nullptr;
    }

    std::shared_ptr<ImageFile> ShowTransfer(
        const std::shared_ptr<IItem>& item, const QString& format, bool cancelError) override
    {
        if (format.compare(QStringView(wiaFormatBMP), Qt::CaseInsensitive) != 0)
            throw Error(QStringLiteral("Transfer format %1 is not supported").arg(format));
        TransferDialog dialog(item, m_owner);
        try {
            return std::make_shared<ImageFile>(dialog.Run());
        } catch (const Error& error) {
            if (error.Cancelled() && !cancelError)
                return nullptr;
            throw;
        }
    }

private:
    std::shared_ptr<IDeviceManager> m_manager;
    QWidget* m_owner;
};

} // namespace

std::shared_ptr<ICommonDialog> CreateCommonDialog(std::shared_ptr<IDeviceManager> manager, QWidget* owner)
{
    return std::make_shared<CommonDialog>(std::move(manager), owner);
}

} // namespace pd::platform::wia
