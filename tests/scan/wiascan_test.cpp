#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/wia/wia.h"
#include "scan/scandispatcher.h"
#include "scan/wiascan.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/scan/fakewia.h"
#include "tests/scan/pagetestdata.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::scan {
namespace {

using namespace Qt::StringLiterals;

using test::FakePage;
using test::FakeScanner;

// A 24-bit page of width x height in one colour, with the pixels listed in dark set to black.
QByteArray Page(int width, int height, char level, const std::vector<std::pair<int, int>>& dark = {})
{
    std::vector<QByteArray> rows(height, QByteArray(3 * width, level));
    for (const auto& [x, y] : dark)
        rows[y].replace(3 * x, 3, QByteArray(3, '\0'));
    return test::MakeBmp(test::Bmp(width, height, 24, rows, {}, 5906));
}

const FakePage kBlack { Page(40, 30, '\0') };
const FakePage kWhite { Page(40, 30, '\xFF') };
// 1 dark pixel in 500: exactly the default threshold.
const FakePage kOneIn500 { Page(50, 10, '\xFF', { { 20, 5 } }) };
const FakePage kFails { QByteArray(), true };

FakeScanner Scanner(const QString& id, std::deque<FakePage> feeder = {}, std::deque<FakePage> flatbed = {})
{
    FakeScanner scanner;
    scanner.id = id;
    scanner.feeder = std::move(feeder);
    scanner.flatbed = std::move(flatbed);
    return scanner;
}

class WiaScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(QStringLiteral("paperdart")));
        logging::LogModuleStart();
        m_pdf = util::GetTempDirectory() + QStringLiteral("Paperdart/Scan_20261210_0930.pdf");
    }
    void TearDown() override
    {
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    // The request as the main window makes it, with the threshold as it computes it.
    int Scan(bool feeder, int resolution = 300, double threshold = 20 / 10000.0)
    {
        return ScanToPdf(0, m_pdf, false, true, threshold, resolution, 0, feeder, 1);
    }
    QString Log() const
    {
        QString all;
        const QDir log(m_program.File(QStringLiteral("log")));
        for (const QString& name : log.entryList({ QStringLiteral("*.log") }, QDir::Files))
            all += QString::fromLatin1(pd::test::ReadBytes(log.filePath(name)));
        return all;
    }
    int PdfPages() const { return int(platform::imaging::test::PageSizes(m_pdf).size()); }
    // Nothing but the PDF itself may be left in its folder (no half-written temporary file).
    QStringList JobFolderEntries() const
    {
        return QDir(QFileInfo(m_pdf).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    int Transfers() const
    {
        return wia.Count(QStringLiteral("transfer feeder")) + wia.Count(QStringLiteral("transfer flatbed"));
    }
    int Questions() const { return int(wia.events.filter(QStringLiteral("question ")).size()); }

    pd::test::TempFolder m_temp;
    pd::test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    pd::test::TempFolder m_program;
    test::FakeWia wia;
    QString m_pdf;
};

TEST_F(WiaScan, OneScannerIsTakenWithoutAskingAndSeveralAreOffered)
{
    const struct {
        const char* name;
        int scanners;
        std::optional<QString> choice;
        int result;
        int choiceShown;
        QString connected;
    } cases[] = {
        { "one scanner and a camera", 1, std::nullopt, 0, 0, QStringLiteral("fake:0") },
        { "two scanners, the second picked", 2, QStringLiteral("fake:1"), 0, 1, QStringLiteral("fake:1") },
        { "two scanners, choice cancelled", 2, std::nullopt, -1, 1, QString() },
        { "no scanner, choice cancelled", 0, std::nullopt, -1, 1, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wia.events.clear();
        wia.scanners.clear();
        for (int i = 0; i < c.scanners; ++i)
            wia.scanners.push_back(Scanner(QStringLiteral("fake:%1").arg(i), {}, { kBlack }));
        FakeScanner camera = Scanner(QStringLiteral("camera:0"), {}, { kBlack });
        camera.type = 2;
        wia.scanners.push_back(camera);
        wia.choice = c.choice;
        QDir(m_temp.Path()).removeRecursively();

        EXPECT_EQ(Scan(false), c.result);
        EXPECT_EQ(wia.Count(QStringLiteral("choose")), c.choiceShown);
        EXPECT_EQ(QFileInfo::exists(m_pdf), c.result == 0);
        if (c.connected.isEmpty()) {
            // Nothing touched: no device opened, no file written.
            EXPECT_TRUE(wia.events.filter(QStringLiteral("connect")).isEmpty()) << wia.events.join(u',').toStdString();
            EXPECT_TRUE(JobFolderEntries().isEmpty());
        } else {
            EXPECT_EQ(wia.events.filter(QStringLiteral("connect")).last(), QStringLiteral("connect ") + c.connected);
        }
    }
}

TEST_F(WiaScan, ChosenScannerGoneBeforeConnectingGivesMinusTwoAndNoPdf)
{
    wia.scanners
        = { Scanner(QStringLiteral("fake:0"), {}, { kBlack }), Scanner(QStringLiteral("fake:1"), {}, { kBlack }) };
    wia.scanners[1].vanishesWhenChosen = true;
    wia.choice = QStringLiteral("fake:1");
    EXPECT_EQ(Scan(true), -2);
    EXPECT_FALSE(QFileInfo::exists(m_pdf));
    EXPECT_TRUE(JobFolderEntries().isEmpty());
    EXPECT_EQ(Transfers(), 0);
}

TEST_F(WiaScan, FeederRunsUntilEmptyAndEndsHowTheFeederEnds)
{
    const struct {
        const char* name;
        FakeScanner scanner;
        std::deque<int> answers;
        int pages; // 0: no PDF
        QStringList transfers;
        int questions;
    } cases[] = {
        { "black pages until empty", Scanner({}, { kBlack, kBlack, kBlack }), {}, 3,
            { u"transfer feeder"_s, u"transfer feeder"_s, u"transfer feeder"_s }, 0 },
        { "all blank, no retry", Scanner({}, { kWhite, kWhite }), {}, 0, { u"transfer feeder"_s, u"transfer feeder"_s },
            0 },
        { "blank pages dropped", Scanner({}, { kWhite, kBlack, kWhite }), {}, 1,
            { u"transfer feeder"_s, u"transfer feeder"_s, u"transfer feeder"_s }, 0 },
        // Empty from the start: the same call scans from the glass, asking after each page.
        { "empty feeder", Scanner({}, {}, { kBlack, kBlack }), { 1, 2 }, 2,
            { u"transfer flatbed"_s, u"transfer flatbed"_s }, 2 },
        // A jam after a kept page keeps what was written and tries nothing else.
        { "jam after a kept page", Scanner({}, { kBlack, kFails, kBlack }, { kBlack }), {}, 1,
            { u"transfer feeder"_s, u"transfer feeder"_s }, 0 },
        // A failed transfer before any kept page: once more on the flatbed.
        { "jam before a kept page", Scanner({}, { kWhite, kFails }, { kBlack }), { 2 }, 1,
            { u"transfer feeder"_s, u"transfer feeder"_s, u"transfer flatbed"_s }, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wia.scanners = { c.scanner };
        wia.scanners[0].id = QStringLiteral("fake:0");
        wia.answers = c.answers;
        wia.events.clear();
        QFile::remove(m_pdf);

        EXPECT_EQ(Scan(true), 0);
        EXPECT_EQ(c.pages == 0 ? 0 : PdfPages(), c.pages);
        EXPECT_EQ(QFileInfo::exists(m_pdf), c.pages > 0);
        EXPECT_EQ(wia.events.filter(QStringLiteral("transfer")), c.transfers);
        EXPECT_EQ(Questions(), c.questions);
        EXPECT_EQ(JobFolderEntries().size(), c.pages > 0 ? 1 : 0);
    }
}

TEST_F(WiaScan, PagesGoIntoThePdfInTheOrderScanned)
{
    // Large and small pages in turn, so that a small one is read while a large one is still being
    // written. A black page is cropped by its first column and row.
    const std::vector<std::pair<int, int>> sizes { { 1201, 1701 }, { 41, 31 }, { 801, 601 }, { 61, 21 }, { 1001, 11 } };
    std::deque<FakePage> feeder;
    for (const auto& [width, height] : sizes)
        feeder.push_back({ Page(width, height, '\0') });
    wia.scanners = { Scanner(QStringLiteral("fake:0"), feeder) };
    EXPECT_EQ(Scan(true), 0);
    const std::vector<std::pair<double, double>> pages = platform::imaging::test::PageSizes(m_pdf);
    ASSERT_EQ(pages.size(), sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(i);
        // 150 dpi: points = pixels x 72 / 150.
        EXPECT_NEAR(pages[i].first, (sizes[i].first - 1) * 0.48, 0.5);
        EXPECT_NEAR(pages[i].second, (sizes[i].second - 1) * 0.48, 0.5);
    }
}

TEST_F(WiaScan, PageStillBeingWrittenWhenTheScanEndsIsInThePdf)
{
    // Large enough that the scan's end comes while the page is being encoded.
    const FakePage large { Page(2000, 2800, '\0') };
    struct NotAScannerError { };
    const struct {
        const char* name;
        bool feeder;
        std::deque<FakePage> pages;
        std::function<void()> onTransfer;
        int result;
        int questions;
    } cases[] = {
        { "feeder runs empty", true, { large }, {}, 0, 0 },
        { "feeder jams", true, { large, kFails, kBlack }, {}, 0, 0 },
        { "next page cancelled", true, { large, kBlack },
            [this] {
                if (Transfers() == 2)
                    throw platform::wia::Error(QStringLiteral("cancelled"), true);
            },
            0, 0 },
        { "flatbed answered no", false, { large }, {}, 0, 1 },
        // An error no page step expects ends the scan at once, with the PDF closed first.
        { "unexpected error", true, { large, kBlack },
            [this] {
                if (Transfers() == 2)
                    throw NotAScannerError {};
            },
            -1, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wia.scanners = { c.feeder ? Scanner(QStringLiteral("fake:0"), c.pages)
                                  : Scanner(QStringLiteral("fake:0"), {}, c.pages) };
        wia.onTransfer = c.onTransfer;
        wia.events.clear();
        QFile::remove(m_pdf);
        EXPECT_EQ(Scan(c.feeder), c.result);
        EXPECT_EQ(PdfPages(), 1);
        EXPECT_EQ(Questions(), c.questions);
        EXPECT_EQ(JobFolderEntries(), QStringList { QFileInfo(m_pdf).fileName() });
        EXPECT_EQ(wia.Count(QStringLiteral("report Unable to combine files.")), 0);
    }
    EXPECT_EQ(Log().count(QLatin1String("except: scan")), 1);
}

TEST_F(WiaScan, PageWhoseWriteFailsAfterItsHandOverFailsTheScan)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack, kBlack, kBlack }) };
    // In a child: the file size limit and the ignored signal stay there. The PDF's first page
    // already goes beyond the limit, while the next page is being read.
    const int status = pd::test::RunInChild([this] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 512, 512 };
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        if (Scan(true) != -1)
            return 11;
        if (wia.Count(QStringLiteral("report Unable to combine files.")) != 1)
            return 12;
        // All pages were read: the write's failure sticks until the end, as the PDF's own error.
        if (Transfers() != 3)
            return 13;
        return JobFolderEntries().isEmpty() ? 0 : 14;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(WiaScan, DeviceWithoutFeederScansTheFeederRequestFromTheGlass)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), {}, { kBlack }) };
    wia.scanners[0].hasFeeder = false;
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(PdfPages(), 1);
    EXPECT_EQ(wia.events.filter(QStringLiteral("transfer")), QStringList { QStringLiteral("transfer flatbed") });
    EXPECT_EQ(Questions(), 1);
}

TEST_F(WiaScan, FlatbedAsksAfterEveryPageAndSelectsTheGlassEachTime)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack }, { kBlack, kWhite, kBlack }) };
    wia.answers = { 1, 1, 2 };
    EXPECT_EQ(Scan(false), 0);
    EXPECT_EQ(PdfPages(), 2);
    const QString question = QStringLiteral("question Seite eingelesen: Möchten Sie eine weitere Seite einlesen?");
    EXPECT_EQ(wia.Count(question), 3);
    // Each transfer comes right after the flatbed was selected again.
    for (qsizetype i = 0; i < wia.events.size(); ++i) {
        if (wia.events[i] == QLatin1String("transfer flatbed")) {
            EXPECT_EQ(wia.events.value(i - 1), QStringLiteral("3088=2"));
        }
    }
    // A flatbed scan is never repeated, whatever its end.
    EXPECT_EQ(Transfers(), 3);
}

TEST_F(WiaScan, FlatbedAnsweredNoAfterABlankPageLeavesNoFile)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), {}, { kWhite }) };
    EXPECT_EQ(Scan(false), 0);
    EXPECT_FALSE(QFileInfo::exists(m_pdf));
    EXPECT_TRUE(JobFolderEntries().isEmpty());
}

TEST_F(WiaScan, ThresholdKeepsPagesFromExactlyItsShare)
{
    const struct {
        const char* name;
        FakePage page;
        double threshold;
        bool kept;
    } cases[] = {
        { "white at 0.0", kWhite, 0.0, true },
        { "white at the default", kWhite, 20 / 10000.0, false },
        // 1/500 measured in extended precision lies just below 0.002 as a double.
        { "1 in 500 at the default", kOneIn500, 20 / 10000.0, true },
        { "1 in 500 at setting 21", kOneIn500, 21 / 10000.0, false },
        { "black at 1.0", kBlack, 1.0, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        wia.scanners = { Scanner(QStringLiteral("fake:0"), {}, { c.page }) };
        QFile::remove(m_pdf);
        EXPECT_EQ(Scan(false, 300, c.threshold), 0);
        EXPECT_EQ(QFileInfo::exists(m_pdf), c.kept);
    }
}

TEST_F(WiaScan, ResolutionBelowOneScansAt150AndColourSelectsTheIntent)
{
    const struct {
        int resolution;
        bool colour;
        QStringList written;
    } cases[] = {
        { 0, true, { u"6147=150"_s, u"6148=150"_s, u"6146=1"_s } },
        { -300, false, { u"6147=150"_s, u"6148=150"_s, u"6146=2"_s } },
        { 1, true, { u"6147=1"_s, u"6148=1"_s, u"6146=1"_s } },
        { 600, false, { u"6147=600"_s, u"6148=600"_s, u"6146=2"_s } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resolution);
        wia.scanners = { Scanner(QStringLiteral("fake:0"), {}, { kBlack }) };
        wia.events.clear();
        EXPECT_EQ(ScanToPdf(0, m_pdf, false, c.colour, 0.002, c.resolution, 0, false, 0), 0);
        EXPECT_EQ(wia.events.mid(1, 3), c.written);
    }
}

TEST_F(WiaScan, ArgumentsOfTheTwainPathChangeNothing)
{
    QStringList first;
    for (const auto& [window, dialog, paper, quality] :
        { std::tuple { 0, false, 0, 0 }, std::tuple { 77, true, 5, -1 }, std::tuple { 1, true, -3, 1 } }) {
        wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack, kBlack }) };
        wia.events.clear();
        EXPECT_EQ(ScanToPdf(quintptr(window), m_pdf, dialog, true, 0.002, 200, paper, true, quality), 0);
        if (first.isEmpty())
            first = wia.events;
        EXPECT_EQ(wia.events, first);
    }
}

TEST_F(WiaScan, PdfPathWithoutFolderFailsBeforeAnyDeviceIsTouched)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), {}, { kBlack }) };
    EXPECT_EQ(ScanToPdf(0, QStringLiteral("Scan_20261210_0930.pdf"), false, true, 0.002, 300, 0, false, 0), -1);
    EXPECT_EQ(wia.deviceManagers, 0);
    EXPECT_TRUE(wia.events.isEmpty());
    EXPECT_TRUE(Log().contains(QLatin1String("except: scan")));
}

TEST_F(WiaScan, ScannerErrorOutsideThePageLoopClosesThePdfAndFails)
{
    // A feeder that jams when asked for paper at the start.
    wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack }) };
    wia.scanners[0].feederProbeFails = true;
    EXPECT_EQ(Scan(true), -1);
    EXPECT_TRUE(Log().contains(QLatin1String("except: scan")));
    EXPECT_TRUE(JobFolderEntries().isEmpty());
    EXPECT_EQ(Transfers(), 0);
}

TEST_F(WiaScan, PdfThatCannotBeCompletedIsReportedAndFails)
{
    // A folder takes the PDF's place while the pages are written.
    wia.onTransfer = [this] { QDir().mkpath(m_pdf); };
    wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack }) };
    EXPECT_EQ(Scan(true), -1);
    EXPECT_EQ(wia.Count(QStringLiteral("report Unable to combine files.")), 1);
    EXPECT_TRUE(QFileInfo(m_pdf).isDir());
    EXPECT_FALSE(Log().contains(QLatin1String("except: scan")));
}

TEST_F(WiaScan, FolderThatCannotTakeThePdfEndsWithoutScanning)
{
    wia.scanners = { Scanner(QStringLiteral("fake:0"), { kBlack }) };
    // Below a regular file, and a job folder that is a link to someone else's folder.
    pd::test::TempFolder elsewhere;
    pd::test::WriteBytes(elsewhere.File(QStringLiteral("file")), "x");
    QDir().mkpath(util::GetTempDirectory());
    QFile::link(elsewhere.Path(), util::GetTempDirectory() + QStringLiteral("Paperdart"));
    for (const QString& pdf : { elsewhere.File(QStringLiteral("file/Scan.pdf")), m_pdf }) {
        SCOPED_TRACE(pdf.toStdString());
        wia.events.clear();
        EXPECT_EQ(ScanToPdf(0, pdf, false, true, 0.002, 300, 0, true, 0), 0);
        EXPECT_EQ(Transfers(), 0);
        EXPECT_FALSE(QFileInfo::exists(pdf));
    }
    EXPECT_EQ(QDir(elsewhere.Path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList { QStringLiteral("file") });
}

} // namespace
} // namespace pd::scan
