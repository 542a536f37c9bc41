#pragma once

#include <QLoggingCategory>

namespace pd::platform::wia {

// Backend detail of the scanner objects: every SANE call with its arguments and status. Off by
// default; QT_LOGGING_RULES="pd.wia.debug=true" switches it on. Never goes into the monthly log.
Q_DECLARE_LOGGING_CATEGORY(lcWia)

} // namespace pd::platform::wia
