// Many scan-and-send jobs in a row in one process, as a long working day runs them: every job
// mails its own document, and none leaves an open file or a file behind.
#include <cstdlib>
#include <gtest/gtest.h>

#include <QFileInfo>

#include "tests/app/soakdesk.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/support/testsupport.h"

namespace pd::app {
namespace {

// The full run; PD_SOAK_JOBS sets fewer for a build too slow for it (the sanitizers').
int JobCount()
{
    const int jobs = qEnvironmentVariableIntValue("PD_SOAK_JOBS");
    return jobs > 0 ? jobs : 200;
}

TEST(Soak, JobsInARowLeaveNoOpenFileAndNoFileButTheLastJobs)
{
    test::SoakDesk desk;
    const QStringList before = test::OpenFileDescriptors();
    const int jobs = JobCount();
    int failed = 0;
    QString lastPdf;
    for (int i = 1; i <= jobs; ++i) {
        const test::SoakDesk::Job job = desk.RunJob();
        lastPdf = job.pdfPath;
        const bool good = job.pdfWritten && job.messageWritten && job.handedOver && job.windows.isEmpty();
        if (!good && ++failed <= 5)
            ADD_FAILURE() << "job " << i << " " << job.pdfPath.toStdString() << ": pdf " << job.pdfWritten
                          << ", message " << job.messageWritten << ", handed over " << job.handedOver << ", windows "
                          << job.windows.join(u'|').toStdString();
    }
    EXPECT_EQ(failed, 0) << "of " << jobs << " jobs";

    EXPECT_EQ(test::OpenFileDescriptors(), before);
    EXPECT_EQ(desk.TempEntries(), desk.LastJobsFiles());
    // The last job's document is whole: the feeder's ten pages.
    EXPECT_EQ(platform::imaging::test::PageSizes(lastPdf).size(), 10u);
}

} // namespace
} // namespace pd::app
