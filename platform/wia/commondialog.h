#pragma once

#include <memory>

#include "platform/wia/wia.h"

class QWidget;

namespace pd::platform::wia {

// The common dialog over Qt windows. ShowSelectDevice is a modal list of the devices of the
// manager (vendor, model, connection, device name); ShowTransfer a modal progress window while
// the page is read on a thread of its own, so the window keeps painting and Cancel is honoured
// while the device blocks. Both return only when their window has closed. Modal results are 1
// (OK) and 2 (cancel, Escape, closing), as everywhere in the program.
std::shared_ptr<ICommonDialog> CreateCommonDialog(std::shared_ptr<IDeviceManager> manager, QWidget* owner = nullptr);

// Object names tests and the look-over find the windows by.
inline constexpr char kSelectDeviceWindow[] = "SelectDeviceDialog";
inline constexpr char kTransferWindow[] = "TransferDialog";

} // namespace pd::platform::wia
