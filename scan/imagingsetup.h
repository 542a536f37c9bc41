#pragma once

namespace pd::scan {

// Start step of the imaging library in the start-up sequence: its own log is switched off, pointed
// at the program's log folder and switched on again. The library then judges blank pages by the
// program's own measure.
void ImagingLibraryStart();

} // namespace pd::scan
