#include <gtest/gtest.h>

#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>

#include "platform/imaging/errorstate.h"
#include "platform/imaging/twain.h"
#include "platform/wia/commondialog.h"
#include "platform/wia/devicesettingsdialog.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/support/testsupport.h"

// The acquisition with the windows a user sees: the scanner's settings and the progress of each
// page.
namespace pd::platform::imaging {
namespace {

using namespace Qt::StringLiterals;
using pd::test::ModalPresser;
using pd::test::PrivateSane;

const QString kSettings = QLatin1String(wia::kDeviceSettingsWindow);
const QString kTransfer = QLatin1String(wia::kTransferWindow);

class Acquire : public ::testing::Test {
protected:
    void SetUp() override
    {
        TWAIN_SetHideUI(0);
        TWAIN_SetAutoDeskew(0);
        TWAIN_SetBlankPageMode(0);
    }
    void TearDown() override { TWAIN_SetHideUI(0); }

    QString Pdf() const { return m_folder.File(u"Scan.pdf"_s); }
    int Pages() const { return QFile::exists(Pdf()) ? int(test::PageSizes(Pdf()).size()) : 0; }

    pd::test::TempFolder m_config;
    pd::test::ScopedEnv m_home { "XDG_CONFIG_HOME", m_config.Path() };
    pd::test::TempFolder m_folder;
};

TEST_F(Acquire, SettingsWindowBelongsToTheCallerAndWhatIsChosenThereIsScanned)
{
    PrivateSane sane({ u"test-picture \"Grid\""_s, u"geometry_max 297.0"_s });
    QWidget owner;
    owner.show();
    QWidget* parent = nullptr;
    ModalPresser presser({ { kSettings, u"scan"_s, [&](QWidget* window) {
                                parent = window->parentWidget();
                                auto* resolution = window->findChild<QDoubleSpinBox*>(u"resolution"_s);
                                if (!resolution)
                                    return false;
                                resolution->setValue(100);
                                return true;
                            } } });
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_SelectFeeder(0);
    TWAIN_SetPaperSize(1);
    EXPECT_EQ(TWAIN_AcquireMultipageFile(quintptr(owner.winId()), Pdf()), 0);
    EXPECT_TRUE(presser.AllPressed());
    EXPECT_EQ(parent, &owner);
    EXPECT_EQ(presser.Seen(), (QStringList { kSettings, kTransfer }));
    const std::vector<QStringList> images = test::ImageList(Pdf());
    ASSERT_EQ(images.size(), 1u);
    EXPECT_NEAR(images[0].value(3).toInt(), 210 / 25.4 * 100, 2) << "A4 across at 100 dpi";
}

TEST_F(Acquire, CancelInTheSettingsWindowScansNothing)
{
    PrivateSane sane({ u"test-picture \"Grid\""_s });
    ModalPresser presser({ { kSettings, u"cancel"_s } });
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_SelectFeeder(1);
    EXPECT_EQ(TWAIN_AcquireMultipageFile(0, Pdf()), 0);
    EXPECT_EQ(presser.Seen(), QStringList { kSettings });
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    EXPECT_TRUE(QDir(m_folder.Path()).isEmpty());
}

TEST_F(Acquire, CancelInTheProgressWindowKeepsThePagesBefore)
{
    // Slow pages, so the progress window stays up long enough to be answered.
    PrivateSane sane({ u"test-picture \"Grid\""_s, u"read-limit true"_s, u"read-limit-size 4096"_s,
        u"read-delay true"_s, u"read-delay-duration 20000"_s });
    // Each page has a window of its own, which may take the place in memory of the one before.
    int windows = 0;
    ModalPresser presser({ { kTransfer, u"CancelButton"_s, [&](QWidget* window) {
                                if (!window->property("counted").isValid()) {
                                    window->setProperty("counted", true);
                                    ++windows;
                                }
                                return windows == 3;
                            } } });
    TWAIN_SetHideUI(1);
    ASSERT_EQ(TWAIN_OpenDefaultSource(), 1);
    TWAIN_SelectFeeder(1);
    TWAIN_SetResolution(25);
    EXPECT_EQ(TWAIN_AcquireMultipageFile(0, Pdf()), 0);
    EXPECT_TRUE(presser.AllPressed());
    EXPECT_EQ(TWAIN_LastErrorCode(), 0) << LastErrorDescription().toStdString();
    EXPECT_EQ(Pages(), 2);
}

} // namespace
} // namespace pd::platform::imaging
