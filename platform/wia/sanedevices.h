#pragma once

#include <memory>

#include <QString>

#include "platform/wia/wia.h"

namespace pd::platform::wia {

// The device manager over libsane: the devices SANE reports, DeviceID the SANE device name,
// Connect opening it. sane_init must have run (CoInitialize).
std::shared_ptr<IDeviceManager> CreateSaneDeviceManager();

// What the name of a SANE device tells of its connection: network backends and addresses are
// Network, USB bus names Usb, everything else (virtual, parallel, SCSI) Other.
Connection ConnectionOfDeviceName(const QString& name);

} // namespace pd::platform::wia
