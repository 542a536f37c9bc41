#include <clocale>
#include <gtest/gtest.h>

#include "platform/wia/devicesettings.h"
#include "platform/wia/sanedevices.h"
#include "scan/pagebitmap.h"
#include "tests/platform/wia/privatesane.h"

namespace pd::platform::wia {
namespace {

using test::PrivateSane;
using Kind = DeviceSetting::Kind;

std::shared_ptr<IDevice> ConnectFirst()
{
    return CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
}

// The test backend with its further options switched on: every kind of setting, some advanced,
// some read only, arrays, a button.
const QStringList kAllOptions { QStringLiteral("enable-test-options true") };

const DeviceSetting* Find(const std::vector<DeviceSetting>& settings, const char* name)
{
    for (const DeviceSetting& setting : settings) {
        if (setting.name == name)
            return &setting;
    }
    return nullptr;
}

const DeviceSetting& Get(const std::vector<DeviceSetting>& settings, const char* name)
{
    const DeviceSetting* setting = Find(settings, name);
    if (!setting)
        throw std::runtime_error(std::string("no setting ") + name);
    return *setting;
}

int IndexOf(const std::shared_ptr<IDeviceSettings>& settings, const char* name)
{
    return Get(settings->List(), name).index;
}

QVariant ValueOf(const std::shared_ptr<IDeviceSettings>& settings, const char* name)
{
    return Get(settings->List(), name).value;
}

int ItemResolution(const std::shared_ptr<IDevice>& device)
{
    const auto properties = device->Items()->Item(1)->Properties();
    for (int i = 1; i <= properties->Count(); ++i) {
        if (properties->Item(i)->PropertyID() == WIA_IPS_XRES)
            return properties->Item(i)->Value();
    }
    return -1;
}

TEST(SaneDeviceSettings, ListsTheOptionsAsTheBackendDescribesThem)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    const auto settings = device->Settings();
    EXPECT_EQ(settings->DeviceTitle(), QStringLiteral("Noname frontend-tester"));
    const std::vector<DeviceSetting> list = settings->List();

    const DeviceSetting& mode = Get(list, "mode");
    EXPECT_EQ(mode.kind, Kind::String);
    EXPECT_EQ(mode.group, QStringLiteral("Scan Mode"));
    EXPECT_EQ(mode.stringChoices, QStringList({ QStringLiteral("Gray"), QStringLiteral("Color") }));
    EXPECT_EQ(mode.value, QVariant(QStringLiteral("Gray")));
    EXPECT_FALSE(mode.advanced);

    const DeviceSetting& resolution = Get(list, "resolution");
    EXPECT_EQ(resolution.kind, Kind::Fixed);
    EXPECT_EQ(resolution.title, QStringLiteral("Scan resolution"));
    EXPECT_EQ(resolution.unit, QStringLiteral("dpi"));
    EXPECT_EQ(resolution.minimum, 1.0);
    EXPECT_EQ(resolution.maximum, 1200.0);
    EXPECT_EQ(resolution.step, 1.0);
    EXPECT_EQ(resolution.value.toDouble(), 50.0);

    const DeviceSetting& brX = Get(list, "br-x");
    EXPECT_EQ(brX.kind, Kind::Fixed);
    EXPECT_EQ(brX.group, QStringLiteral("Geometry"));
    EXPECT_EQ(brX.unit, QStringLiteral("mm"));
    EXPECT_EQ(brX.maximum, 200.0);
    EXPECT_DOUBLE_EQ(brX.value.toDouble(), 80.0);

    const DeviceSetting& depth = Get(list, "depth");
    EXPECT_EQ(depth.kind, Kind::Int);
    EXPECT_EQ(depth.numberChoices, QList<double>({ 1, 8, 16 }));
    EXPECT_FALSE(depth.minimum.has_value());
    EXPECT_EQ(depth.value.toDouble(), 8.0);

    const DeviceSetting& handScanner = Get(list, "hand-scanner");
    EXPECT_EQ(handScanner.kind, Kind::Bool);
    EXPECT_EQ(handScanner.value, QVariant(false));

    const DeviceSetting& button = Get(list, "print-options");
    EXPECT_EQ(button.kind, Kind::Button);
    EXPECT_FALSE(button.value.isValid());

    // Inactive until colour mode; its value is not read then.
    EXPECT_FALSE(Get(list, "three-pass").active);
    EXPECT_EQ(Get(list, "read-delay-duration").unit, QStringLiteral("µs"));

    const DeviceSetting& gamma = Get(list, "gamma-table");
    EXPECT_EQ(gamma.count, 4096);
    EXPECT_FALSE(gamma.value.isValid());
    EXPECT_TRUE(gamma.advanced);

    // Read only: the device tells its value but takes none.
    const DeviceSetting& detectOnly = Get(list, "bool-soft-detect");
    EXPECT_FALSE(detectOnly.settable);
    EXPECT_EQ(detectOnly.value, QVariant(false));

    const DeviceSetting& fixedRange = Get(list, "fixed-constraint-range");
    EXPECT_NEAR(*fixedRange.minimum, -42.17, 1e-4);
    EXPECT_EQ(fixedRange.step, 2.0);
    EXPECT_EQ(Get(list, "fixed-constraint-word-list").numberChoices.size(), 4);

    // In the device's order, each setting once.
    for (std::size_t i = 1; i < list.size(); ++i)
        EXPECT_LT(list[i - 1].index, list[i].index);
}

TEST(SaneDeviceSettings, TitlesGroupsAndDescriptionsComeInTheUsersLanguage)
{
    const char* previous = std::setlocale(LC_MESSAGES, nullptr);
    const std::string restore = previous ? previous : "C";
    if (!std::setlocale(LC_MESSAGES, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    const QByteArray language = qgetenv("LANGUAGE");
    qputenv("LANGUAGE", "de");
    PrivateSane sane;
    const std::vector<DeviceSetting> list = ConnectFirst()->Settings()->List();
    const DeviceSetting mode = Get(list, "mode");
    const DeviceSetting brX = Get(list, "br-x");
    qputenv("LANGUAGE", language);
    std::setlocale(LC_MESSAGES, restore.c_str());

    EXPECT_EQ(mode.title, QStringLiteral("Scanmodus"));
    EXPECT_EQ(brX.group, QStringLiteral("Scanbereich"));
    EXPECT_FALSE(mode.description.startsWith(QLatin1String("Selects the scan mode")));
    // What is written stays the device's own word.
    EXPECT_EQ(mode.value, QVariant(QStringLiteral("Gray")));
    EXPECT_TRUE(mode.stringChoices.contains(QStringLiteral("Color")));
}

TEST(SaneDeviceSettings, WritesReachTheDeviceAsTheNearestValueItAllows)
{
    PrivateSane sane(kAllOptions);
    const auto device = ConnectFirst();
    const auto settings = device->Settings();
    const struct {
        const char* name;
        QVariant written;
        QVariant read;
    } cases[] = {
        { "resolution", 100.0, 100.0 },
        { "resolution", 5000.0, 1200.0 },
        { "int-constraint-range", 7.0, 8.0 }, // 4..192 in steps of 2
        { "int-constraint-range", 1.0, 4.0 },
        { "int-constraint-word-list", 40.0, 42.0 }, // -42, -8, 0, 17, 42, 256, ...
        { "tl-x", 10.4, 10.0 },
        { "int-inexact", 50.0, 51.0 }, // the backend itself adjusts it and says so
        { "hand-scanner", true, true },
        { "hand-scanner", false, false },
        { "source", QStringLiteral("Automatic Document Feeder"), QStringLiteral("Automatic Document Feeder") },
        { "string", QStringLiteral("Geschäftsbrief"), QStringLiteral("Geschäftsbrief") },
        { "int", QStringLiteral("17"), 17.0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " := " << c.written.toString().toStdString());
        settings->Set(IndexOf(settings, c.name), c.written);
        const QVariant read = ValueOf(settings, c.name);
        if (c.read.typeId() == QMetaType::Double)
            EXPECT_NEAR(read.toDouble(), c.read.toDouble(), 1e-4);
        else
            EXPECT_EQ(read, c.read);
    }
    // The scan itself uses what was written.
    settings->Set(IndexOf(settings, "resolution"), 100.0);
    EXPECT_EQ(ItemResolution(device), 100);
    // A step of 2 from -42.17: 5 lies nearest to 5.83.
    settings->Set(IndexOf(settings, "fixed-constraint-range"), 5.0);
    EXPECT_NEAR(ValueOf(settings, "fixed-constraint-range").toDouble(), 5.83, 1e-3);
    // A button is pressed, with no value to read back.
    EXPECT_NO_THROW(settings->Set(IndexOf(settings, "button"), {}));
}

TEST(SaneDeviceSettings, RefusedWritesThrowAndLeaveTheValue)
{
    PrivateSane sane(kAllOptions);
    const auto settings = ConnectFirst()->Settings();
    const struct {
        const char* name;
        QVariant written;
        const char* unchanged;
    } cases[] = {
        { "mode", QStringLiteral("Sepia"), "mode" }, // the device refuses it
        { "three-pass", true, "three-pass" }, // inactive in grey mode
        { "bool-soft-detect", true, "bool-soft-detect" }, // read only
        { "gamma-table", 1.0, "gamma-table" }, // a list of values
        { "resolution", QStringLiteral("hoch"), "resolution" },
        { "resolution", std::numeric_limits<double>::quiet_NaN(), "resolution" },
        { "string", QString(300, QLatin1Char('x')), "string" }, // longer than the device holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " := " << c.written.toString().toStdString());
        const QVariant before = ValueOf(settings, c.unchanged);
        EXPECT_THROW(settings->Set(IndexOf(settings, c.name), c.written), Error);
        EXPECT_EQ(ValueOf(settings, c.unchanged), before);
    }
    for (const int index : { 0, -1, 9999 }) {
        SCOPED_TRACE(index);
        EXPECT_THROW(settings->Set(index, 1.0), Error);
    }
}

TEST(SaneDeviceSettings, AModeChangeAsksForANewListThatShowsWhatCameWithIt)
{
    PrivateSane sane(kAllOptions);
    const auto settings = ConnectFirst()->Settings();
    EXPECT_TRUE(settings->Set(IndexOf(settings, "mode"), QStringLiteral("Color")));
    EXPECT_TRUE(Get(settings->List(), "three-pass").active);

    EXPECT_FALSE(Get(settings->List(), "invert-endianess").active);
    EXPECT_TRUE(settings->Set(IndexOf(settings, "depth"), 16.0));
    EXPECT_TRUE(Get(settings->List(), "invert-endianess").active);

    // Switching the test options off takes every one of them out.
    EXPECT_TRUE(Get(settings->List(), "int").active);
    EXPECT_TRUE(settings->Set(IndexOf(settings, "enable-test-options"), false));
    EXPECT_FALSE(Get(settings->List(), "int").active);
    EXPECT_FALSE(Get(settings->List(), "button").active);
}

// The settings window may come up after the feeder was asked for paper, which starts the next
// frame; the device answers no settings while it scans.
TEST(SaneDeviceSettings, ASettingWrittenAfterTheFeederProbeGovernsTheNextPage)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    const auto settings = device->Settings();
    settings->Set(IndexOf(settings, "source"), QStringLiteral("Automatic Document Feeder"));
    const auto properties = device->Properties();
    std::shared_ptr<IProperty> status;
    for (int i = 1; i <= properties->Count(); ++i) {
        if (properties->Item(i)->PropertyID() == WIA_DPS_DOCUMENT_HANDLING_STATUS)
            status = properties->Item(i);
    }
    ASSERT_NE(status, nullptr);
    ASSERT_EQ(status->Value(), FEED_READY);

    EXPECT_EQ(ValueOf(settings, "resolution").toDouble(), 50.0);
    settings->Set(IndexOf(settings, "resolution"), 100.0);
    EXPECT_EQ(ItemResolution(device), 100);
    ASSERT_EQ(status->Value(), FEED_READY);
    const scan::PageBitmap page = scan::LoadBitmap(device->Items()->Item(1)->Transfer({}));
    EXPECT_NEAR(page.XPelsPerMeter(), 100 / 0.0254, 1);
    EXPECT_NEAR(page.Width(), 80 / 25.4 * 100, 1); // br-x 80 mm
}

} // namespace
} // namespace pd::platform::wia
