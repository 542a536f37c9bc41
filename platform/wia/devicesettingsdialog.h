#pragma once

#include <memory>

#include "platform/wia/wia.h"

class QWidget;

namespace pd::platform::wia {

// The device's own settings in a modal window owned by owner: 1 when the user chose "Scannen",
// 2 for "Abbrechen", Escape or closing. Changes are written to the device as they are made, and
// stay written when the user cancels. The settings are read before the window opens: a device
// without settings of its own, or one that cannot list them, throws its wia::Error on to the
// caller and no window is shown.
int ShowDeviceSettings(const std::shared_ptr<IDevice>& device, QWidget* owner);

// Object name of the window. Its scan button is "scan", its cancel button "cancel", and each
// setting's control carries the setting's name.
inline constexpr char kDeviceSettingsWindow[] = "DeviceSettingsDialog";

} // namespace pd::platform::wia
