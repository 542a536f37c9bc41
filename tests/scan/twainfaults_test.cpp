// A scanner that jams, has its cover open, fails a transfer or disappears, on the imaging
// library's path: the run fails as a whole with the library's error, no PDF of part of the
// document is left, and the next scan works.
#include <gtest/gtest.h>

#include "platform/wia/commondialog.h"
#include "scan/imagingsetup.h"
#include "scan/twainscan.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/platform/wia/sanefaults.h"
#include "tests/scan/faultscanfixture.h"

namespace pd::scan {
namespace {

using pd::test::ModalPresser;
using pd::test::PrivateSane;
using pd::test::SaneFault;
using pd::test::SaneFaults;
using pd::test::SaneStage;
using pd::test::SaneStatus;

class TwainFaults : public test::FaultScan {
protected:
    void SetUp() override
    {
        FaultScan::SetUp();
        ImagingLibraryStart();
    }
    void TearDown() override
    {
        TWAIN_LogFile(0);
        FaultScan::TearDown();
    }
    int Scan(bool feeder) { return TwainScanToPdf(0, m_pdf, false, true, 20 / 10000.0, 50, 0, feeder, 0); }
    QStringList ScanLines() { return NewLogLines().filter(QStringLiteral("scan"), Qt::CaseInsensitive); }
};

TEST_F(TwainFaults, EachFaultFailsTheWholeRunAndLeavesNoFile)
{
    const QStringList kFailed { QStringLiteral("Start scan: ") + m_pdf + QStringLiteral(" @DPI: 50"),
        QStringLiteral("End scan") + m_pdf, QStringLiteral("Unable to scan.") };
    const QStringList kNoScanner { QStringLiteral("No TWAIN Scanner found.") };
    const struct {
        const char* name;
        SaneFault fault;
        bool feeder;
        int result;
        QStringList logLines; // those about the scan
        int transfers; // progress windows shown
    } cases[] = {
        { "jam as the first sheet starts", { SaneStage::Start, SaneStatus::Jammed }, true, -1, kFailed, 0 },
        { "cover open as the first sheet starts", { SaneStage::Start, SaneStatus::CoverOpen }, true, -1, kFailed, 0 },
        { "jam as the fourth sheet starts", { SaneStage::Start, SaneStatus::Jammed, 4 }, true, -1, kFailed, 3 },
        { "I/O error on the second sheet", { SaneStage::Read, SaneStatus::IoError, 2 }, true, -1, kFailed, 2 },
        { "gone while reading the third sheet", { SaneStage::Read, SaneStatus::IoError, 3, true, true }, true, -1,
            kFailed, 3 },
        { "gone before the scan, listed but not opened", { SaneStage::Open, SaneStatus::Invalid, 1, true, true }, true,
            -2, kNoScanner, 0 },
        { "cover open on the glass", { SaneStage::Start, SaneStatus::CoverOpen }, false, -1, kFailed, 1 },
        { "I/O error on the glass", { SaneStage::Read, SaneStatus::IoError }, false, -1, kFailed, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrivateSane sane;
        {
            SaneFaults faults(c.fault);
            ModalPresser presser;
            EXPECT_EQ(Scan(c.feeder), c.result);
            EXPECT_TRUE(faults.Struck());
            EXPECT_EQ(presser.Count(QLatin1String(platform::wia::kTransferWindow)), c.transfers);
            EXPECT_EQ(presser.Seen().size(), c.transfers) << presser.Seen().join(u',').toStdString();
            EXPECT_EQ(ScanLines(), c.logLines);
            EXPECT_EQ(reports, c.result == -1 ? QStringList { QStringLiteral("Unable to scan.") } : QStringList())
                << reports.join(u'|').toStdString();
            EXPECT_FALSE(QFileInfo::exists(m_pdf));
            EXPECT_EQ(JobFolderEntries(), QStringList()) << "nothing half written is left";
        }
        // A device gone before it was opened stays unknown to the library until it is back.
        reports.clear();
        ModalPresser presser;
        EXPECT_EQ(Scan(true), 0);
        EXPECT_EQ(PdfPages(), 10);
        EXPECT_EQ(JobFolderEntries(), ExpectedEntries(10));
        EXPECT_TRUE(reports.isEmpty());
        QFile::remove(m_pdf);
        NewLogLines();
    }
}

TEST_F(TwainFaults, ScannerGoneForGoodIsNoScannerAtTheNextRun)
{
    PrivateSane sane;
    SaneFaults faults({ SaneStage::Read, SaneStatus::IoError, 2, true, true });
    ModalPresser presser;
    EXPECT_EQ(Scan(true), -1);
    EXPECT_EQ(Scan(true), -2);
    EXPECT_EQ(ScanLines().last(), QStringLiteral("No TWAIN Scanner found."));
    EXPECT_EQ(JobFolderEntries(), QStringList());
}

} // namespace
} // namespace pd::scan
