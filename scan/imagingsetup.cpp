#include "scan/imagingsetup.h"

#include "logging/log.h"
#include "platform/imaging/twain.h"
#include "scan/twainscan.h"

namespace pd::scan {

void ImagingLibraryStart()
{
    TWAIN_LogFile(0);
    TWAIN_SetLogFolder(logging::LogFolder());
    TWAIN_LogFile(1);
    InstallBlankPageMeasure();
}

} // namespace pd::scan
