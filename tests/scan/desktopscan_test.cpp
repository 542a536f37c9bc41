#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTreeWidget>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/wia/commondialog.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::scan {
namespace {

using pd::test::ModalPresser;
using pd::test::PrivateSane;

const QString kSelect = QLatin1String(platform::wia::kSelectDeviceWindow);
const QString kTransfer = QLatin1String(platform::wia::kTransferWindow);
const QString kQuestion = QStringLiteral("Form_Messagebox");
const QString kYes = QStringLiteral("ASButtonOK");
const QString kNo = QStringLiteral("ASBCancel");

QStringList Times(int count, const QString& window)
{
    QStringList windows;
    for (int i = 0; i < count; ++i)
        windows << window;
    return windows;
}

// Whole scans as the program runs them: SANE's test backend behind the real scanner objects,
// device list, progress windows and question box, answered by a presser like a user would.
class DesktopScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(QStringLiteral("paperdart")));
        logging::LogModuleStart();
        InstallDesktopScanning();
        m_pdf = util::GetTempDirectory() + QStringLiteral("Paperdart/Scan_20261210_0930.pdf");
    }
    void TearDown() override
    {
        SetScanPlatform({});
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    int Scan(bool feeder, int resolution = 100)
    {
        return ScanToPdf(0, m_pdf, false, true, 20 / 10000.0, resolution, 0, feeder, 0);
    }
    int PdfPages() const { return int(platform::imaging::test::PageSizes(m_pdf).size()); }
    QString Log() const
    {
        QString all;
        const QDir log(m_program.File(QStringLiteral("log")));
        for (const QString& name : log.entryList({ QStringLiteral("*.log") }, QDir::Files))
            all += QString::fromUtf8(pd::test::ReadBytes(log.filePath(name)));
        return all;
    }
    QStringList JobFolderEntries() const
    {
        return QDir(QFileInfo(m_pdf).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    pd::test::TempFolder m_temp;
    pd::test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    pd::test::TempFolder m_program;
    QString m_pdf;
};

TEST_F(DesktopScan, FeederOfBlackPagesGivesAPdfOfItsTenPages)
{
    PrivateSane sane;
    ModalPresser presser;
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(PdfPages(), 10);
    // One progress window per page; no device list for the only scanner, no question.
    EXPECT_EQ(presser.Seen(), Times(10, kTransfer));
    EXPECT_EQ(JobFolderEntries(), QStringList { QFileInfo(m_pdf).fileName() });
}

TEST_F(DesktopScan, FeederOfWhitePagesLeavesNoFileAndIsNotRepeated)
{
    PrivateSane sane({ QStringLiteral("test-picture \"Solid white\"") });
    ModalPresser presser;
    EXPECT_EQ(Scan(true), 0);
    EXPECT_FALSE(QFileInfo::exists(m_pdf));
    EXPECT_TRUE(JobFolderEntries().isEmpty());
    EXPECT_EQ(presser.Seen(), Times(10, kTransfer));
}

TEST_F(DesktopScan, SeveralScannersAreOfferedAndCancelTouchesNoFile)
{
    PrivateSane sane({ QStringLiteral("number_of_devices 2") });
    {
        ModalPresser presser({ { kSelect, QStringLiteral("CancelButton") } });
        EXPECT_EQ(Scan(true), -1);
        EXPECT_EQ(presser.Seen(), QStringList { kSelect });
        EXPECT_TRUE(JobFolderEntries().isEmpty());
    }
    {
        // The second scanner, on the flatbed, one page.
        ModalPresser presser({ { kSelect, QStringLiteral("OkButton"),
                                   [](QWidget* window) {
                                       auto* list = window->findChild<QTreeWidget*>(QStringLiteral("DeviceList"));
                                       list->setCurrentItem(list->topLevelItem(1));
                                       return true;
                                   } },
            { kQuestion, kNo } });
        EXPECT_EQ(Scan(false), 0);
        EXPECT_EQ(presser.Seen(), QStringList({ kSelect, kTransfer, kQuestion }));
        EXPECT_EQ(PdfPages(), 1);
    }
}

TEST_F(DesktopScan, FlatbedAsksAfterEachPage)
{
    PrivateSane sane;
    ModalPresser presser({ { kQuestion, kYes }, { kQuestion, kYes }, { kQuestion, kNo } });
    EXPECT_EQ(Scan(false), 0);
    EXPECT_EQ(PdfPages(), 3);
    EXPECT_EQ(presser.Seen(), QStringList({ kTransfer, kQuestion, kTransfer, kQuestion, kTransfer, kQuestion }));
}

TEST_F(DesktopScan, FlatbedAnsweredNoAfterABlankPageLeavesNoFile)
{
    PrivateSane sane({ QStringLiteral("test-picture \"Solid white\"") });
    ModalPresser presser({ { kQuestion, kNo } });
    EXPECT_EQ(Scan(false), 0);
    EXPECT_FALSE(QFileInfo::exists(m_pdf));
    EXPECT_EQ(presser.Seen(), QStringList({ kTransfer, kQuestion }));
}

TEST_F(DesktopScan, JammedFeederIsTriedOnceMoreOnTheFlatbed)
{
    const int status = PrivateSane::RunWithFailingReads([this] {
        PrivateSane sane(PrivateSane::FailingReads("SANE_STATUS_JAMMED"));
        ModalPresser presser;
        const int result = Scan(true);
        // The feeder's failed page, then the flatbed's, which fails the same way and ends the scan.
        return (result == 0 ? 0 : 1) | (QFileInfo::exists(m_pdf) ? 2 : 0)
            | (presser.Seen() == Times(2, kTransfer) ? 0 : 4) | (Log().contains(QLatin1String("except: scan")) ? 8 : 0);
    });
    EXPECT_EQ(status, 0) << "1: result not 0, 2: a PDF left, 4: not two transfers, 8: an escaped error";
}

TEST_F(DesktopScan, CancelMidPageEndsTheScanWithoutAFile)
{
    PrivateSane sane({ QStringLiteral("read-limit false"), QStringLiteral("read-delay true"),
        QStringLiteral("read-delay-duration 100000") });
    const auto midPage = [](QWidget* window) {
        return window->findChild<QProgressBar*>(QStringLiteral("TransferProgress"))->value() > 5;
    };
    // Feeder: the cancelled first page sends the request to the flatbed, cancelled there too.
    ModalPresser presser({ { kTransfer, QStringLiteral("CancelButton"), midPage },
        { kTransfer, QStringLiteral("CancelButton"), midPage } });
    EXPECT_EQ(Scan(true, 300), 0);
    EXPECT_FALSE(QFileInfo::exists(m_pdf));
    EXPECT_EQ(presser.Seen(), Times(2, kTransfer));
    EXPECT_TRUE(presser.AllPressed());
}

TEST_F(DesktopScan, ResolutionZeroScansAt150)
{
    PrivateSane sane;
    ModalPresser presser({ { kQuestion, kNo } });
    EXPECT_EQ(Scan(false, 0), 0);
    // 80 x 100 mm at 150 dpi are 472 x 590 pixels; the crop leaves off the last column and row.
    const auto images = platform::imaging::test::ImageList(m_pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].value(3), QStringLiteral("471"));
    EXPECT_EQ(images[0].value(4), QStringLiteral("589"));
}

TEST_F(DesktopScan, NoScannerShowsTheEmptyListAndFails)
{
    PrivateSane sane({}, {});
    ModalPresser presser({ { kSelect, QStringLiteral("CancelButton") } });
    EXPECT_EQ(Scan(true), -1);
    EXPECT_EQ(presser.Seen(), QStringList { kSelect });
}

// The pnm backend scans the picture in /tmp/input.ppm: quadrants of red, green, blue and white
// inside a black frame, so a page turned over or with swapped channels shows in the PDF.
TEST_F(DesktopScan, PnmPictureArrivesUprightInItsColours)
{
    const int width = 80;
    const int height = 60;
    QByteArray ppm = QByteArrayLiteral("P6\n80 60\n255\n");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool frame = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            const bool left = x < width / 2;
            const bool top = y < height / 2;
            const char* rgb = frame ? "\x00\x00\x00"
                : top               ? (left ? "\xFF\x00\x00" : "\x00\xFF\x00")
                                    : (left ? "\x00\x00\xFF" : "\xFF\xFF\xFF");
            ppm.append(rgb, 3);
        }
    }
    const QString input = QStringLiteral("/tmp/input.ppm");
    pd::test::WriteBytes(input, ppm);
    PrivateSane sane({}, { QStringLiteral("pnm") });
    // The backend offers two devices; the first row of the list is preselected.
    ModalPresser presser({ { kSelect, QStringLiteral("OkButton") }, { kQuestion, kNo } });
    EXPECT_EQ(Scan(false, 150), 0);
    QFile::remove(input);

    // The crop keeps all but the frame's last column and row: 79 x 59 pixels at 150 dpi.
    const auto sizes = platform::imaging::test::PageSizes(m_pdf);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_NEAR(sizes[0].first, 79 * 72.0 / 150, 0.1);
    EXPECT_NEAR(sizes[0].second, 59 * 72.0 / 150, 0.1);
    const QByteArray page = platform::imaging::test::Render(m_pdf, 1, 79, 59, false);
    ASSERT_EQ(page.size(), 79 * 59 * 3);
    const struct {
        const char* name;
        int x, y;
        int red, green, blue;
    } quadrants[] = {
        { "top left red", 20, 15, 255, 0, 0 },
        { "top right green", 60, 15, 0, 255, 0 },
        { "bottom left blue", 20, 45, 0, 0, 255 },
        { "bottom right white", 60, 45, 255, 255, 255 },
    };
    for (const auto& q : quadrants) {
        SCOPED_TRACE(q.name);
        const auto* pixel = reinterpret_cast<const unsigned char*>(page.constData()) + 3 * (q.y * 79 + q.x);
        EXPECT_NEAR(pixel[0], q.red, 40);
        EXPECT_NEAR(pixel[1], q.green, 40);
        EXPECT_NEAR(pixel[2], q.blue, 40);
    }
}

} // namespace
} // namespace pd::scan
