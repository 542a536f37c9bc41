#pragma once

class QWidget;

namespace pd::platform {

// Stand-in for AttachThreadInput + SetForegroundWindow: raises the window and asks the window
// manager to activate it. The window manager decides; the window is shown either way. False for
// a null window.
bool SetForegroundWindow(QWidget* window);

} // namespace pd::platform
