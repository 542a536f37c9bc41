// The first run without a scanner: scripts/run.sh points SANE at scripts/sane-demo, and a new user
// presses a button with the settings of a first run (threshold 20, resolution box "0"). The pages
// must be kept and look like a document, or the job ends in "Es wurde keine PDF-Datei erzeugt.".

#include <gtest/gtest.h>

#include <QFileInfo>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/wia/coinit.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::scan {
namespace {

using platform::imaging::test::PageSizes;
using platform::imaging::test::Render;

constexpr double kA4Width = 595.3; // points
constexpr double kA4Height = 841.9;

// Share of dark pixels of a page drawn small in grey.
double DarkShare(const QString& pdf, int page)
{
    constexpr int kWidth = 105;
    constexpr int kHeight = 148;
    const QByteArray grey = Render(pdf, page, kWidth, kHeight, true);
    if (grey.isEmpty())
        return -1;
    qsizetype dark = 0;
    for (const char pixel : grey)
        dark += uchar(pixel) < 128 ? 1 : 0;
    return double(dark) / grey.size();
}

class SaneDemo : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(QStringLiteral("paperdart")));
        logging::LogModuleStart();
        // libsane reads its configuration folder once per process, at its start.
        platform::wia::CoUninitialize();
        platform::wia::CoInitialize();
        InstallDesktopScanning();
        m_pdf = util::GetTempDirectory() + QStringLiteral("Paperdart/Scan_20261210_0930.pdf");
    }
    void TearDown() override
    {
        SetScanPlatform({});
        platform::wia::CoUninitialize();
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    test::ScopedEnv m_sane { "SANE_CONFIG_DIR", QStringLiteral(PD_SANE_DEMO) };
    test::TempFolder m_temp;
    test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    test::TempFolder m_program;
    QString m_pdf;
};

TEST_F(SaneDemo, FirstRunScansGivePagesOfAnA4Document)
{
    struct Case {
        const char* name;
        bool feeder;
        std::vector<test::ModalPresser::Answer> answers;
        int pages;
    };
    const Case cases[] = {
        // The feeder runs empty after ten pages; nothing to answer.
        { "feeder", true, {}, 10 },
        { "flatbed, no further page", false, { { QStringLiteral("Form_Messagebox"), QStringLiteral("ASBCancel") } },
            1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(m_pdf);
        test::ModalPresser presser(c.answers);
        // The job's arguments on a first run: colour, 20 / 10000, resolution 0 (150 dpi), quality 0.
        ASSERT_EQ(ScanToPdf(0, m_pdf, false, true, 20 / 10000.0, 0, 0, c.feeder, 0), 0);
        EXPECT_TRUE(presser.AllPressed());
        ASSERT_TRUE(QFileInfo::exists(m_pdf));
        const auto sizes = PageSizes(m_pdf);
        ASSERT_EQ(int(sizes.size()), c.pages);
        for (const auto& [width, height] : sizes) {
            EXPECT_NEAR(width, kA4Width, 2.0);
            EXPECT_NEAR(height, kA4Height, 2.0);
        }
        // A page with as much white as black on it: far above the blank-page threshold, and no
        // solid black sheet either.
        for (int page : { 1, c.pages }) {
            const double share = DarkShare(m_pdf, page);
            EXPECT_GT(share, 0.3) << "page " << page;
            EXPECT_LT(share, 0.7) << "page " << page;
        }
    }
}

} // namespace
} // namespace pd::scan
