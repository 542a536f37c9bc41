#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QWheelEvent>

#include "platform/wia/devicesettings.h"
#include "platform/wia/devicesettingsdialog.h"
#include "platform/wia/sanedevices.h"
#include "scan/pagebitmap.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"

namespace pd::platform::wia {
namespace {

using test::ModalPresser;
using test::PrivateSane;

const QString kWindow = QLatin1String(kDeviceSettingsWindow);
const QStringList kAllOptions { QStringLiteral("enable-test-options true") };

std::shared_ptr<IDevice> ConnectFirst()
{
    return CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
}

template <typename T> T* Control(QWidget* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

QVariant DeviceValue(const std::shared_ptr<IDevice>& device, const char* name)
{
    for (const DeviceSetting& setting : device->Settings()->List()) {
        if (setting.name == name)
            return setting.value;
    }
    return {};
}

// Saves a picture of the window when PD_SCREENSHOT_DIR names a folder, to look at under xvfb-run.
void Grab(QWidget* window, const QString& name)
{
    if (const QString folder = qEnvironmentVariable("PD_SCREENSHOT_DIR"); !folder.isEmpty())
        window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

void PressKey(QWidget* target, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// A device whose settings are one resolution that takes nothing above 300 dpi, for a refusal
// the test backend cannot show.
class FussyDevice : public IDevice, public IDeviceSettings, public std::enable_shared_from_this<FussyDevice> {
public:
    QString DeviceID() override { return QStringLiteral("fussy:0"); }
    std::shared_ptr<IProperties> Properties() override { throw Error(QStringLiteral("none")); }
    std::shared_ptr<IItems> Items() override { throw Error(QStringLiteral("none")); }
    std::shared_ptr<IDeviceSettings> Settings() override { return shared_from_this(); }

    std::vector<DeviceSetting> List() override
    {
        DeviceSetting resolution;
        resolution.index = 1;
        resolution.name = "resolution";
        resolution.title = QStringLiteral("Auflösung");
        resolution.kind = DeviceSetting::Kind::Int;
        resolution.unit = QStringLiteral("dpi");
        resolution.minimum = 50;
        resolution.maximum = 1200;
        resolution.value = dpi;
        return { resolution };
    }
    bool Set(int, const QVariant& value) override
    {
        ++writes;
        if (value.toDouble() > 300)
            throw Error(QStringLiteral("Gerät meldet: Wert außerhalb des Bereichs"));
        dpi = value.toDouble();
        return false;
    }

    double dpi = 150;
    int writes = 0;
};

// A device without settings of its own.
class PlainDevice : public IDevice {
public:
    QString DeviceID() override { return QStringLiteral("plain:0"); }
    std::shared_ptr<IProperties> Properties() override { throw Error(QStringLiteral("none")); }
    std::shared_ptr<IItems> Items() override { throw Error(QStringLiteral("none")); }
};

TEST(DeviceSettingsWindow, AResolutionChosenThereGovernsTheScan)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    QString title;
    ModalPresser presser({ { kWindow, QStringLiteral("scan"), [&](QWidget* window) {
                                title = window->windowTitle();
                                Grab(window, QStringLiteral("Scannereinstellungen"));
                                auto* resolution = Control<QDoubleSpinBox>(window, "resolution");
                                if (!resolution)
                                    return false;
                                // Typed, not confirmed: pressing "Scannen" takes it all the same.
                                resolution->setValue(100);
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 1);
    EXPECT_TRUE(presser.AllPressed());
    EXPECT_EQ(title, QStringLiteral("Noname frontend-tester"));

    const scan::PageBitmap page = scan::LoadBitmap(device->Items()->Item(1)->Transfer({}));
    EXPECT_NEAR(page.XPelsPerMeter(), 100 / 0.0254, 1);
    EXPECT_NEAR(page.Width(), 80 / 25.4 * 100, 1); // the test backend's 80 mm wide area
}

TEST(DeviceSettingsWindow, CancelEscapeAndClosingGiveTwo)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    const struct {
        const char* how;
        std::function<void(QWidget*)> act;
    } cases[] = {
        { "Abbrechen", [](QWidget* window) { Control<QPushButton>(window, "cancel")->click(); } },
        { "Escape", [](QWidget* window) { PressKey(window, Qt::Key_Escape); } },
        { "closing", [](QWidget* window) { window->close(); } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        bool acted = false;
        // The presser's button never turns up; the window is answered in its ready check.
        ModalPresser presser({ { kWindow, QStringLiteral("none"), [&](QWidget* window) {
                                    if (!acted) {
                                        acted = true;
                                        c.act(window);
                                    }
                                    return false;
                                } } });
        EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
        EXPECT_TRUE(acted);
        EXPECT_FALSE(presser.Seen().contains(QStringLiteral("timed out")));
    }
}

TEST(DeviceSettingsWindow, ShowsEachKindOfSettingInItsControl)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    bool checked = false;
    ModalPresser presser({ { kWindow, QStringLiteral("cancel"), [&](QWidget* window) {
                                Grab(window, QStringLiteral("Scannereinstellungen-alle"));
                                auto* mode = Control<QComboBox>(window, "mode");
                                auto* resolution = Control<QDoubleSpinBox>(window, "resolution");
                                auto* brX = Control<QDoubleSpinBox>(window, "br-x");
                                auto* depth = Control<QComboBox>(window, "depth");
                                auto* hand = Control<QCheckBox>(window, "hand-scanner");
                                auto* text = Control<QLineEdit>(window, "string");
                                auto* button = Control<QPushButton>(window, "button");
                                EXPECT_TRUE(mode && resolution && brX && depth && hand && text && button);
                                if (!(mode && resolution && brX && depth && hand && text && button))
                                    return true;
                                EXPECT_EQ(mode->count(), 2);
                                EXPECT_EQ(mode->currentData(), QVariant(QStringLiteral("Gray")));
                                EXPECT_EQ(resolution->suffix(), QStringLiteral(" dpi"));
                                EXPECT_EQ(resolution->maximum(), 1200);
                                EXPECT_EQ(resolution->value(), 50);
                                EXPECT_EQ(brX->suffix(), QStringLiteral(" mm"));
                                EXPECT_EQ(brX->value(), 80);
                                EXPECT_EQ(depth->currentData().toDouble(), 8.0);
                                EXPECT_FALSE(hand->isChecked());
                                EXPECT_TRUE(text->text().startsWith(QLatin1String("This is the contents")));
                                // Inactive settings and lists of values are not shown.
                                EXPECT_EQ(Control<QWidget>(window, "three-pass"), nullptr);
                                EXPECT_EQ(Control<QWidget>(window, "gamma-table"), nullptr);
                                // Advanced ones only on request; read-only ones cannot be changed.
                                EXPECT_EQ(Control<QWidget>(window, "int-constraint-range"), nullptr);
                                Control<QCheckBox>(window, "advanced")->setChecked(true);
                                auto* stepped = Control<QSpinBox>(window, "int-constraint-range");
                                EXPECT_TRUE(stepped && stepped->singleStep() == 2);
                                auto* readOnly = Control<QCheckBox>(window, "bool-soft-detect");
                                EXPECT_TRUE(readOnly && !readOnly->isEnabled());
                                EXPECT_EQ(Control<QWidget>(window, "red-gamma-table"), nullptr);
                                Grab(window, QStringLiteral("Scannereinstellungen-erweitert"));
                                checked = true;
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
    EXPECT_TRUE(checked);
}

TEST(DeviceSettingsWindow, AModeChangeBringsItsSettingsWithoutMovingTheView)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    int scrolledBefore = -1, scrolledAfter = -1;
    bool threePassShown = false;
    ModalPresser presser({ { kWindow, QStringLiteral("cancel"), [&](QWidget* window) {
                                auto* scroll = window->findChild<QScrollArea*>();
                                auto* mode = Control<QComboBox>(window, "mode");
                                EXPECT_EQ(Control<QWidget>(window, "three-pass"), nullptr);
                                scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum() / 2);
                                scrolledBefore = scroll->verticalScrollBar()->value();
                                const int colour = mode->findData(QStringLiteral("Color"));
                                mode->setCurrentIndex(colour);
                                emit mode->activated(colour);
                                threePassShown = Control<QCheckBox>(window, "three-pass") != nullptr;
                                scrolledAfter = scroll->verticalScrollBar()->value();
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
    EXPECT_GT(scrolledBefore, 0);
    EXPECT_EQ(scrolledAfter, scrolledBefore);
    EXPECT_TRUE(threePassShown);
    // Written at once; cancelling does not scan but leaves what was written.
    EXPECT_EQ(DeviceValue(device, "mode"), QVariant(QStringLiteral("Color")));
}

TEST(DeviceSettingsWindow, TheWheelScrollsTheWindowAndChangesNoSetting)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    int scrolled = 0;
    QString picture, resolution;
    ModalPresser presser({ { kWindow, QStringLiteral("cancel"), [&](QWidget* window) {
                                Control<QPushButton>(window, "cancel")->setFocus();
                                // A wheel turn down over each list and spin box in turn.
                                for (const char* name : { "test-picture", "resolution" }) {
                                    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120),
                                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
                                    QApplication::sendEvent(Control<QWidget>(window, name), &wheel);
                                }
                                scrolled = window->findChild<QScrollArea*>()->verticalScrollBar()->value();
                                picture = Control<QComboBox>(window, "test-picture")->currentData().toString();
                                resolution = Control<QDoubleSpinBox>(window, "resolution")->text();
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
    EXPECT_GT(scrolled, 0);
    EXPECT_EQ(picture, QStringLiteral("Solid black"));
    EXPECT_EQ(resolution, QStringLiteral("50 dpi"));
    EXPECT_EQ(DeviceValue(device, "test-picture"), QVariant(QStringLiteral("Solid black")));
}

TEST(DeviceSettingsWindow, EnterInAFieldWritesItAndDoesNotScan)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    QVariant afterEnter;
    QString adjusted;
    ModalPresser presser({ { kWindow, QStringLiteral("cancel"), [&](QWidget* window) {
                                auto* resolution = Control<QDoubleSpinBox>(window, "resolution");
                                resolution->setFocus();
                                resolution->selectAll();
                                for (const QChar digit : QStringLiteral("300")) {
                                    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString(digit));
                                    QApplication::sendEvent(resolution, &typed);
                                }
                                PressKey(resolution, Qt::Key_Return);
                                afterEnter = DeviceValue(device, "resolution");
                                EXPECT_TRUE(window->isVisible());
                                // The device's nearest value shows in the control: 4..192 in steps of 2.
                                Control<QCheckBox>(window, "advanced")->setChecked(true);
                                auto* stepped = Control<QSpinBox>(window, "int-constraint-range");
                                stepped->setValue(7);
                                emit stepped->editingFinished();
                                adjusted = Control<QSpinBox>(window, "int-constraint-range")->text();
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
    EXPECT_EQ(afterEnter.toDouble(), 300.0);
    EXPECT_EQ(adjusted, QStringLiteral("8"));
}

TEST(DeviceSettingsWindow, ARefusedValueShowsWhyAndTheDevicesValueReturns)
{
    const auto device = std::make_shared<FussyDevice>();
    QString error, shown, errorAfterGoodWrite;
    bool stayedOpen = false;
    ModalPresser presser({ { kWindow, QStringLiteral("cancel"), [&](QWidget* window) {
                                auto* resolution = Control<QSpinBox>(window, "resolution");
                                resolution->setValue(600);
                                emit resolution->editingFinished();
                                auto* text = Control<QLabel>(window, "ErrorText");
                                error = text->isVisible() ? text->text() : QString();
                                shown = Control<QSpinBox>(window, "resolution")->text();
                                Grab(window, QStringLiteral("Scannereinstellungen-Fehler"));
                                // "Scannen" with a refused value typed in keeps the window open.
                                resolution->setValue(900);
                                Control<QPushButton>(window, "scan")->click();
                                stayedOpen = window->isVisible();
                                resolution->setValue(200);
                                emit resolution->editingFinished();
                                errorAfterGoodWrite = text->isVisible() ? text->text() : QString();
                                // Leaving the field unchanged writes nothing.
                                emit resolution->editingFinished();
                                return true;
                            } } });
    EXPECT_EQ(ShowDeviceSettings(device, nullptr), 2);
    EXPECT_TRUE(error.contains(QStringLiteral("Wert außerhalb des Bereichs"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("Auflösung"))) << error.toStdString();
    EXPECT_EQ(shown, QStringLiteral("150 dpi"));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(errorAfterGoodWrite, QString());
    EXPECT_EQ(device->dpi, 200);
    EXPECT_EQ(device->writes, 3);
    EXPECT_EQ(device->DeviceID(), QStringLiteral("fussy:0"));
}

TEST(DeviceSettingsWindow, ADeviceWithoutSettingsShowsNoWindowAndThrows)
{
    ModalPresser presser;
    try {
        ShowDeviceSettings(std::make_shared<PlainDevice>(), nullptr);
        ADD_FAILURE() << "no error";
    } catch (const Error& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("The device has no settings of its own"));
    }
    EXPECT_TRUE(presser.Seen().isEmpty());
}

} // namespace
} // namespace pd::platform::wia
