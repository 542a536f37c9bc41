#pragma once

#include <memory>

#include <QString>

#include "platform/wia/devicesettings.h"

namespace pd::platform::wia {

class SaneSession;

// Part of the SANE layer only: the settings of an opened device, its options one for one.
// deviceTitle is the device's vendor and model, or empty.
std::shared_ptr<IDeviceSettings> CreateSaneDeviceSettings(std::shared_ptr<SaneSession> session, QString deviceTitle);

} // namespace pd::platform::wia
