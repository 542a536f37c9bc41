#include "platform/wia/wialog.h"

namespace pd::platform::wia {

Q_LOGGING_CATEGORY(lcWia, "pd.wia", QtInfoMsg)

} // namespace pd::platform::wia
