#include <cmath>
#include <vector>

#include <QRegularExpression>

#include "platform/wia/sanedevices.h"
#include "platform/wia/sanedevicesettings.h"
#include "platform/wia/sanesession.h"
#include "platform/wia/sanesources.h"
#include "platform/wia/sanestatus.h"
#include "platform/wia/wialog.h"

namespace pd::platform::wia {

namespace {

using SessionPtr = std::shared_ptr<SaneSession>;

// One property: its ID and how it reads and writes the device's options.
struct PropertyRule {
    int id;
    bool (*present)(SaneSession&);
    int (*read)(SaneSession&);
    void (*write)(SaneSession&, int);
};

bool Contains(const QString& text, std::initializer_list<const char*> words)
{
    for (const char* word : words) {
        if (text.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

bool IsFeederSource(const QString& source)
{
    return Contains(source, { "adf", "feeder", "duplex", "sheet" });
}
static bool IsDuplexSource(const QString& source)
{
    return IsFeederSource(source) && Contains(source, { "duplex" });
}
static bool IsFlatbedSource(const QString& source)
{
    return !IsFeederSource(source) && Contains(source, { "flatbed", "platen", "table", "glass", "normal" });
}

int SourceValue(const QString& source)
{
    if (IsDuplexSource(source))
        return FEEDER | DUPLEX;
    if (IsFeederSource(source))
        return FEEDER;
    return IsFlatbedSource(source) ? FLATBED : 0;
}

QString SourceFor(const QStringList& sources, int value)
{
    QString fallback;
    for (const QString& source : sources) {
        const int kind = SourceValue(source);
        if (kind == value)
            return source;
        if ((value & FEEDER) && (kind & FEEDER) && fallback.isEmpty())
            fallback = source;
    }
    return fallback;
}

namespace {

// Modes likewise: "Color", "Colour", "RGB", "24bit Color"; "Gray", "Grey", "Grayscale",
// "8bit Gray". Lineart and halftone variants of a colour or grey mode are not taken.
int ModeValue(const QString& mode)
{
    if (Contains(mode, { "lineart", "halftone", "binary", "dither" }))
        return 0;
    if (Contains(mode, { "color", "colour", "rgb" }))
        return WIA_INTENT_IMAGE_TYPE_COLOR;
    if (Contains(mode, { "gray", "grey" }))
        return WIA_INTENT_IMAGE_TYPE_GRAYSCALE;
    return 0;
}

QString ModeFor(const QStringList& modes, int value)
{
    for (const QString& mode : modes) {
        if (ModeValue(mode) == value)
            return mode;
    }
    return {};
}

const char* XResolutionOption(SaneSession& s)
{
    return s.HasOption("x-resolution") ? "x-resolution" : "resolution";
}
const char* YResolutionOption(SaneSession& s)
{
    return s.HasOption("y-resolution") ? "y-resolution" : "resolution";
}

int ReadNumber(SaneSession& s, const char* option)
{
    return int(std::lround(s.NumberOption(option).value_or(0)));
}

void WriteSource(SaneSession& s, int value)
{
    const QString source = SourceFor(s.StringChoices("source"), value);
    if (source.isEmpty())
        throw Error(QStringLiteral("%1 has no source for document handling %2").arg(s.Name()).arg(value));
    s.SetStringOption("source", source);
}

void WriteMode(SaneSession& s, int value)
{
    const QString mode = ModeFor(s.StringChoices("mode"), value);
    if (mode.isEmpty())
        throw Error(QStringLiteral("%1 has no mode for intent %2").arg(s.Name()).arg(value));
    s.SetStringOption("mode", mode);
}

bool HasFeeder(SaneSession& s)
{
    for (const QString& source : s.StringChoices("source")) {
        if (IsFeederSource(source))
            return true;
    }
    return false;
}

// The scan area runs from the top left option to the bottom right one. Properties give its sides
// in thousandths of an inch; SANE gives millimetres, or pixels at the current resolution.
struct AreaSide {
    const char* topLeft;
    const char* bottomRight;
};
constexpr AreaSide kAreaWidth { "tl-x", "br-x" };
constexpr AreaSide kAreaHeight { "tl-y", "br-y" };

double ThousandthsPerUnit(SaneSession& s, const char* option)
{
    if (!s.CountsPixels(option))
        return 1000.0 / 25.4;
    const double dpi = s.NumberOption(XResolutionOption(s)).value_or(0);
    if (dpi <= 0)
        throw Error(QStringLiteral("%1: a scan area in pixels without a resolution").arg(s.Name()));
    return 1000.0 / dpi;
}

int ReadAreaSide(SaneSession& s, const AreaSide& side)
{
    const double extent = s.NumberOption(side.bottomRight).value_or(0) - s.NumberOption(side.topLeft).value_or(0);
    return int(std::lround(extent * ThousandthsPerUnit(s, side.bottomRight)));
}

// The area starts at the top left corner; a side longer than the device reaches is cut to its
// reach.
void WriteAreaSide(SaneSession& s, const AreaSide& side, int thousandths)
{
    if (thousandths <= 0)
        throw Error(QStringLiteral("%1: a scan area side of %2/1000 inch").arg(s.Name()).arg(thousandths));
    if (s.HasOption(side.topLeft))
        s.SetNumberOption(side.topLeft, 0);
    s.SetNumberOption(side.bottomRight, thousandths / ThousandthsPerUnit(s, side.bottomRight));
}

void ReadOnly(SaneSession& s, int)
{
    throw Error(QStringLiteral("%1: document handling status is read only").arg(s.Name()));
}

const PropertyRule kDeviceProperties[] = {
    { WIA_DPS_DOCUMENT_HANDLING_SELECT, [](SaneSession& s) { return !s.StringChoices("source").isEmpty(); },
        [](SaneSession& s) { return SourceValue(s.StringOption("source")); }, WriteSource },
    // Paper in the feeder is found by starting its next frame; a flatbed source never has any.
    { WIA_DPS_DOCUMENT_HANDLING_STATUS, HasFeeder,
        [](SaneSession& s) { return IsFeederSource(s.StringOption("source")) && s.ProbeFeeder() ? FEED_READY : 0; },
        ReadOnly },
    { WIA_DPS_PAGE_WIDTH, [](SaneSession& s) { return s.HasOption(kAreaWidth.bottomRight); },
        [](SaneSession& s) { return ReadAreaSide(s, kAreaWidth); },
        [](SaneSession& s, int value) { WriteAreaSide(s, kAreaWidth, value); } },
    { WIA_DPS_PAGE_HEIGHT, [](SaneSession& s) { return s.HasOption(kAreaHeight.bottomRight); },
        [](SaneSession& s) { return ReadAreaSide(s, kAreaHeight); },
        [](SaneSession& s, int value) { WriteAreaSide(s, kAreaHeight, value); } },
};

const PropertyRule kItemProperties[] = {
    { WIA_IPS_XRES, [](SaneSession& s) { return s.HasOption(XResolutionOption(s)); },
        [](SaneSession& s) { return ReadNumber(s, XResolutionOption(s)); },
        [](SaneSession& s, int dpi) { s.SetNumberOption(XResolutionOption(s), dpi); } },
    { WIA_IPS_YRES, [](SaneSession& s) { return s.HasOption(YResolutionOption(s)); },
        [](SaneSession& s) { return ReadNumber(s, YResolutionOption(s)); },
        [](SaneSession& s, int dpi) { s.SetNumberOption(YResolutionOption(s), dpi); } },
    { WIA_IPS_CUR_INTENT, [](SaneSession& s) { return !s.StringChoices("mode").isEmpty(); },
        [](SaneSession& s) { return ModeValue(s.StringOption("mode")); }, WriteMode },
    { WIA_IPA_DEPTH, [](SaneSession& s) { return s.HasOption("depth"); },
        [](SaneSession& s) { return ReadNumber(s, "depth"); },
        [](SaneSession& s, int bits) { s.SetNumberOption("depth", bits); } },
};

class SaneProperty : public IProperty {
public:
    SaneProperty(SessionPtr session, const PropertyRule& rule)
        : m_session(std::move(session))
        , m_rule(rule)
    {
    }
    int PropertyID() override { return m_rule.id; }
    int Value() override { return m_rule.read(*m_session); }
    void SetValue(int value) override { m_rule.write(*m_session, value); }

private:
    SessionPtr m_session;
    const PropertyRule& m_rule;
};

class SaneProperties : public IProperties {
public:
    template <std::size_t N> SaneProperties(const SessionPtr& session, const PropertyRule (&rules)[N])
    {
        for (const PropertyRule& rule : rules) {
            if (rule.present(*session))
                m_items.push_back(std::make_shared<SaneProperty>(session, rule));
        }
    }
    int Count() override { return int(m_items.size()); }
    std::shared_ptr<IProperty> Item(int index) override
    {
        if (index < 1 || index > Count())
            throw Error(QStringLiteral("Property index %1 out of range").arg(index));
        return m_items[index - 1];
    }

private:
    std::vector<std::shared_ptr<IProperty>> m_items;
};

class SaneItem : public IItem {
public:
    explicit SaneItem(SessionPtr session)
        : m_session(std::move(session))
    {
    }
    std::shared_ptr<IProperties> Properties() override
    {
        return std::make_shared<SaneProperties>(m_session, kItemProperties);
    }
    QByteArray Transfer(const std::function<void(const TransferProgress&)>& progress) override
    {
        return m_session->ReadPage(IsFeederSource(m_session->StringOption("source")), progress);
    }
    void CancelTransfer() override { m_session->Cancel(); }

private:
    SessionPtr m_session;
};

// A scanner has one item: the whole scan area.
class SaneItems : public IItems {
public:
    explicit SaneItems(SessionPtr session)
        : m_item(std::make_shared<SaneItem>(std::move(session)))
    {
    }
    int Count() override { return 1; }
    std::shared_ptr<IItem> Item(int index) override
    {
        if (index != 1)
            throw Error(QStringLiteral("Item index %1 out of range").arg(index));
        return m_item;
    }

private:
    std::shared_ptr<IItem> m_item;
};

class SaneDevice : public IDevice {
public:
    SaneDevice(const QString& name, QString title)
        : m_session(std::make_shared<SaneSession>(name))
        , m_title(std::move(title))
    {
    }
    QString DeviceID() override { return m_session->Name(); }
    std::shared_ptr<IProperties> Properties() override
    {
        return std::make_shared<SaneProperties>(m_session, kDeviceProperties);
    }
    std::shared_ptr<IItems> Items() override { return std::make_shared<SaneItems>(m_session); }
    std::shared_ptr<IDeviceSettings> Settings() override { return CreateSaneDeviceSettings(m_session, m_title); }

private:
    SessionPtr m_session;
    QString m_title; // vendor and model
};

int DeviceType(const QString& saneType)
{
    if (saneType.contains(QLatin1String("video"), Qt::CaseInsensitive))
        return VideoDeviceType;
    if (saneType.contains(QLatin1String("camera"), Qt::CaseInsensitive))
        return CameraDeviceType;
    return ScannerDeviceType;
}

class SaneDeviceInfo : public IDeviceInfo {
public:
    explicit SaneDeviceInfo(const SANE_Device& device)
        : m_name(QString::fromUtf8(device.name))
        , m_vendor(QString::fromUtf8(device.vendor))
        , m_model(QString::fromUtf8(device.model))
        , m_type(QString::fromUtf8(device.type))
    {
    }
    QString DeviceID() override { return m_name; }
    int Type() override { return DeviceType(m_type); }
    QString Vendor() override { return m_vendor; }
    QString Model() override { return m_model; }
    Connection ConnectionKind() override { return ConnectionOfDeviceName(m_name); }
    std::shared_ptr<IDevice> Connect() override
    {
        return std::make_shared<SaneDevice>(m_name, QStringList { m_vendor, m_model }.join(QLatin1Char(' ')).trimmed());
    }

private:
    QString m_name, m_vendor, m_model, m_type;
};

class SaneDeviceInfos : public IDeviceInfos {
public:
    SaneDeviceInfos()
    {
        const SANE_Device** list = nullptr;
        CheckSaneStatus(sane_get_devices(&list, SANE_FALSE), "sane_get_devices", QString());
        for (; list && *list; ++list)
            m_items.push_back(std::make_shared<SaneDeviceInfo>(**list));
        qCDebug(lcWia) << "devices:" << m_items.size();
    }
    int Count() override { return int(m_items.size()); }
    std::shared_ptr<IDeviceInfo> Item(int index) override
    {
        if (index < 1 || index > Count())
            throw Error(QStringLiteral("Device index %1 out of range").arg(index));
        return m_items[index - 1];
    }

private:
    std::vector<std::shared_ptr<IDeviceInfo>> m_items;
};

class SaneDeviceManager : public IDeviceManager {
public:
    std::shared_ptr<IDeviceInfos> DeviceInfos() override { return std::make_shared<SaneDeviceInfos>(); }
};

} // namespace

std::shared_ptr<IDeviceManager> CreateSaneDeviceManager()
{
    return std::make_shared<SaneDeviceManager>();
}

Connection ConnectionOfDeviceName(const QString& name)
{
    // Network backends by name (eSCL/WSD through airscan, escl, the net meta backend), and the
    // "net" or address part that vendor backends put into names of network devices
    // ("epson2:net:192.168.1.5", "pixma:MF4410_10.0.0.7", "hpaio:/net/...").
    static const QRegularExpression network(
        QStringLiteral(
            R"(^(airscan|escl|net|wsd):|://|[:/]net[:/]|(^|[^0-9.])\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}($|[^0-9.]))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression usb(QStringLiteral(R"(usb)"), QRegularExpression::CaseInsensitiveOption);
    if (network.match(name).hasMatch())
        return Connection::Network;
    if (usb.match(name).hasMatch())
        return Connection::Usb;
    return Connection::Other;
}

} // namespace pd::platform::wia
