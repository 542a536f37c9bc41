#pragma once

#include <QString>

namespace pd::platform {

// Stand-in for GetComputerName: the host name up to its first dot, whole (Linux host names are
// often longer than the 15 characters a Windows computer name has, and the log must still name
// the machine). Empty when it cannot be had.
QString GetComputerName();

} // namespace pd::platform
