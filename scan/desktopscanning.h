#pragma once

namespace pd::scan {

// Installs the scanner objects of a desktop run for ScanToPdf: devices through SANE, the device
// list and progress windows, the program's question box and the imaging library's error box.
// Called once at start-up, after CoInitialize.
void InstallDesktopScanning();

} // namespace pd::scan
