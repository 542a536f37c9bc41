#pragma once

#include <QString>

namespace pd::platform::imaging {

// The library's own file in the user's settings folder, where the scanner chosen with
// TWAIN_SelectImageSource is kept for the TWAIN path: its SANE device name.
QString ImageSourceFile();
// The device name kept there; empty when none was chosen yet.
QString RememberedImageSource();
// Keeps deviceName; false when the file could not be written.
bool RememberImageSource(const QString& deviceName);

} // namespace pd::platform::imaging
