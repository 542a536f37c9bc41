#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

#include "platform/error.h"

namespace pd::platform::wia {

// The scanner objects the acquisition talks to, shaped like their Windows namesakes so each step
// of the scan reads the same here. Lists count from 1. Every failed call throws wia::Error; the
// objects keep what they were made from alive (a property keeps its device open).

// Property IDs and values the program uses.
inline constexpr int WIA_DPS_DOCUMENT_HANDLING_STATUS = 3087; // read only; bit 1: paper in the feeder
inline constexpr int WIA_DPS_DOCUMENT_HANDLING_SELECT = 3088;
inline constexpr int WIA_DPS_PAGE_WIDTH = 3098; // scan area from the top left corner, 1/1000 inch
inline constexpr int WIA_DPS_PAGE_HEIGHT = 3099;
inline constexpr int WIA_IPA_DEPTH = 4104; // bits per sample
inline constexpr int WIA_IPS_CUR_INTENT = 6146;
inline constexpr int WIA_IPS_XRES = 6147;
inline constexpr int WIA_IPS_YRES = 6148;

inline constexpr int FEEDER = 1;
inline constexpr int FLATBED = 2;
inline constexpr int DUPLEX = 4;
inline constexpr int FEED_READY = 1;
inline constexpr int WIA_INTENT_IMAGE_TYPE_COLOR = 1;
inline constexpr int WIA_INTENT_IMAGE_TYPE_GRAYSCALE = 2;

inline constexpr int ScannerDeviceType = 1;
inline constexpr int CameraDeviceType = 2;
inline constexpr int VideoDeviceType = 3;

// The transfer format the program asks for.
inline constexpr char16_t wiaFormatBMP[] = u"{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}";

// A scanner call that failed. Cancelled() tells a transfer the user stopped.
class Error : public platform::Error {
public:
    explicit Error(QString message, bool cancelled = false)
        : platform::Error(std::move(message))
        , m_cancelled(cancelled)
    {
    }
    bool Cancelled() const { return m_cancelled; }

private:
    bool m_cancelled;
};

class IProperty {
public:
    virtual ~IProperty() = default;
    virtual int PropertyID() = 0;
    virtual int Value() = 0;
    // Throws when the device does not take the value.
    virtual void SetValue(int value) = 0;
};

class IProperties {
public:
    virtual ~IProperties() = default;
    virtual int Count() = 0;
    virtual std::shared_ptr<IProperty> Item(int index) = 0;
};

// How far a transfer has come; called on the thread that reads the page.
struct TransferProgress {
    qint64 bytesRead = 0;
    qint64 bytesExpected = -1; // -1 while the page's length is not known (hand scanners)
};

class IItem {
public:
    virtual ~IItem() = default;
    virtual std::shared_ptr<IProperties> Properties() = 0;

    // Reads one page from the device and returns it as a BMP file whose header carries the scan
    // resolution. Blocks until the page is in; may run on a thread of its own while the caller's
    // thread shows the progress. progress may be empty.
    virtual QByteArray Transfer(const std::function<void(const TransferProgress&)>& progress) = 0;
    // Stops a running Transfer from another thread; it then throws an Error with Cancelled().
    virtual void CancelTransfer() = 0;
};

class IItems {
public:
    virtual ~IItems() = default;
    virtual int Count() = 0;
    virtual std::shared_ptr<IItem> Item(int index) = 0;
};

class IDeviceSettings;

class IDevice {
public:
    virtual ~IDevice() = default;
    virtual QString DeviceID() = 0;
    virtual std::shared_ptr<IProperties> Properties() = 0;
    virtual std::shared_ptr<IItems> Items() = 0;
    // The device's own settings (devicesettings.h). Throws Error when it has none.
    virtual std::shared_ptr<IDeviceSettings> Settings();
};

// How a device is attached, as far as its name tells.
enum class Connection { Usb, Network, Other };

class IDeviceInfo {
public:
    virtual ~IDeviceInfo() = default;
    virtual QString DeviceID() = 0;
    virtual int Type() = 0;
    // What the device list shows of it.
    virtual QString Vendor() = 0;
    virtual QString Model() = 0;
    virtual Connection ConnectionKind() = 0;
    virtual std::shared_ptr<IDevice> Connect() = 0;
};

class IDeviceInfos {
public:
    virtual ~IDeviceInfos() = default;
    virtual int Count() = 0;
    virtual std::shared_ptr<IDeviceInfo> Item(int index) = 0;
};

class IDeviceManager {
public:
    virtual ~IDeviceManager() = default;
    // The devices connected now.
    virtual std::shared_ptr<IDeviceInfos> DeviceInfos() = 0;
};

// The bytes of one transferred image.
class Vector {
public:
    explicit Vector(QByteArray data)
        : m_data(std::move(data))
    {
    }
    const QByteArray& BinaryData() const { return m_data; }

private:
    QByteArray m_data;
};

class ImageFile {
public:
    explicit ImageFile(QByteArray data)
        : m_fileData(std::move(data))
    {
    }
    const Vector& FileData() const { return m_fileData; }

private:
    Vector m_fileData;
};

class ICommonDialog {
public:
    virtual ~ICommonDialog() = default;
    // Lets the user pick a device of the type; the connected device, or nullptr when the choice
    // was cancelled and cancelError is false.
    virtual std::shared_ptr<IDevice> ShowSelectDevice(int deviceType, bool alwaysSelectDevice, bool cancelError) = 0;
    // Transfers one page of item in format while showing its progress; a cancelled transfer
    // throws when cancelError is set and gives nullptr otherwise.
    virtual std::shared_ptr<ImageFile> ShowTransfer(
        const std::shared_ptr<IItem>& item, const QString& format, bool cancelError)
        = 0;
};

} // namespace pd::platform::wia
