#pragma once

class QWidget;

namespace pd::util {

// Brings the window in front of other programs' windows as far as the window manager allows.
// True unless there is no window.
bool ForceForegroundWindow(QWidget* window);

} // namespace pd::util
