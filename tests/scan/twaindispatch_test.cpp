#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "platform/wia/wia.h"
#include "scan/scandispatcher.h"
#include "scan/twainscan.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/scan/fakewia.h"
#include "tests/scan/pagetestdata.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

// The dispatcher of a program built with the TWAIN path switched on.
namespace pd::scan {
namespace {

using namespace Qt::StringLiterals;
using pd::test::PrivateSane;

QByteArray BlackPage()
{
    return test::MakeBmp(test::Bmp(40, 30, 24, std::vector<QByteArray>(30, QByteArray(120, '\0')), {}, 5906));
}

class TwainDispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(u"paperdart"_s));
        logging::LogModuleStart();
        InstallBlankPageMeasure();
        m_pdf = util::GetTempDirectory() + u"Paperdart/Scan_20261210_0930.pdf"_s;
        // The fake's WIA objects, and the library's acquisition with its windows answered.
        ScanPlatform platform = CurrentScanPlatform();
        platform.AcquireMultipageFile = [this](quintptr, const QString& path) {
            ++acquisitions;
            platform::imaging::AcquireWindows windows;
            windows.deviceSettings = [](const std::shared_ptr<platform::wia::IDevice>&) { return 1; };
            windows.transfer = [](const std::shared_ptr<platform::wia::IItem>& item) { return item->Transfer({}); };
            return platform::imaging::AcquireMultipageFile(path, windows);
        };
        SetScanPlatform(platform);
        wia.scanners = { test::FakeScanner { u"fake:0"_s, 1, true, { { BlackPage() } }, {} } };
    }
    void TearDown() override
    {
        platform::imaging::SetBlankPageMeasure({});
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    int Scan(bool feeder) { return ScanToPdf(0, m_pdf, false, true, 0.002, 50, 0, feeder, 1); }
    QStringList ScanLogLines() const
    {
        QStringList lines;
        const QDir log(m_program.File(u"log"_s));
        for (const QString& name : log.entryList({ u"*.log"_s }, QDir::Files))
            for (const QString& line : QString::fromLatin1(pd::test::ReadBytes(log.filePath(name))).split(u"\r\n"_s))
                if (line.contains(u"scan"_s, Qt::CaseInsensitive))
                    lines.append(line.section(u": "_s, 1));
        return lines;
    }
    int Pages() const { return QFile::exists(m_pdf) ? int(platform::imaging::test::PageSizes(m_pdf).size()) : 0; }

    pd::test::TempFolder m_temp;
    pd::test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    pd::test::TempFolder m_config;
    pd::test::ScopedEnv m_home { "XDG_CONFIG_HOME", m_config.Path() };
    pd::test::TempFolder m_program;
    test::FakeWia wia;
    QString m_pdf;
    int acquisitions = 0;
};

TEST_F(TwainDispatch, WithoutATwainScannerTheSameRequestGoesToWia)
{
    PrivateSane none({}, {});
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(acquisitions, 0);
    EXPECT_GT(wia.deviceManagers, 0);
    EXPECT_EQ(wia.Count(u"transfer feeder"_s), 1);
    EXPECT_EQ(Pages(), 1) << "the WIA path's page";
    // The TWAIN attempt leaves its one line and nothing else.
    EXPECT_EQ(ScanLogLines(), QStringList { u"No TWAIN Scanner found."_s });
}

TEST_F(TwainDispatch, TwainScannerScansAndWiaIsNeverAsked)
{
    PrivateSane sane({ u"test-picture \"Grid\""_s, u"geometry_max 297.0"_s });
    EXPECT_EQ(Scan(true), 0);
    EXPECT_EQ(acquisitions, 1);
    EXPECT_EQ(wia.deviceManagers, 0);
    EXPECT_EQ(Pages(), 10);
}

TEST_F(TwainDispatch, FailedTwainScanIsReturnedWithoutWia)
{
    PrivateSane sane({ u"test-picture \"Grid\""_s });
    QDir().mkpath(m_pdf);
    EXPECT_EQ(Scan(true), -1);
    EXPECT_EQ(wia.deviceManagers, 0);
    EXPECT_EQ(wia.Count(u"report Unable to scan."_s), 1);
}

} // namespace
} // namespace pd::scan
