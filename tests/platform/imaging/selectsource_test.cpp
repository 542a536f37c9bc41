#include <gtest/gtest.h>

#include <QTreeWidget>

#include "platform/imaging/imagesource.h"
#include "platform/imaging/twain.h"
#include "platform/wia/commondialog.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

const QString kSelect = QLatin1String(wia::kSelectDeviceWindow);

QString CurrentRow(QWidget* window)
{
    const auto* row = window->findChild<QTreeWidget*>(QStringLiteral("DeviceList"))->currentItem();
    return row ? row->text(3) : QString();
}

TEST(SelectImageSource, ChoiceIsKeptInTheLibrarysFileAndOfferedAgain)
{
    test::TempFolder config;
    test::ScopedEnv home("XDG_CONFIG_HOME", config.Path());
    test::PrivateSane sane({ QStringLiteral("number_of_devices 3") });
    EXPECT_EQ(ImageSourceFile(), config.File(QStringLiteral("Quor/Paperdart/Imaging.INI")));
    EXPECT_TRUE(RememberedImageSource().isEmpty());

    {
        test::ModalPresser presser({ { kSelect, QStringLiteral("OkButton"), [](QWidget* window) {
                                          auto* list = window->findChild<QTreeWidget*>(QStringLiteral("DeviceList"));
                                          list->setCurrentItem(list->topLevelItem(2));
                                          return true;
                                      } } });
        EXPECT_EQ(TWAIN_SelectImageSource(0), 1);
        EXPECT_TRUE(presser.AllPressed());
    }
    EXPECT_EQ(RememberedImageSource(), QStringLiteral("test:2"));
    EXPECT_TRUE(test::ReadBytes(ImageSourceFile()).contains("Device=test:2\r\n"));

    // Next time the list opens on the kept scanner; cancel keeps it.
    QString preselected;
    {
        test::ModalPresser presser({ { kSelect, QStringLiteral("CancelButton"), [&](QWidget* window) {
                                          preselected = CurrentRow(window);
                                          return true;
                                      } } });
        EXPECT_EQ(TWAIN_SelectImageSource(0), 0);
    }
    EXPECT_EQ(preselected, QStringLiteral("test:2"));
    EXPECT_EQ(RememberedImageSource(), QStringLiteral("test:2"));
}

TEST(SelectImageSource, SettingsFolderThatCannotBeWrittenKeepsNothing)
{
    test::TempFolder config;
    test::WriteBytes(config.File(QStringLiteral("Quor")), "a file where the folder belongs");
    test::ScopedEnv home("XDG_CONFIG_HOME", config.Path());
    test::PrivateSane sane;
    test::ModalPresser presser({ { kSelect, QStringLiteral("OkButton") } });
    EXPECT_EQ(TWAIN_SelectImageSource(0), 0);
    EXPECT_TRUE(RememberedImageSource().isEmpty());
}

} // namespace
} // namespace pd::platform::imaging
