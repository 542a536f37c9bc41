#pragma once

#include <QString>

namespace pd::platform::imaging {

// The library's own trace file: "imaging.log" in the folder set by TWAIN_SetLogFolder. Empty while
// the log is off or no folder is set.
QString ImagingLogPath();

// Appends one time-stamped UTF-8 line to the trace file while the log is on; never raises.
void ImagingLog(const QString& text);

} // namespace pd::platform::imaging
