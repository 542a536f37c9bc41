#include "scan/scanlog.h"

namespace pd::scan {

Q_LOGGING_CATEGORY(lcScan, "pd.scan", QtInfoMsg)

} // namespace pd::scan
