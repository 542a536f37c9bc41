#pragma once

namespace pd::platform::wia {

// Stand-ins for the thread's COM initialisation before any window exists: bring the scanner
// library up (sane_init) and down again (sane_exit, only after a successful start).
void CoInitialize();
void CoUninitialize();

} // namespace pd::platform::wia
