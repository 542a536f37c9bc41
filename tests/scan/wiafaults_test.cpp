// A scanner that jams, has its cover open, fails a transfer or disappears, on the scanning path of
// the delivered program: each scan ends with its result, nothing half written is left, and the
// next scan works.
#include <gtest/gtest.h>

#include "platform/wia/commondialog.h"
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

const QString kSelect = QLatin1String(platform::wia::kSelectDeviceWindow);
const QString kTransfer = QLatin1String(platform::wia::kTransferWindow);
const QString kQuestion = QStringLiteral("Form_Messagebox");
const ModalPresser::Answer kYes { kQuestion, QStringLiteral("ASButtonOK") };
const ModalPresser::Answer kNo { kQuestion, QStringLiteral("ASBCancel") };
const ModalPresser::Answer kNoScanner { kSelect, QStringLiteral("CancelButton") };

class WiaFaults : public test::FaultScan {
protected:
    int Scan(bool feeder) { return ScanToPdf(0, m_pdf, false, true, 20 / 10000.0, 50, 0, feeder, 0); }
};

TEST_F(WiaFaults, EachFaultEndsTheScanWithItsResultAndLeavesNothingHalfWritten)
{
    const QString kEscaped = QStringLiteral("except: scan");
    const struct {
        const char* name;
        SaneFault fault;
        bool feeder;
        int result;
        int pages; // in the PDF; 0: no file left
        QStringList windows; // the modal windows that came up
        bool escaped; // the dispatcher logged an error that left the acquisition
        std::vector<ModalPresser::Answer> answers = {};
    } cases[] = {
        // The feeder's first sheet is probed before the page loop: a fault there is not a page's.
        { "jam as the first sheet starts", { SaneStage::Start, SaneStatus::Jammed }, true, -1, 0, {}, true },
        { "cover open as the first sheet starts", { SaneStage::Start, SaneStatus::CoverOpen }, true, -1, 0, {}, true },
        // Pages already written stay in the PDF.
        { "jam as the fourth sheet starts", { SaneStage::Start, SaneStatus::Jammed, 4 }, true, 0, 3,
            { kTransfer, kTransfer, kTransfer }, false },
        { "I/O error on the fifth sheet", { SaneStage::Read, SaneStatus::IoError, 5 }, true, 0, 4,
            { kTransfer, kTransfer, kTransfer, kTransfer, kTransfer }, false },
        // A failed first feeder page sends the request to the glass, which works.
        { "I/O error on the first sheet only", { SaneStage::Read, SaneStatus::IoError, 1, false }, true, 0, 1,
            { kTransfer, kTransfer, kQuestion }, false, { kNo } },
        { "I/O error on every page", { SaneStage::Read, SaneStatus::IoError, 1 }, true, 0, 0, { kTransfer, kTransfer },
            false },
        // Gone during the first sheet: the glass is tried on a scanner no longer listed.
        { "gone while reading the first sheet", { SaneStage::Read, SaneStatus::IoError, 1, true, true }, true, -1, 0,
            { kTransfer, kSelect }, false, { kNoScanner } },
        { "gone while reading the third sheet", { SaneStage::Read, SaneStatus::IoError, 3, true, true }, true, 0, 2,
            { kTransfer, kTransfer, kTransfer }, false },
        { "gone as the first sheet starts", { SaneStage::Start, SaneStatus::IoError, 1, true, true }, true, -1, 0, {},
            true },
        { "gone between the device list and opening it", { SaneStage::Open, SaneStatus::Invalid, 1, true, true }, true,
            -1, 0, {}, true },
        // On the glass a failed page ends the scan with what was written before.
        { "cover open on the glass", { SaneStage::Start, SaneStatus::CoverOpen }, false, 0, 0, { kTransfer }, false },
        { "I/O error on the third page on the glass", { SaneStage::Read, SaneStatus::IoError, 3 }, false, 0, 2,
            { kTransfer, kQuestion, kTransfer, kQuestion, kTransfer }, false, { kYes, kYes } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrivateSane sane;
        {
            SaneFaults faults(c.fault);
            ModalPresser presser(c.answers);
            EXPECT_EQ(Scan(c.feeder), c.result);
            EXPECT_TRUE(faults.Struck());
            EXPECT_EQ(presser.Seen(), c.windows);
            EXPECT_TRUE(presser.AllPressed());
            EXPECT_EQ(PdfPages(), c.pages);
            EXPECT_EQ(JobFolderEntries(), ExpectedEntries(c.pages));
            EXPECT_EQ(NewLogLines().contains(kEscaped), c.escaped);
            EXPECT_TRUE(reports.isEmpty()) << reports.join(u'|').toStdString();
        }
        // The program goes on: the next scan of the same scanner is whole.
        QFile::remove(m_pdf);
        ModalPresser presser;
        EXPECT_EQ(Scan(true), 0);
        EXPECT_EQ(PdfPages(), 10);
        EXPECT_EQ(JobFolderEntries(), ExpectedEntries(10));
        QFile::remove(m_pdf);
        NewLogLines();
    }
}

} // namespace
} // namespace pd::scan
