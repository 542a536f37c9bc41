// A scanner that fails during the job: the user is told what the job could do, nothing half
// written is left, and the next job works.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "tests/app/soakdesk.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/sanefaults.h"
#include "tests/support/testsupport.h"

namespace pd::app {
namespace {

using namespace Qt::StringLiterals;
using pd::test::SaneFault;
using pd::test::SaneFaults;
using pd::test::SaneStage;
using pd::test::SaneStatus;

const QString kScanFailed = u"Form_Messagebox Bitte überprüfen Sie Ihren Scanner und Ihre Einstellungen."_s;
const QString kNoPdf = u"Form_Messagebox Es wurde keine PDF-Datei erzeugt."_s;

int Pages(const QString& pdf)
{
    return QFileInfo::exists(pdf) ? int(platform::imaging::test::PageSizes(pdf).size()) : 0;
}

TEST(JobFaults, EachScannerFaultEndsTheJobWithItsMessageOrAShorterDocument)
{
    const struct {
        const char* name;
        SaneFault fault;
        bool feeder;
        QStringList windows; // closed by the desk, each with its text's first line
        int mailedPages; // 0: nothing mailed, no file left
        bool escaped; // "except: scan" logged
    } cases[] = {
        { "cover open as the first sheet starts", { SaneStage::Start, SaneStatus::CoverOpen }, true, { kScanFailed }, 0,
            true },
        { "jam as the fourth sheet starts", { SaneStage::Start, SaneStatus::Jammed, 4 }, true, {}, 3, false },
        // The glass is tried on a scanner no longer listed; its empty device list is cancelled.
        { "gone while reading the first sheet", { SaneStage::Read, SaneStatus::IoError, 1, true, true }, true,
            { u"SelectDeviceDialog"_s, kScanFailed }, 0, false },
        { "cover open on the glass", { SaneStage::Start, SaneStatus::CoverOpen }, false, { kNoPdf }, 0, false },
    };
    test::SoakDesk desk;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int logBefore = int(desk.LogText().size());
        test::SoakDesk::Job job;
        {
            SaneFaults faults(c.fault);
            job = desk.RunJob(c.feeder);
            EXPECT_TRUE(faults.Struck());
        }
        QStringList firstLines;
        for (const QString& window : job.windows)
            firstLines.append(window.section(u'\n', 0, 0));
        EXPECT_EQ(firstLines, c.windows);
        EXPECT_EQ(job.handedOver, c.mailedPages > 0);
        EXPECT_EQ(Pages(job.pdfPath), c.mailedPages);
        const QStringList leftOver = c.mailedPages > 0 ? desk.LastJobsFiles() : QStringList { u"Paperdart"_s };
        EXPECT_EQ(desk.TempEntries(), leftOver) << "nothing half written";
        EXPECT_EQ(desk.LogText().mid(logBefore).contains(u"except: scan"_s), c.escaped);

        // The program goes on: the next job mails the whole document.
        const test::SoakDesk::Job next = desk.RunJob();
        EXPECT_TRUE(next.handedOver && next.windows.isEmpty()) << next.windows.join(u'|').toStdString();
        EXPECT_EQ(Pages(next.pdfPath), 10);
    }
}

} // namespace
} // namespace pd::app
