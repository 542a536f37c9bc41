#include <gtest/gtest.h>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/twain.h"
#include "scan/imagingsetup.h"
#include "tests/support/testsupport.h"

namespace pd::scan {
namespace {

TEST(ImagingLibraryStart, LibraryLogGoesIntoTheProgramLogFolder)
{
    test::TempFolder folder;
    platform::OverrideModuleFileName(folder.File(QStringLiteral("paperdart")));
    logging::LogModuleStart();
    TWAIN_LogFile(0);
    EXPECT_TRUE(platform::imaging::ImagingLogPath().isEmpty());

    ImagingLibraryStart();
    EXPECT_EQ(platform::imaging::ImagingLogPath(), folder.File(QStringLiteral("log/imaging.log")));
    platform::imaging::ImagingLog(QStringLiteral("trace line"));
    EXPECT_TRUE(test::ReadBytes(folder.File(QStringLiteral("log/imaging.log"))).endsWith(" trace line\n"));

    // Switched off, the library writes nothing.
    TWAIN_LogFile(0);
    platform::imaging::ImagingLog(QStringLiteral("not written"));
    EXPECT_FALSE(test::ReadBytes(folder.File(QStringLiteral("log/imaging.log"))).contains("not written"));

    logging::LogModuleEnd();
    platform::OverrideModuleFileName({});
}

} // namespace
} // namespace pd::scan
