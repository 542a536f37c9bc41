#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "platform/wia/wia.h"
#include "scan/imagingsetup.h"
#include "scan/scandispatcher.h"
#include "scan/twainscan.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/scan/pagetestdata.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::scan {
namespace {

using namespace Qt::StringLiterals;
using pd::test::PrivateSane;
namespace imaging = platform::imaging;

// SANE's test scanner with pages of A4 that come in pieces, as a real device's do.
QStringList Device(const QString& picture)
{
    return { u"test-picture \"%1\""_s.arg(picture), u"geometry_max 297.0"_s, u"read-limit true"_s,
        u"read-limit-size 32768"_s };
}

// A white 24-bit page of 50 x 10 pixels with dark pixels at the given places.
QByteArray WhitePage(int darkPixels)
{
    std::vector<QByteArray> rows(10, QByteArray(150, '\xFF'));
    for (int i = 0; i < darkPixels; ++i)
        rows[std::size_t(i / 50)].replace(3 * (i % 50), 3, QByteArray(3, '\0'));
    return test::MakeBmp(test::Bmp(50, 10, 24, rows, {}, 3937));
}

class TwainScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(u"paperdart"_s));
        logging::LogModuleStart();
        // As the program starts it: the library's log beside the program's, its blank pages
        // judged by the program's measure.
        imaging::SetBlankPageMeasure({});
        ImagingLibraryStart();
        m_pdf = util::GetTempDirectory() + u"Paperdart/Scan_20261210_0930.pdf"_s;
        m_previous = SetScanPlatform(Platform());
    }
    void TearDown() override
    {
        SetScanPlatform(m_previous);
        imaging::SetBlankPageMeasure({});
        TWAIN_LogFile(0);
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    // The library's acquisition with its windows scripted: the settings window answers "scan",
    // pages are read straight from the scanner unless a page (from 1) is replaced or fails.
    ScanPlatform Platform()
    {
        ScanPlatform platform;
        platform.ReportLastError = [this](const QString& text) {
            reports.append(text);
            logAtReport = Log();
        };
        platform.AcquireMultipageFile = [this](quintptr window, const QString& path) {
            windows.append(window);
            imaging::AcquireWindows scripted;
            scripted.deviceSettings = [this](const std::shared_ptr<platform::wia::IDevice>&) {
                ++settingsShown;
                return 1;
            };
            scripted.transfer = [this](const std::shared_ptr<platform::wia::IItem>& item) {
                const int page = ++transfers;
                // The page is read from the scanner before a scripted failure takes its place.
                QByteArray bmp = item->Transfer({});
                if (const auto error = failures.find(page); error != failures.end())
                    throw platform::wia::Error(error->second);
                if (const auto other = replacements.find(page); other != replacements.end())
                    return other->second;
                return bmp;
            };
            return imaging::AcquireMultipageFile(path, scripted);
        };
        return platform;
    }

    int Scan(bool feeder, double threshold = 0.002, int resolution = 100, bool dialog = false, bool colour = true,
        int paperSize = 0, int quality = 1)
    {
        return TwainScanToPdf(77, m_pdf, dialog, colour, threshold, resolution, paperSize, feeder, quality);
    }
    // The log's lines without their time, program and computer ("... paperdart #host: ").
    QStringList LogLines() const { return pd::test::MonthlyLogLines(m_program.File(u"log"_s)); }
    QString Log() const
    {
        QString all;
        const QDir log(m_program.File(u"log"_s));
        // The monthly files only: the library keeps its own trace beside them.
        for (const QString& name : log.entryList({ u"[0-9][0-9][0-9][0-9][0-9][0-9].log"_s }, QDir::Files))
            all += QString::fromLatin1(pd::test::ReadBytes(log.filePath(name)));
        return all;
    }
    // The library's calls, without time stamps, from the last scanner opened on.
    QStringList Calls() const
    {
        QStringList lines;
        for (const QString& line : QString::fromUtf8(pd::test::ReadBytes(imaging::ImagingLogPath())).split(u'\n'))
            if (line.size() > 24)
                lines.append(line.mid(24));
        return lines;
    }
    int Pages() const { return QFile::exists(m_pdf) ? int(imaging::test::PageSizes(m_pdf).size()) : 0; }
    QStringList JobFolderEntries() const
    {
        return QDir(QFileInfo(m_pdf).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    void Restart()
    {
        QFile::remove(m_pdf);
        QFile::remove(imaging::ImagingLogPath());
        reports.clear();
        transfers = 0;
        settingsShown = 0;
    }

    pd::test::TempFolder m_temp;
    pd::test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    pd::test::TempFolder m_config;
    pd::test::ScopedEnv m_home { "XDG_CONFIG_HOME", m_config.Path() };
    pd::test::TempFolder m_program;
    QString m_pdf;
    ScanPlatform m_previous;

    QStringList reports;
    QString logAtReport;
    QList<quintptr> windows;
    int settingsShown = 0;
    int transfers = 0;
    std::map<int, QString> failures;
    std::map<int, QByteArray> replacements;
};

TEST_F(TwainScan, NoScannerGivesMinusTwoWithItsLogLineAndNothingElse)
{
    PrivateSane none({}, {});
    EXPECT_EQ(Scan(true), -2);
    EXPECT_EQ(LogLines().filter(u"scan"_s, Qt::CaseInsensitive), QStringList { u"No TWAIN Scanner found."_s })
        << Log().toStdString();
    EXPECT_TRUE(windows.isEmpty());
    EXPECT_TRUE(reports.isEmpty());
    // Nothing after the failed open: no feeder, duplex, blank-page, pixel or paper settings.
    const QStringList calls = Calls();
    for (const QString& call : { u"SelectFeeder"_s, u"EnableDuplex"_s, u"SetBlankPage"_s, u"SetAutoDeskew"_s,
             u"SetPixelType"_s, u"SetResolution"_s, u"SetPaperSize"_s })
        EXPECT_TRUE(calls.filter(call).isEmpty()) << call.toStdString();
    EXPECT_FALSE(QFile::exists(m_pdf));
}

TEST_F(TwainScan, FeederScanGivesEveryPageInOnePdfBetweenTheLogLines)
{
    PrivateSane sane(Device(u"Grid"_s));
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(Pages(), 10);
    EXPECT_EQ(windows, QList<quintptr> { 77 });
    EXPECT_EQ(LogLines().filter(u"scan"_s, Qt::CaseInsensitive),
        (QStringList { u"Start scan: "_s + m_pdf + u" @DPI: 100"_s, u"End scan"_s + m_pdf }));
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(JobFolderEntries(), QStringList { QFileInfo(m_pdf).fileName() });
    // Each setting in its turn, as the TWAIN routine gives them.
    const QStringList calls = Calls();
    const QStringList expected { u"SetHideUI 1"_s, u"OpenDefaultSource test:0"_s, u"SelectFeeder 1"_s,
        u"EnableDuplex 1"_s, u"SetBlankPageMode 1"_s, u"SetBlankPageThreshold 0.002"_s, u"SetAutoDeskew 1"_s,
        u"SetPixelType 2"_s, u"SetPixelType 2"_s, u"SetResolution 100"_s, u"SetPaperSize 1"_s };
    QStringList settings;
    for (const QString& call : calls)
        if (QRegularExpression(u"^(Set|Select|Enable|Open)\\w+ \\S+$"_s).match(call).hasMatch())
            settings.append(call);
    EXPECT_EQ(settings.mid(0, expected.size()), expected);
}

TEST_F(TwainScan, BlankPagesAreDroppedOnlyWithAThresholdAboveZero)
{
    const struct {
        QString picture;
        double threshold;
        int pages;
    } cases[] = {
        { u"Solid white"_s, 0.002, 0 },
        { u"Solid white"_s, 0.0, 10 },
        { u"Solid white"_s, -0.5, 10 },
        { u"Grid"_s, 0.002, 10 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.picture + QString::number(c.threshold)).toStdString());
        Restart();
        PrivateSane sane(Device(c.picture));
        EXPECT_EQ(Scan(true, c.threshold, 50), 0);
        EXPECT_EQ(Pages(), c.pages);
        EXPECT_EQ(Calls().contains(u"SetBlankPageMode 1"_s), c.threshold > 0);
        EXPECT_EQ(Calls().contains(u"SetBlankPageMode 0"_s), c.threshold <= 0);
        // A run of blank pages leaves nothing behind.
        EXPECT_EQ(JobFolderEntries().size(), c.pages ? 1u : 0u);
    }
}

TEST_F(TwainScan, PagesAreJudgedByTheSameMeasureAsOnTheOtherPath)
{
    // One dark pixel in 500 is exactly the default threshold and stays; one in 501 does not.
    PrivateSane sane(Device(u"Grid"_s));
    replacements = { { 2, WhitePage(1) }, { 3, WhitePage(0) } };
    replacements[4] = test::MakeBmp(test::Bmp(501, 1, 24, { [] {
        QByteArray row(3 * 501, '\xFF');
        row.replace(0, 3, QByteArray(3, '\0'));
        return row;
    }() },
        {}, 3937));
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(Pages(), 8);
    const std::vector<std::pair<double, double>> sizes = imaging::test::PageSizes(m_pdf);
    ASSERT_EQ(sizes.size(), 8u);
    EXPECT_NEAR(sizes[1].first, 50 * 72 / 100.0, 0.5) << "the page of one dark pixel in 500 is kept";
}

TEST_F(TwainScan, LogLinesSurroundAFailedAcquisitionAndEndScanComesBeforeTheCheck)
{
    PrivateSane sane(Device(u"Grid"_s));
    const struct {
        const char* what;
        std::function<void()> arrange;
    } cases[] = {
        { "a jam on the third page",
            [this] {
                failures = { { 3, u"test:0: sane_read -> Document feeder jammed"_s } };
            } },
        { "a PDF path the folder cannot take", [this] { QDir().mkpath(m_pdf); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        logging::LogModuleEnd();
        for (const QString& name : QDir(m_program.File(u"log"_s)).entryList(QDir::Files))
            QFile::remove(m_program.File(u"log/"_s + name));
        logging::LogModuleStart();
        c.arrange();
        EXPECT_EQ(Scan(true), -1);
        EXPECT_EQ(LogLines().filter(u"scan"_s, Qt::CaseInsensitive),
            (QStringList { u"Start scan: "_s + m_pdf + u" @DPI: 100"_s, u"End scan"_s + m_pdf, u"Unable to scan."_s }));
        EXPECT_EQ(reports, QStringList { u"Unable to scan."_s });
        EXPECT_TRUE(logAtReport.contains(u"End scan"_s + m_pdf));
        EXPECT_FALSE(QFileInfo(m_pdf).isFile()) << "a failed acquisition writes no PDF";
        failures.clear();
        QDir().rmdir(m_pdf);
    }
}

TEST_F(TwainScan, QualityIndexZeroGivesJpegQuality90AndAnyOtherIndex75)
{
    PrivateSane sane(Device(u"Grid"_s));
    for (const auto& [index, quantiser] :
        { std::pair { 0, 3 }, std::pair { -1, 8 }, std::pair { 1, 8 }, std::pair { 5, 8 } }) {
        SCOPED_TRACE(index);
        Restart();
        ASSERT_EQ(Scan(false, 0.002, 50, false, true, 0, index), 0);
        const std::vector<QByteArray> jpegs = imaging::test::PageJpegs(m_pdf);
        ASSERT_EQ(jpegs.size(), 1u);
        EXPECT_EQ(imaging::test::LuminanceDcQuantiser(jpegs[0]), quantiser);
    }
}

TEST_F(TwainScan, WithTheScannerDialogShownNeitherBitDepthNorResolutionIsSet)
{
    PrivateSane sane(Device(u"Grid"_s));
    const struct {
        bool dialog;
        bool colour;
        QString image; // what the page in the PDF is
        int dpi; // the resolution it was scanned at
    } cases[] = {
        { true, false, u"rgb"_s, 50 }, // the scanner's own: the test scanner starts at 50 dpi in colour
        { false, false, u"gray"_s, 120 },
        { false, true, u"rgb"_s, 120 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.dialog) * 10 + int(c.colour));
        Restart();
        ASSERT_EQ(Scan(false, 0.002, 120, c.dialog, c.colour, 5), 0);
        EXPECT_EQ(settingsShown, c.dialog ? 1 : 0);
        const QStringList calls = Calls();
        EXPECT_EQ(calls.filter(u"SetBitDepth"_s).size(), !c.dialog && !c.colour ? 1 : 0);
        EXPECT_EQ(calls.filter(u"SetResolution"_s).size(), c.dialog ? 0 : 1);
        EXPECT_EQ(calls.filter(u"SetPixelType"_s).size(), c.dialog ? 1 : 2);
        // Feeder, duplex, blank pages, deskew, quality and paper size are set all the same.
        for (const QString& call : { u"SelectFeeder 0"_s, u"EnableDuplex 1"_s, u"SetBlankPageMode 1"_s,
                 u"SetAutoDeskew 1"_s, u"SetPaperSize 5"_s })
            EXPECT_TRUE(calls.contains(call)) << call.toStdString();
        EXPECT_TRUE(Log().contains(u" @DPI: %1\r\n"_s.arg(c.dpi)));
        const std::vector<QStringList> images = imaging::test::ImageList(m_pdf);
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(images[0].value(5), c.image);
        // A5 across at the scan's resolution: 148 mm.
        EXPECT_NEAR(images[0].value(3).toInt(), 148 / 25.4 * c.dpi, 2);
    }
}

TEST_F(TwainScan, ResolutionBelowOneAndPaperSizeBelowOneTakeTheirDefaults)
{
    PrivateSane sane(Device(u"Grid"_s));
    for (const auto& [resolution, paper, dpi, size] :
        { std::tuple { 0, 0, 150, 1 }, std::tuple { -20, -3, 150, 1 }, std::tuple { 75, 5, 75, 5 } }) {
        SCOPED_TRACE(resolution);
        Restart();
        ASSERT_EQ(Scan(false, 0.002, resolution, false, true, paper), 0);
        EXPECT_TRUE(Calls().contains(u"SetResolution %1"_s.arg(dpi)));
        EXPECT_TRUE(Calls().contains(u"SetPaperSize %1"_s.arg(size)));
    }
}

TEST(TwainScanRounding, LoggedResolutionIsRoundedHalfToEven)
{
    const std::pair<double, qint64> cases[]
        = { { 300, 300 }, { 299.5, 300 }, { 300.5, 300 }, { 2.5, 2 }, { 3.5, 4 }, { 150.49, 150 }, { 150.51, 151 },
              { -2.5, -2 }, { 0, 0 }, { std::nan(""), 0 }, { std::numeric_limits<double>::infinity(), 0 } };
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(RoundHalfToEven(value), rounded) << value;
}

} // namespace
} // namespace pd::scan
