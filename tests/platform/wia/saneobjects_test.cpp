#include <atomic>
#include <csignal>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <iterator>
#include <pthread.h>
#include <thread>

#include "platform/wia/sanedevices.h"
#include "platform/wia/sanesources.h"
#include "scan/pagebitmap.h"
#include "tests/platform/wia/privatesane.h"

namespace pd::platform::wia {
namespace {

using test::PrivateSane;

std::shared_ptr<IDevice> ConnectFirst()
{
    return CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
}

std::shared_ptr<IProperty> Find(const std::shared_ptr<IProperties>& properties, int id)
{
    for (int i = 1; i <= properties->Count(); ++i) {
        if (properties->Item(i)->PropertyID() == id)
            return properties->Item(i);
    }
    return nullptr;
}

std::shared_ptr<IItem> ScanItem(const std::shared_ptr<IDevice>& device)
{
    return device->Items()->Item(1);
}

int ItemValue(const std::shared_ptr<IDevice>& device, int id)
{
    return Find(ScanItem(device)->Properties(), id)->Value();
}

void SetItem(const std::shared_ptr<IDevice>& device, int id, int value)
{
    Find(ScanItem(device)->Properties(), id)->SetValue(value);
}

int DeviceValue(const std::shared_ptr<IDevice>& device, int id)
{
    return Find(device->Properties(), id)->Value();
}

void SetDevice(const std::shared_ptr<IDevice>& device, int id, int value)
{
    Find(device->Properties(), id)->SetValue(value);
}

TEST(SaneSources, HandlingValuesFindTheBackendsOwnSourceNames)
{
    const QStringList duplexDevice { u"Flatbed"_qs, u"ADF Front"_qs, u"ADF Back"_qs, u"ADF Duplex"_qs };
    const QStringList simplexDevice { u"Document Table"_qs, u"Automatic Document Feeder"_qs };
    const QStringList duplexOnly { u"Normal"_qs, u"Duplex"_qs };
    const struct {
        QStringList sources;
        int value;
        QString source;
    } cases[] = {
        { duplexDevice, FEEDER | DUPLEX, u"ADF Duplex"_qs },
        { duplexDevice, FEEDER, u"ADF Front"_qs },
        { duplexDevice, FLATBED, u"Flatbed"_qs },
        { simplexDevice, FEEDER | DUPLEX, u"Automatic Document Feeder"_qs }, // both sides not offered
        { simplexDevice, FLATBED, u"Document Table"_qs },
        { duplexOnly, FEEDER, u"Duplex"_qs }, // a feeder that only turns pages is still the feeder
        { duplexOnly, FLATBED, u"Normal"_qs },
        { { u"ADF"_qs }, FLATBED, QString() },
        { {}, FEEDER, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.sources.join(u',') + u" -> "_qs + QString::number(c.value)).toStdString());
        EXPECT_EQ(SourceFor(c.sources, c.value), c.source);
    }
}

TEST(SaneDeviceManager, ListsEveryDeviceWithItsNameTypeAndMaker)
{
    PrivateSane sane({ QStringLiteral("number_of_devices 2") });
    const auto infos = CreateSaneDeviceManager()->DeviceInfos();
    ASSERT_EQ(infos->Count(), 2);
    for (int i = 1; i <= 2; ++i) {
        SCOPED_TRACE(i);
        const auto info = infos->Item(i);
        EXPECT_EQ(info->DeviceID(), QStringLiteral("test:%1").arg(i - 1));
        EXPECT_EQ(info->Type(), ScannerDeviceType);
        EXPECT_EQ(info->Vendor(), QStringLiteral("Noname"));
        EXPECT_EQ(info->Model(), QStringLiteral("frontend-tester"));
        EXPECT_EQ(info->ConnectionKind(), Connection::Other);
        EXPECT_EQ(info->Connect()->DeviceID(), info->DeviceID());
    }
    EXPECT_THROW(infos->Item(0), Error);
    EXPECT_THROW(infos->Item(3), Error);
}

TEST(SaneDeviceManager, ConnectingToAVanishedDeviceThrows)
{
    PrivateSane sane({ QStringLiteral("number_of_devices 2") });
    const auto info = CreateSaneDeviceManager()->DeviceInfos()->Item(2);
    PrivateSane fewer;
    EXPECT_THROW(info->Connect(), Error);
}

TEST(SaneDeviceManager, TellsNetworkFromUsbByTheDeviceName)
{
    const struct {
        const char* name;
        Connection connection;
    } cases[] = {
        { "airscan:e0:Brother MFC-L2710DW series", Connection::Network },
        { "airscan:w1:HP LaserJet MFP M140w", Connection::Network },
        { "escl:http://192.168.1.5:80", Connection::Network },
        { "net:scanhost:test:0", Connection::Network },
        { "epson2:net:192.168.1.5", Connection::Network },
        { "pixma:MF4410_10.0.0.7", Connection::Network },
        { "hpaio:/net/officejet_pro_8600?ip=10.1.2.3", Connection::Network },
        { "genesys:libusb:001:004", Connection::Usb },
        { "hpaio:/usb/Deskjet_2540_series?serial=CN1", Connection::Usb },
        { "epsonds:libusb:002:003", Connection::Usb },
        { "test:0", Connection::Other },
        { "pnm:1", Connection::Other },
        { "v4l:/dev/video0", Connection::Other },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ConnectionOfDeviceName(QString::fromUtf8(c.name)), c.connection);
    }
}

TEST(SaneProperties, WritesReachTheDeviceOptionsAndReadBack)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    // Resolution: both axes share the test backend's one option; values beyond its range are
    // brought into it.
    SetItem(device, WIA_IPS_XRES, 300);
    EXPECT_EQ(ItemValue(device, WIA_IPS_XRES), 300);
    SetItem(device, WIA_IPS_YRES, 200);
    EXPECT_EQ(ItemValue(device, WIA_IPS_XRES), 200);
    SetItem(device, WIA_IPS_XRES, 5000);
    EXPECT_EQ(ItemValue(device, WIA_IPS_YRES), 1200);

    const struct {
        int id;
        bool onDevice;
        int written;
        int read;
    } cases[] = {
        { WIA_IPS_CUR_INTENT, false, WIA_INTENT_IMAGE_TYPE_COLOR, WIA_INTENT_IMAGE_TYPE_COLOR },
        { WIA_IPS_CUR_INTENT, false, WIA_INTENT_IMAGE_TYPE_GRAYSCALE, WIA_INTENT_IMAGE_TYPE_GRAYSCALE },
        // The test backend's feeder is single-sided: asking for feeder and duplex selects it.
        { WIA_DPS_DOCUMENT_HANDLING_SELECT, true, FEEDER | DUPLEX, FEEDER },
        { WIA_DPS_DOCUMENT_HANDLING_SELECT, true, FLATBED, FLATBED },
        { WIA_DPS_DOCUMENT_HANDLING_SELECT, true, FEEDER, FEEDER },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " := " << c.written);
        if (c.onDevice) {
            SetDevice(device, c.id, c.written);
            EXPECT_EQ(DeviceValue(device, c.id), c.read);
        } else {
            SetItem(device, c.id, c.written);
            EXPECT_EQ(ItemValue(device, c.id), c.read);
        }
    }
}

TEST(SaneProperties, ValuesTheDeviceLacksAreRefused)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED);
    EXPECT_THROW(SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, DUPLEX), Error);
    EXPECT_THROW(SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, 0), Error);
    EXPECT_EQ(DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_SELECT), FLATBED);
    EXPECT_THROW(SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_STATUS, FEED_READY), Error);
    EXPECT_THROW(SetItem(device, WIA_IPS_CUR_INTENT, 4), Error);
    EXPECT_THROW(device->Properties()->Item(device->Properties()->Count() + 1), Error);
    EXPECT_THROW(SetDevice(device, WIA_DPS_PAGE_WIDTH, 0), Error);
}

TEST(SaneProperties, ScanAreaInThousandthsOfAnInchAndBitDepth)
{
    PrivateSane sane({ QStringLiteral("geometry_max 297.0") });
    const auto device = ConnectFirst();
    const struct {
        int set;
        int read; // as the device keeps it: millimetres in its fixed-point steps
    } sides[] = { { 8268, 8268 }, { 11693, 11693 }, { 1000000, 11693 } };
    for (const auto& side : sides) {
        SCOPED_TRACE(side.set);
        SetDevice(device, WIA_DPS_PAGE_WIDTH, side.set);
        SetDevice(device, WIA_DPS_PAGE_HEIGHT, side.set);
        EXPECT_NEAR(DeviceValue(device, WIA_DPS_PAGE_WIDTH), side.read, 1);
        EXPECT_NEAR(DeviceValue(device, WIA_DPS_PAGE_HEIGHT), side.read, 1);
    }
    // 4 inches across at 100 dpi, give or take the device's rounding.
    SetDevice(device, WIA_DPS_PAGE_WIDTH, 4000);
    SetItem(device, WIA_IPS_XRES, 100);
    const QByteArray page = ScanItem(device)->Transfer({});
    EXPECT_NEAR(scan::LoadBitmap(page).Width(), 400, 1);
    for (const int bits : { 16, 8 }) {
        SetItem(device, WIA_IPA_DEPTH, bits);
        EXPECT_EQ(ItemValue(device, WIA_IPA_DEPTH), bits);
    }
}

TEST(SaneProperties, DeviceWithoutSourceHasNoHandlingProperties)
{
    PrivateSane sane({}, { QStringLiteral("pnm") });
    const auto device = ConnectFirst();
    EXPECT_EQ(device->Properties()->Count(), 0);
    EXPECT_NE(Find(ScanItem(device)->Properties(), WIA_IPS_XRES), nullptr);
    EXPECT_EQ(Find(ScanItem(device)->Properties(), WIA_IPS_CUR_INTENT), nullptr);
}

TEST(SaneFeeder, TenPagesThenEmptyAndAskingTwiceTakesNoPage)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER | DUPLEX);
    int pages = 0;
    while (DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_STATUS) & FEED_READY) {
        ASSERT_EQ(DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_STATUS), FEED_READY);
        ASSERT_FALSE(ScanItem(device)->Transfer({}).isEmpty());
        ASSERT_LE(++pages, 10);
    }
    EXPECT_EQ(pages, 10);
}

TEST(SaneFeeder, FlatbedNeverReportsPaperAndScansOnAndOn)
{
    PrivateSane sane;
    const auto device = ConnectFirst();
    SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED);
    for (int page = 0; page < 12; ++page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_STATUS), 0);
        EXPECT_FALSE(ScanItem(device)->Transfer({}).isEmpty());
    }
}

TEST(SaneTransfer, EveryFailedReadThrowsAndACancelSaysSo)
{
    const struct {
        const char* status;
        const char* text;
        bool cancelled;
    } cases[] = {
        { "SANE_STATUS_JAMMED", "jammed", false },
        { "SANE_STATUS_IO_ERROR", "I/O", false },
        { "SANE_STATUS_NO_DOCS", "out of documents", false },
        { "SANE_STATUS_COVER_OPEN", "cover", false },
        { "SANE_STATUS_CANCELLED", "cancelled", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const int status = PrivateSane::RunWithFailingReads([&c] {
            PrivateSane sane(PrivateSane::FailingReads(c.status));
            try {
                ScanItem(ConnectFirst())->Transfer({});
                return 1;
            } catch (const Error& error) {
                return (error.Message().contains(QLatin1String(c.text), Qt::CaseInsensitive) ? 0 : 2)
                    | (error.Message().startsWith(QLatin1String("sane_read test:0")) ? 0 : 4)
                    | (error.Cancelled() == c.cancelled ? 0 : 8);
            }
        });
        EXPECT_EQ(status, 0) << "1: no error, 2: wrong text, 4: wrong call, 8: wrong cancel flag";
    }
}

TEST(SaneTransfer, CancelFromAnotherThreadStopsASlowDevice)
{
    // 944 x 1181 grey pixels, which the backend hands over in buffers a fifth of a second apart.
    PrivateSane sane({ QStringLiteral("resolution 300"), QStringLiteral("read-delay true"),
        QStringLiteral("read-delay-duration 200000") });
    const auto device = ConnectFirst();
    const auto item = ScanItem(device);
    std::atomic<qint64> bytesRead = 0;
    std::atomic<qint64> bytesExpected = 0;
    std::atomic<bool> cancelled = false;
    std::thread reader([&] {
        try {
            item->Transfer([&](const TransferProgress& progress) {
                bytesExpected = progress.bytesExpected;
                bytesRead = progress.bytesRead;
            });
        } catch (const Error& error) {
            cancelled = error.Cancelled();
        }
    });
    while (bytesRead == 0)
        std::this_thread::yield();
    item->CancelTransfer();
    reader.join();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(bytesExpected, 944 * 1181);
    EXPECT_LT(bytesRead, bytesExpected);
    // The device is free again for the next page.
    EXPECT_FALSE(item->Transfer({}).isEmpty());
}

// The program ends in order on logout or Ctrl+C through handlers of its own. A backend that
// reads on a thread may set the process's handlers for that thread: the test backend puts SIGTERM
// back to its default action at each sane_start, so the next logout would kill the program.
TEST(SaneTransfer, TheProgramsSignalHandlersOutliveEveryScan)
{
    constexpr int kSignals[] = { SIGTERM, SIGINT, SIGHUP };
    struct sigaction previous[std::size(kSignals)] {};
    struct sigaction ours { };
    ours.sa_handler = [](int) {};
    sigemptyset(&ours.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &ours, &previous[i]);
    const auto stillOurs = [&](const char* when) {
        for (const int signal : kSignals) {
            struct sigaction now { };
            ::sigaction(signal, nullptr, &now);
            EXPECT_EQ(now.sa_handler, ours.sa_handler) << "signal " << signal << " " << when;
        }
    };

    {
        PrivateSane sane;
        const auto device = ConnectFirst();
        SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER | DUPLEX);
        while (DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_STATUS) & FEED_READY) {
            ASSERT_FALSE(ScanItem(device)->Transfer({}).isEmpty());
            stillOurs("after a feeder page");
        }
        stillOurs("after the feeder ran empty");
        SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED);
        ASSERT_FALSE(ScanItem(device)->Transfer({}).isEmpty());
        stillOurs("after a flatbed page");
    }
    stillOurs("after the device was closed");
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &previous[i], nullptr);
}

TEST(SaneTransfer, CancelBeforeTheReadBeginsHoldsForThatPageOnlyAndFeedsNoSheet)
{
    // The progress window's cancel may come before its reading thread has started the page.
    PrivateSane sane;
    const auto device = ConnectFirst();
    SetDevice(device, WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER | DUPLEX);
    const auto item = ScanItem(device);
    item->CancelTransfer(); // nothing started yet that the device could stop
    try {
        item->Transfer({});
        ADD_FAILURE() << "the page was read despite the cancel";
    } catch (const Error& error) {
        EXPECT_TRUE(error.Cancelled()) << error.what();
    }
    int pages = 0;
    while (DeviceValue(device, WIA_DPS_DOCUMENT_HANDLING_STATUS) & FEED_READY) {
        ASSERT_FALSE(item->Transfer({}).isEmpty()) << "the cancel is spent with its page";
        ASSERT_LE(++pages, 10);
    }
    EXPECT_EQ(pages, 10) << "the cancelled page took a sheet from the feeder";
}

// Backends cancel their reading threads when a frame ends; asked for asynchronous cancellation,
// which can kill such a thread inside the allocator and hang the program at the backend's join,
// a thread of this program gets deferred cancellation. Looked up as a backend loaded at run time
// finds it.
TEST(SaneTransfer, BackendThreadsAskingForAsynchronousCancellationGetDeferred)
{
    using SetCancelType = int (*)(int, int*);
    const auto asBackendsSeeIt = reinterpret_cast<SetCancelType>(::dlsym(RTLD_DEFAULT, "pthread_setcanceltype"));
    const auto cLibrarys = reinterpret_cast<SetCancelType>(::dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    ASSERT_NE(asBackendsSeeIt, nullptr);
    ASSERT_NE(cLibrarys, nullptr);
    int asked = -1;
    int inForce = -1;
    std::thread backendThread([&] {
        asked = asBackendsSeeIt(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
        cLibrarys(PTHREAD_CANCEL_DEFERRED, &inForce);
    });
    backendThread.join();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(inForce, PTHREAD_CANCEL_DEFERRED);
}

} // namespace
} // namespace pd::platform::wia
