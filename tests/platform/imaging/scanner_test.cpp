#include <cmath>
#include <deque>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/imaging/errorstate.h"
#include "platform/imaging/imagesource.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "platform/wia/wia.h"
#include "tests/platform/imaging/deskewpages.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

using namespace Qt::StringLiterals;
using pd::test::PrivateSane;

const QString kGrid = u"test-picture \"Grid\""_s;
const QString kWhite = u"test-picture \"Solid white\""_s;
// The test backend's scan area reaches A4 and its pages come in pieces, as a real device's do.
const QStringList kA4Device { u"geometry_max 297.0"_s, u"read-limit true"_s, u"read-limit-size 32768"_s };

QStringList Conf(const QStringList& extra)
{
    return kA4Device + extra;
}

// The windows of an acquisition as a script: the settings window's answer, and pages read straight
// from the scanner unless a page's entry says otherwise.
struct ScriptedWindows {
    int settingsAnswer = 1;
    int settingsShown = 0;
    int transfers = 0;
    // Per page (from 1): throw this error instead of reading, or hand this BMP instead.
    std::map<int, wia::Error> errors;
    std::map<int, QByteArray> replacements;
    std::function<void()> beforeSettings;

    AcquireWindows Windows()
    {
        AcquireWindows windows;
        windows.deviceSettings = [this](const std::shared_ptr<wia::IDevice>&) {
            ++settingsShown;
            if (beforeSettings)
                beforeSettings();
            return settingsAnswer;
        };
        windows.transfer = [this](const std::shared_ptr<wia::IItem>& item) {
            const int page = ++transfers;
            // The page is read before it fails: the test scanner must not be stopped while it is
            // still starting a page, which now and then hangs it.
            QByteArray bmp = item->Transfer({});
            if (const auto error = errors.find(page); error != errors.end())
                throw error->second;
            if (const auto other = replacements.find(page); other != replacements.end())
                return other->second;
            return bmp;
        };
        return windows;
    }
};

// A grey page as the scanner hands it over: a BMP file at 75 dpi.
QByteArray GreyBmpFile(const test::TestPage& page)
{
    const QByteArray dib = test::DibBytes({ page.width, page.height, 8,
        [&page](int x, int y) { return std::uint32_t(page.Pixel(x, y)[0]); }, 2953, 2953 });
    QByteArray file("BM");
    pd::test::Put32(file, std::uint32_t(14 + dib.size()));
    pd::test::Put32(file, 0);
    pd::test::Put32(file, 14 + 40 + 256 * 4);
    return file + dib;
}

// The skew of the first ruled line of a rendered grey page in degrees, from where its top edge
// lies across the page: a straight-line fit of the first dark row in each column.
double TopLineSkew(const QByteArray& grey, int width, int height)
{
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    int n = 0;
    for (int x = width / 6; x < width * 5 / 6; x += 10) {
        for (int y = 0; y < height; ++y) {
            if (uchar(grey[y * width + x]) < 128) {
                sx += x;
                sy += y;
                sxx += double(x) * x;
                sxy += double(x) * y;
                ++n;
                break;
            }
        }
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return std::atan(slope) * 180 / M_PI;
}

class Scanner : public ::testing::Test {
protected:
    void SetUp() override
    {
        TWAIN_SetLogFolder(m_log.Path());
        TWAIN_LogFile(1);
        // What earlier tests set stays in the library: every test starts from the same settings.
        TWAIN_SetHideUI(1);
        TWAIN_SetAutoDeskew(0);
        TWAIN_SetBlankPageMode(0);
        TWAIN_SetBlankPageThreshold(0);
        TWAIN_SetJpegQuality(75);
        TWAIN_SetPaperSize(1);
        TWAIN_SelectFeeder(0);
        TWAIN_EnableDuplex(0);
        SetBlankPageMeasure({});
        QFile::remove(ImagingLogPath());
    }
    void TearDown() override
    {
        TWAIN_LogFile(0);
        SetBlankPageMeasure({});
    }

    QString Pdf() const { return m_folder.File(u"Scan.pdf"_s); }
    int Pages() const { return QFile::exists(Pdf()) ? int(test::PageSizes(Pdf()).size()) : 0; }
    // The library's trace without its time stamps.
    QStringList Trace() const
    {
        QStringList lines;
        for (const QString& line : QString::fromUtf8(pd::test::ReadBytes(ImagingLogPath())).split(u'\n'))
            if (line.size() > 24)
                lines.append(line.mid(24));
        return lines;
    }
    QStringList FolderEntries() const
    {
        return QDir(m_folder.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }
    int Acquire(ScriptedWindows& windows) { return AcquireMultipageFile(Pdf(), windows.Windows()); }

    pd::test::TempFolder m_config;
    pd::test::ScopedEnv m_home { "XDG_CONFIG_HOME", m_config.Path() };
    pd::test::TempFolder m_log;
    pd::test::TempFolder m_folder;
};

TEST_F(Scanner, DefaultSourceIsTheChosenScannerElseTheFirst)
{
    const struct {
        int devices;
        QString chosen;
        int opened;
        QString device;
    } cases[] = {
        { 3, {}, 1, u"test:0"_s },
        { 3, u"test:2"_s, 1, u"test:2"_s },
        { 3, u"test:7"_s, 1, u"test:0"_s }, // the chosen one is not connected
        { 0, u"test:2"_s, 0, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.device + u" from "_s + c.chosen).toStdString());
        QFile::remove(ImagingLogPath());
        PrivateSane sane(
            { u"number_of_devices %1"_s.arg(c.devices) }, c.devices ? QStringList { u"test"_s } : QStringList {});
        ASSERT_TRUE(c.chosen.isEmpty() || RememberImageSource(c.chosen));
        // A failed file operation before: opening clears the error (and sets its own when it fails).
        TWAIN_BeginMultipageFile(m_folder.Path());
        ASSERT_NE(TWAIN_LastErrorCode(), 0);
        EXPECT_EQ(TWAIN_OpenDefaultSource(), c.opened);
        if (c.opened) {
            EXPECT_EQ(TWAIN_LastErrorCode(), 0);
            EXPECT_TRUE(Trace().contains(u"OpenDefaultSource "_s + c.device)) << Trace().join(u'\n').toStdString();
            EXPECT_GT(TWAIN_GetCurrentResolution(), 0);
        } else {
            EXPECT_EQ(TWAIN_LastErrorCode(), int(kNoScanner));
            EXPECT_EQ(TWAIN_GetCurrentResolution(), 0);
        }
        QFile::remove(ImageSourceFile());
    }
}

TEST_F(Scanner, DeviceSettingsGoToTheOpenScannerAndShowInItsPages)
{
    PrivateSane sane(Conf({ kGrid }));
    // Without an open scanner a setting changes nothing and says so.
    TWAIN_OpenDefaultSource();
    ScriptedWindows first;
    Acquire(first); // lets the scanner go
    EXPECT_EQ(TWAIN_SetResolution(100), 0);
    EXPECT_TRUE(Trace().contains(u"SetResolution 100: no scanner open"_s));

    const struct {
        int pixelType;
        int dpi;
        int paperSize;
        QString colour;
        int width; // pixels across the area at the resolution
        int height;
    } cases[] = {
        { 1, 100, 1, u"gray"_s, 827, 1169 }, // A4: 210 x 297 mm
        { 2, 50, 5, u"rgb"_s, 291, 413 }, // A5: 148 x 210 mm
        { 2, 30, 0, u"rgb"_s, 350, 350 }, // the whole area the device reaches: 297 mm each way
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.colour + QString::number(c.dpi)).toStdString());
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        EXPECT_EQ(TWAIN_SetPixelType(c.pixelType), 1);
        if (c.pixelType == 1) {
            EXPECT_EQ(TWAIN_SetBitDepth(8), 1);
        }
        EXPECT_EQ(TWAIN_SetResolution(c.dpi), 1);
        EXPECT_EQ(TWAIN_GetCurrentResolution(), c.dpi);
        TWAIN_SetPaperSize(c.paperSize);
        ScriptedWindows windows;
        ASSERT_EQ(Acquire(windows), 0);
        const std::vector<QStringList> images = test::ImageList(Pdf());
        ASSERT_EQ(images.size(), 1u);
        EXPECT_NEAR(images[0].value(3).toInt(), c.width, 2);
        EXPECT_NEAR(images[0].value(4).toInt(), c.height, 2);
        EXPECT_EQ(images[0].value(5), c.colour);
        EXPECT_EQ(TWAIN_GetCurrentResolution(), 0) << "the acquisition lets the scanner go";
    }
    // The paper size is the library's: set before the scanner is opened, it holds for it as well.
    TWAIN_SetPaperSize(5);
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_SetResolution(50);
    ScriptedWindows windows;
    ASSERT_EQ(Acquire(windows), 0);
    const std::vector<QStringList> images = test::ImageList(Pdf());
    ASSERT_EQ(images.size(), 1u);
    EXPECT_NEAR(images[0].value(3).toInt(), 291, 2);
    EXPECT_NEAR(images[0].value(4).toInt(), 413, 2);
}

TEST_F(Scanner, FeederRunsUntilEmptyAndTheFlatbedGivesOnePage)
{
    PrivateSane sane(Conf({ kGrid }));
    for (const auto& [feeder, pages] : { std::pair { 1, 10 }, std::pair { 0, 1 } }) {
        SCOPED_TRACE(feeder);
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        EXPECT_EQ(TWAIN_SelectFeeder(feeder), 1);
        EXPECT_EQ(TWAIN_EnableDuplex(1), 1); // the test scanner has no duplex: its feeder is taken
        ScriptedWindows windows;
        EXPECT_EQ(Acquire(windows), 0);
        EXPECT_EQ(windows.transfers, pages);
        EXPECT_EQ(Pages(), pages);
        EXPECT_EQ(FolderEntries(), QStringList { u"Scan.pdf"_s });
    }
}

TEST_F(Scanner, BlankPagesGoOnlyInBlankPageModeAndOnlyBelowTheThreshold)
{
    PrivateSane sane(Conf({ kGrid }));
    // The measure is the program's: here a script of shares, page by page.
    std::deque<double> shares;
    SetBlankPageMeasure([&shares](const QByteArray& bmp) {
        EXPECT_TRUE(bmp.startsWith("BM"));
        const double share = shares.front();
        shares.pop_front();
        return share;
    });
    const struct {
        int mode;
        double threshold;
        std::deque<double> shares;
        int pages;
    } cases[] = {
        { 1, 0.002, { 0.5, 0.0019, 0.002, 0, 0.01, 0, 0, 0, 0, 0.3 }, 4 },
        { 1, 0.002, { 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }, 0 },
        { 0, 0.002, {}, 10 }, // mode 0 keeps every page without measuring
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pages);
        QFile::remove(Pdf());
        shares = c.shares;
        TWAIN_SetBlankPageMode(c.mode);
        TWAIN_SetBlankPageThreshold(c.threshold);
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        TWAIN_SelectFeeder(1);
        ScriptedWindows windows;
        EXPECT_EQ(Acquire(windows), 0);
        EXPECT_EQ(Pages(), c.pages);
        EXPECT_TRUE(shares.empty());
        // Without a kept page there is no file, and that is no error.
        EXPECT_EQ(FolderEntries().size(), c.pages ? 1u : 0u);
    }
}

TEST_F(Scanner, SettingsWindowComesBeforeThePagesUnlessHidden)
{
    PrivateSane sane(Conf({ kGrid }));
    const struct {
        int hide;
        int answer;
        int shown;
        int pages;
    } cases[] = { { 0, 1, 1, 1 }, { 0, 2, 1, 0 }, { 1, 2, 0, 1 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hide * 10 + c.answer);
        QFile::remove(Pdf());
        TWAIN_SetHideUI(c.hide);
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        ScriptedWindows windows;
        windows.settingsAnswer = c.answer;
        windows.beforeSettings = [&windows] { EXPECT_EQ(windows.transfers, 0); };
        EXPECT_EQ(Acquire(windows), 0);
        EXPECT_EQ(windows.settingsShown, c.shown);
        EXPECT_EQ(windows.transfers, c.pages);
        EXPECT_EQ(Pages(), c.pages);
        EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    }
}

TEST_F(Scanner, CancelledPageEndsTheAcquisitionWithThePagesBefore)
{
    PrivateSane sane(Conf({ kGrid }));
    for (const auto& [cancelled, pages] : { std::pair { 3, 2 }, std::pair { 1, 0 } }) {
        SCOPED_TRACE(cancelled);
        QFile::remove(Pdf());
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        TWAIN_SelectFeeder(1);
        ScriptedWindows windows;
        windows.errors.emplace(cancelled, wia::Error(u"stopped by the user"_s, true));
        EXPECT_EQ(Acquire(windows), 0);
        EXPECT_EQ(windows.transfers, cancelled);
        EXPECT_EQ(Pages(), pages);
        EXPECT_EQ(FolderEntries().size(), pages ? 1u : 0u);
    }
}

TEST_F(Scanner, ScannerErrorFailsTheAcquisitionAndWritesNoFile)
{
    PrivateSane sane(Conf({ kGrid }));
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_SelectFeeder(1);
    ScriptedWindows windows;
    windows.errors.emplace(4, wia::Error(u"test:0: sane_read -> Document feeder jammed"_s));
    EXPECT_EQ(Acquire(windows), int(kScanFailed));
    EXPECT_EQ(TWAIN_LastErrorCode(), int(kScanFailed));
    EXPECT_EQ(LastErrorDescription(), u"test:0: sane_read -> Document feeder jammed"_s);
    // Three pages were written already: the half-made file goes with them.
    EXPECT_TRUE(FolderEntries().isEmpty()) << FolderEntries().join(u' ').toStdString();
    EXPECT_EQ(TWAIN_GetCurrentResolution(), 0) << "the scanner is let go on failure as well";
}

TEST_F(Scanner, FailingReadsOfTheDeviceFailTheAcquisition)
{
    const QString pdf = Pdf();
    const int status = PrivateSane::RunWithFailingReads([&pdf] {
        PrivateSane sane(Conf(PrivateSane::FailingReads("SANE_STATUS_JAMMED")));
        TWAIN_SetHideUI(1);
        if (TWAIN_OpenDefaultSource() != 1)
            return 10;
        TWAIN_SelectFeeder(1);
        AcquireWindows windows;
        windows.transfer = [](const std::shared_ptr<wia::IItem>& item) { return item->Transfer({}); };
        if (AcquireMultipageFile(pdf, windows) != int(kScanFailed))
            return 11;
        if (!LastErrorDescription().contains(u"jammed"_s, Qt::CaseInsensitive))
            return 12;
        return QDir(QFileInfo(pdf).path()).isEmpty() ? 0 : 13;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(Scanner, PathThatCannotTakeTheFileFailsBeforeAPageIsRead)
{
    PrivateSane sane(Conf({ kGrid }));
    QDir().mkpath(Pdf());
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    ScriptedWindows windows;
    EXPECT_EQ(Acquire(windows), int(kCannotCreateFile));
    EXPECT_EQ(windows.transfers, 0);
    EXPECT_EQ(TWAIN_GetCurrentResolution(), 0);
}

TEST_F(Scanner, AcquisitionWithoutAnOpenScannerOpensTheDefaultOne)
{
    {
        PrivateSane none({}, {});
        ScriptedWindows windows;
        EXPECT_EQ(Acquire(windows), int(kNoScanner));
        EXPECT_EQ(windows.settingsShown, 0);
    }
    PrivateSane sane(Conf({ kGrid }));
    ScriptedWindows windows;
    EXPECT_EQ(Acquire(windows), 0);
    EXPECT_EQ(Pages(), 1);
}

TEST_F(Scanner, AcquisitionClearsAnEarlierError)
{
    PrivateSane sane(Conf({ kGrid }));
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_BeginMultipageFile(m_folder.Path());
    ASSERT_NE(TWAIN_LastErrorCode(), 0);
    ScriptedWindows windows;
    EXPECT_EQ(Acquire(windows), 0);
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    EXPECT_EQ(Pages(), 1);
}

TEST_F(Scanner, AutoDeskewStraightensEveryKeptPage)
{
    PrivateSane sane(Conf({ kGrid }));
    test::TestPage skewed = test::WhitePage(600, 840, 1);
    test::Draw(skewed, test::RuledLines(600, 840, 12), 3.0);
    for (const auto& [deskew, skew] : { std::pair { 1, 0.0 }, std::pair { 0, 3.0 } }) {
        SCOPED_TRACE(deskew);
        QFile::remove(Pdf());
        TWAIN_SetAutoDeskew(deskew);
        ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
        ScriptedWindows windows;
        windows.replacements = { { 1, GreyBmpFile(skewed) } };
        ASSERT_EQ(Acquire(windows), 0);
        const QByteArray rendered = test::Render(Pdf(), 1, 600, 840, true);
        ASSERT_EQ(rendered.size(), 600 * 840);
        EXPECT_NEAR(TopLineSkew(rendered, 600, 840), skew, 0.3);
    }
}

} // namespace
} // namespace pd::platform::imaging
