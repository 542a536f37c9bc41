#include "util/foreground.h"

#include "platform/window.h"

namespace pd::util {

bool ForceForegroundWindow(QWidget* window)
{
    return platform::SetForegroundWindow(window);
}

} // namespace pd::util
