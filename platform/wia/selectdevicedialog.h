#pragma once

#include <memory>
#include <vector>

#include <QDialog>

#include "platform/wia/wia.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace pd::platform::wia {

// The device list: one row per device of the wanted type. OK is enabled while a row is
// selected; a double click chooses that row. Without devices it says so and offers to look again.
class SelectDeviceDialog : public QDialog {
    Q_OBJECT
public:
    SelectDeviceDialog(std::shared_ptr<IDeviceManager> manager, int deviceType, QWidget* owner);

    // Selects the row of the device with that name, when it is listed.
    void Preselect(const QString& deviceId);

    // The chosen device after a result of 1.
    std::shared_ptr<IDeviceInfo> Chosen() const;

    void accept() override { done(1); }
    void reject() override { done(2); }

private:
    void Fill();

    std::shared_ptr<IDeviceManager> m_manager;
    int m_deviceType;
    std::vector<std::shared_ptr<IDeviceInfo>> m_devices;
    QTreeWidget* m_list;
    QLabel* m_empty;
    QPushButton* m_ok;
};

} // namespace pd::platform::wia
