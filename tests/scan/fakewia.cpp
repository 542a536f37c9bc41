#include "tests/scan/fakewia.h"

#include "platform/wia/wia.h"

namespace pd::scan::test {

using namespace platform::wia;

namespace {

struct Connection {
    FakeWia* wia;
    FakeScanner* scanner;
    int select = 0;
};

class Property : public IProperty {
public:
    Property(std::shared_ptr<Connection> connection, int id)
        : m_connection(std::move(connection))
        , m_id(id)
    {
    }
    int PropertyID() override { return m_id; }
    int Value() override
    {
        Connection& c = *m_connection;
        if (m_id == WIA_DPS_DOCUMENT_HANDLING_SELECT)
            return c.select;
        if (m_id == WIA_DPS_DOCUMENT_HANDLING_STATUS) {
            if (c.scanner->feederProbeFails)
                throw Error(QStringLiteral("fake: feeder jammed"));
            return (c.select & FEEDER) && !c.scanner->feeder.empty() ? FEED_READY : 0;
        }
        return m_value;
    }
    void SetValue(int value) override
    {
        Connection& c = *m_connection;
        if (m_id == WIA_DPS_DOCUMENT_HANDLING_STATUS)
            throw Error(QStringLiteral("fake: read only"));
        if (m_id == WIA_DPS_DOCUMENT_HANDLING_SELECT) {
            if ((value & FEEDER) && !c.scanner->hasFeeder)
                throw Error(QStringLiteral("fake: no feeder"));
            c.select = value;
        }
        m_value = value;
        c.wia->events.append(QStringLiteral("%1=%2").arg(m_id).arg(value));
    }

private:
    std::shared_ptr<Connection> m_connection;
    int m_id;
    int m_value = 0;
};

class PropertyList : public IProperties {
public:
    PropertyList(const std::shared_ptr<Connection>& connection, std::initializer_list<int> ids)
    {
        for (int id : ids)
            m_items.push_back(std::make_shared<Property>(connection, id));
    }
    int Count() override { return int(m_items.size()); }
    std::shared_ptr<IProperty> Item(int index) override
    {
        if (index < 1 || index > Count())
            throw Error(QStringLiteral("fake: no property %1").arg(index));
        return m_items[index - 1];
    }

private:
    std::vector<std::shared_ptr<IProperty>> m_items;
};

class ScanItem : public IItem {
public:
    explicit ScanItem(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection))
        , m_properties(std::make_shared<PropertyList>(
              m_connection, std::initializer_list<int> { WIA_IPS_XRES, WIA_IPS_YRES, WIA_IPS_CUR_INTENT }))
    {
    }
    std::shared_ptr<IProperties> Properties() override { return m_properties; }
    QByteArray Transfer(const std::function<void(const TransferProgress&)>&) override
    {
        Connection& c = *m_connection;
        const bool fromFeeder = c.select & FEEDER;
        c.wia->events.append(fromFeeder ? QStringLiteral("transfer feeder") : QStringLiteral("transfer flatbed"));
        if (c.wia->onTransfer)
            c.wia->onTransfer();
        std::deque<FakePage>& pages = fromFeeder ? c.scanner->feeder : c.scanner->flatbed;
        if (pages.empty())
            throw Error(QStringLiteral("fake: no paper"));
        const FakePage page = pages.front();
        pages.pop_front();
        if (page.fails)
            throw Error(QStringLiteral("fake: transfer failed"));
        return page.bmp;
    }
    void CancelTransfer() override { }

private:
    std::shared_ptr<Connection> m_connection;
    std::shared_ptr<IProperties> m_properties;
};

class ItemList : public IItems {
public:
    explicit ItemList(std::shared_ptr<IItem> item)
        : m_item(std::move(item))
    {
    }
    int Count() override { return 1; }
    std::shared_ptr<IItem> Item(int index) override
    {
        if (index != 1)
            throw Error(QStringLiteral("fake: no item %1").arg(index));
        return m_item;
    }

private:
    std::shared_ptr<IItem> m_item;
};

class Device : public IDevice {
public:
    explicit Device(std::shared_ptr<Connection> connection)
        : m_connection(std::move(connection))
        , m_properties(std::make_shared<PropertyList>(m_connection,
              std::initializer_list<int> { WIA_DPS_DOCUMENT_HANDLING_SELECT, WIA_DPS_DOCUMENT_HANDLING_STATUS }))
        , m_items(std::make_shared<ItemList>(std::make_shared<ScanItem>(m_connection)))
    {
    }
    QString DeviceID() override { return m_connection->scanner->id; }
    std::shared_ptr<IProperties> Properties() override { return m_properties; }
    std::shared_ptr<IItems> Items() override { return m_items; }

private:
    std::shared_ptr<Connection> m_connection;
    std::shared_ptr<IProperties> m_properties;
    std::shared_ptr<IItems> m_items;
};

std::shared_ptr<IDevice> Connect(FakeWia* wia, FakeScanner* scanner)
{
    wia->events.append(QStringLiteral("connect ") + scanner->id);
    return std::make_shared<Device>(std::make_shared<Connection>(Connection { wia, scanner }));
}

class Info : public IDeviceInfo {
public:
    Info(FakeWia* wia, FakeScanner* scanner)
        : m_wia(wia)
        , m_scanner(scanner)
    {
    }
    QString DeviceID() override { return m_scanner->id; }
    int Type() override { return m_scanner->type; }
    QString Vendor() override { return QStringLiteral("Fake"); }
    QString Model() override { return QStringLiteral("Scanner"); }
    platform::wia::Connection ConnectionKind() override { return platform::wia::Connection::Other; }
    std::shared_ptr<IDevice> Connect() override { return test::Connect(m_wia, m_scanner); }

private:
    FakeWia* m_wia;
    FakeScanner* m_scanner;
};

class Infos : public IDeviceInfos {
public:
    explicit Infos(FakeWia* wia)
    {
        for (FakeScanner& scanner : wia->scanners) {
            if (scanner.listed)
                m_items.push_back(std::make_shared<Info>(wia, &scanner));
        }
    }
    int Count() override { return int(m_items.size()); }
    std::shared_ptr<IDeviceInfo> Item(int index) override
    {
        if (index < 1 || index > Count())
            throw Error(QStringLiteral("fake: no device %1").arg(index));
        return m_items[index - 1];
    }

private:
    std::vector<std::shared_ptr<IDeviceInfo>> m_items;
};

class Manager : public IDeviceManager {
public:
    explicit Manager(FakeWia* wia)
        : m_wia(wia)
    {
    }
    std::shared_ptr<IDeviceInfos> DeviceInfos() override { return std::make_shared<Infos>(m_wia); }

private:
    FakeWia* m_wia;
};

class Dialog : public ICommonDialog {
public:
    explicit Dialog(FakeWia* wia)
        : m_wia(wia)
    {
    }
    std::shared_ptr<IDevice> ShowSelectDevice(int, bool, bool) override
    {
        m_wia->events.append(QStringLiteral("choose"));
        if (!m_wia->choice)
            return nullptr;
        for (FakeScanner& scanner : m_wia->scanners) {
            if (scanner.id == *m_wia->choice) {
                std::shared_ptr<IDevice> device = Connect(m_wia, &scanner);
                // A device that goes away right after the choice.
                if (scanner.vanishesWhenChosen)
                    scanner.listed = false;
                return device;
            }
        }
        return nullptr;
    }
    std::shared_ptr<ImageFile> ShowTransfer(const std::shared_ptr<IItem>& item, const QString&, bool) override
    {
        return std::make_shared<ImageFile>(item->Transfer({}));
    }

private:
    FakeWia* m_wia;
};

} // namespace

FakeWia::FakeWia()
{
    ScanPlatform fake;
    fake.CoDeviceManager = [this] {
        ++deviceManagers;
        return std::make_shared<Manager>(this);
    };
    fake.CoCommonDialog = [this] { return std::make_shared<Dialog>(this); };
    fake.QueryBox = [this](const QString& caption, const QString& text) {
        events.append(QStringLiteral("question ") + caption + QStringLiteral(": ") + text);
        if (answers.empty())
            return 2;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    };
    fake.ReportLastError = [this](const QString& text) { events.append(QStringLiteral("report ") + text); };
    m_previous = SetScanPlatform(std::move(fake));
}

FakeWia::~FakeWia()
{
    SetScanPlatform(std::move(m_previous));
}

} // namespace pd::scan::test
