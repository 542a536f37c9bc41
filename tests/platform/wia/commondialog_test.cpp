#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>

#include "platform/wia/commondialog.h"
#include "platform/wia/sanedevices.h"
#include "scan/pagebitmap.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"

namespace pd::platform::wia {
namespace {

using test::ModalPresser;
using test::PrivateSane;

const QString kSelect = QLatin1String(kSelectDeviceWindow);
const QString kTransfer = QLatin1String(kTransferWindow);

std::shared_ptr<ICommonDialog> Dialog()
{
    return CreateCommonDialog(CreateSaneDeviceManager());
}

// Selects the row of the device list that shows the device name.
std::function<bool(QWidget*)> Pick(const QString& name)
{
    return [name](QWidget* window) {
        auto* list = window->findChild<QTreeWidget*>(QStringLiteral("DeviceList"));
        const auto rows = list->findItems(name, Qt::MatchExactly, 3);
        if (rows.isEmpty())
            return false;
        list->setCurrentItem(rows.first());
        return true;
    };
}

// Saves a picture of the window when PD_SCREENSHOT_DIR names a folder, to look at under xvfb-run.
void Grab(QWidget* window, const QString& name)
{
    if (const QString folder = qEnvironmentVariable("PD_SCREENSHOT_DIR"); !folder.isEmpty())
        window->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

TEST(SelectDevice, ListsTheDevicesAndConnectsTheOnePicked)
{
    PrivateSane sane({ QStringLiteral("number_of_devices 3") });
    QStringList shown;
    ModalPresser presser({ { kSelect, QStringLiteral("OkButton"), [&](QWidget* window) {
                                auto* list = window->findChild<QTreeWidget*>(QStringLiteral("DeviceList"));
                                for (int row = 0; row < list->topLevelItemCount(); ++row) {
                                    QStringList columns;
                                    for (int column = 0; column < 4; ++column)
                                        columns << list->topLevelItem(row)->text(column);
                                    shown << columns.join(QLatin1Char('|'));
                                }
                                Grab(window, QStringLiteral("Scanner-waehlen"));
                                return Pick(QStringLiteral("test:1"))(window);
                            } } });
    const auto device = Dialog()->ShowSelectDevice(ScannerDeviceType, true, false);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->DeviceID(), QStringLiteral("test:1"));
    EXPECT_EQ(shown,
        QStringList({ QStringLiteral("Noname|frontend-tester|lokal|test:0"),
            QStringLiteral("Noname|frontend-tester|lokal|test:1"),
            QStringLiteral("Noname|frontend-tester|lokal|test:2") }));
    EXPECT_EQ(presser.Seen(), QStringList { kSelect });
}

TEST(SelectDevice, CancelGivesNoDeviceOrTheCancelError)
{
    PrivateSane sane({ QStringLiteral("number_of_devices 2") });
    {
        ModalPresser presser({ { kSelect, QStringLiteral("CancelButton") } });
        EXPECT_EQ(Dialog()->ShowSelectDevice(ScannerDeviceType, true, false), nullptr);
        EXPECT_TRUE(presser.AllPressed());
    }
    {
        ModalPresser presser({ { kSelect, QStringLiteral("CancelButton") } });
        try {
            Dialog()->ShowSelectDevice(ScannerDeviceType, true, true);
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_TRUE(error.Cancelled());
        }
    }
}

TEST(SelectDevice, WithoutDevicesSaysSoAndOffersNothingToChoose)
{
    // No backend at all: the test backend itself cannot be set to no devices.
    PrivateSane sane({}, {});
    bool explained = false;
    ModalPresser presser({ { kSelect, QStringLiteral("CancelButton"), [&](QWidget* window) {
                                explained = window->findChild<QLabel*>(QStringLiteral("NoDeviceText"))->isVisible()
                                    && !window->findChild<QPushButton*>(QStringLiteral("OkButton"))->isEnabled();
                                Grab(window, QStringLiteral("Scanner-waehlen-ohne-Geraet"));
                                return true;
                            } } });
    EXPECT_EQ(Dialog()->ShowSelectDevice(ScannerDeviceType, true, false), nullptr);
    EXPECT_TRUE(explained);
}

TEST(SelectDevice, OnlyDeviceIsTakenWithoutAskingUnlessAlwaysAsked)
{
    PrivateSane sane;
    ModalPresser presser;
    EXPECT_EQ(Dialog()->ShowSelectDevice(ScannerDeviceType, false, false)->DeviceID(), QStringLiteral("test:0"));
    EXPECT_TRUE(presser.Seen().isEmpty());
}

// Counts what the progress window draws while a page comes in.
class PaintCounter : public QObject {
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int paints = 0;
    int progressSteps = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && widget && widget->window()->objectName() == kTransfer) {
            ++paints;
            if (auto* bar = qobject_cast<QProgressBar*>(widget); bar && bar->value() != m_lastValue) {
                m_lastValue = bar->value();
                ++progressSteps;
            }
        }
        return false;
    }

private:
    int m_lastValue = -1;
};

// A slow device: 944 x 1181 grey pixels handed over in pieces a tenth of a second apart.
const QStringList kSlowDevice { QStringLiteral("resolution 300"), QStringLiteral("read-limit false"),
    QStringLiteral("read-delay true"), QStringLiteral("read-delay-duration 100000") };

TEST(Transfer, ProgressWindowKeepsPaintingWhileASlowDeviceSendsThePage)
{
    PrivateSane sane(kSlowDevice);
    const auto device = CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
    PaintCounter counter;
    ModalPresser presser;
    const auto image = Dialog()->ShowTransfer(device->Items()->Item(1), QString::fromUtf16(wiaFormatBMP), true);
    ASSERT_NE(image, nullptr);
    const scan::PageBitmap page = scan::LoadBitmap(image->FileData().BinaryData());
    EXPECT_EQ(page.Width(), 944);
    EXPECT_EQ(page.Height(), 1181);
    EXPECT_EQ(presser.Seen(), QStringList { kTransfer });
    // The page comes in about 35 pieces; the bar shows them as they come.
    EXPECT_GE(counter.progressSteps, 10);
    EXPECT_GT(counter.paints, counter.progressSteps);
}

TEST(Transfer, CancelMidPageStopsTheDeviceAndSaysSo)
{
    PrivateSane sane(kSlowDevice);
    const auto device = CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
    const auto item = device->Items()->Item(1);
    const auto midPage = [](QWidget* window) {
        const int value = window->findChild<QProgressBar*>(QStringLiteral("TransferProgress"))->value();
        if (value > 5)
            Grab(window, QStringLiteral("Scannen"));
        return value > 5;
    };
    for (const bool cancelError : { true, false }) {
        SCOPED_TRACE(cancelError);
        ModalPresser presser({ { kTransfer, QStringLiteral("CancelButton"), midPage } });
        try {
            const auto image = Dialog()->ShowTransfer(item, QString::fromUtf16(wiaFormatBMP), cancelError);
            EXPECT_FALSE(cancelError);
            EXPECT_EQ(image, nullptr);
        } catch (const Error& error) {
            EXPECT_TRUE(cancelError);
            EXPECT_TRUE(error.Cancelled()) << error.what();
        }
        EXPECT_TRUE(presser.AllPressed());
        EXPECT_FALSE(presser.Seen().contains(QStringLiteral("timed out")));
    }
}

TEST(Transfer, FailedTransferClosesTheWindowAndRaises)
{
    const int status = PrivateSane::RunWithFailingReads([] {
        PrivateSane sane(PrivateSane::FailingReads("SANE_STATUS_JAMMED"));
        const auto item = CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect()->Items()->Item(1);
        ModalPresser presser;
        try {
            Dialog()->ShowTransfer(item, QString::fromUtf16(wiaFormatBMP), false);
            return 1;
        } catch (const Error& error) {
            return (error.Cancelled() ? 2 : 0) | (presser.Seen() == QStringList { kTransfer } ? 0 : 4);
        }
    });
    EXPECT_EQ(status, 0) << "1: no error, 2: taken for a cancel, 4: window not shown once";
}

TEST(Transfer, FormatOtherThanBmpIsRefused)
{
    PrivateSane sane;
    const auto item = CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect()->Items()->Item(1);
    ModalPresser presser;
    EXPECT_THROW(Dialog()->ShowTransfer(item, QStringLiteral("{00000000-0000-0000-0000-000000000000}"), false), Error);
    EXPECT_TRUE(presser.Seen().isEmpty());
}

} // namespace
} // namespace pd::platform::wia
