#pragma once

#include <QLoggingCategory>

namespace pd::scan {

// Detail of a scan (why a page step ended, what a page measured). Off by default; never goes
// into the monthly log.
Q_DECLARE_LOGGING_CATEGORY(lcScan)

} // namespace pd::scan
