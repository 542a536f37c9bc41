#include "platform/window.h"

#include <QWidget>

namespace pd::platform {

bool SetForegroundWindow(QWidget* window)
{
    if (!window)
        return false;
    window->raise();
    window->activateWindow();
    return true;
}

} // namespace pd::platform
