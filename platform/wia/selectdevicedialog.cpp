#include "platform/wia/selectdevicedialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/wia/commondialog.h"

namespace pd::platform::wia {

namespace {

QString ConnectionText(Connection connection)
{
    switch (connection) {
    case Connection::Usb:
        return QStringLiteral("USB");
    case Connection::Network:
        return QStringLiteral("Netzwerk");
    case Connection::Other:
        return QStringLiteral("lokal");
    }
    return {};
}

QPushButton* PlainButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

SelectDeviceDialog::SelectDeviceDialog(std::shared_ptr<IDeviceManager> manager, int deviceType, QWidget* owner)
    : QDialog(owner)
    , m_manager(std::move(manager))
    , m_deviceType(deviceType)
{
    setObjectName(QLatin1String(kSelectDeviceWindow));
    setWindowTitle(QStringLiteral("Scanner wählen"));
    setModal(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("DeviceList"));
    m_list->setHeaderLabels({ QStringLiteral("Hersteller"), QStringLiteral("Modell"), QStringLiteral("Anschluss"),
        QStringLiteral("Gerätename") });
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_empty
        = new QLabel(QStringLiteral("Es wurde kein Scanner gefunden.\nBitte prüfen Sie, ob der Scanner eingeschaltet "
                                    "und mit diesem Rechner oder dem Netzwerk verbunden ist."),
            this);
    m_empty->setObjectName(QStringLiteral("NoDeviceText"));
    m_empty->setWordWrap(true);

    auto* refresh = PlainButton(QStringLiteral("&Aktualisieren"), this);
    refresh->setObjectName(QStringLiteral("RefreshButton"));
    m_ok = PlainButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    auto* cancel = PlainButton(QStringLiteral("&Abbruch"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_empty);
    layout->addLayout(buttons);
    resize(560, 260);

    connect(refresh, &QPushButton::clicked, this, [this] {
        // A device list that cannot be had now shows as an empty one; the user may look again.
        try {
            Fill();
        } catch (const std::exception&) {
            m_list->clear();
            m_devices.clear();
            m_list->setVisible(false);
            m_empty->setVisible(true);
            m_ok->setEnabled(false);
        }
    });
    connect(m_ok, &QPushButton::clicked, this, &SelectDeviceDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SelectDeviceDialog::reject);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
        [this] { m_ok->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &SelectDeviceDialog::accept);
    Fill();
}

void SelectDeviceDialog::Fill()
{
    m_list->clear();
    m_devices.clear();
    const std::shared_ptr<IDeviceInfos> infos = m_manager->DeviceInfos();
    for (int i = 1; i <= infos->Count(); ++i) {
        std::shared_ptr<IDeviceInfo> info = infos->Item(i);
        if (info->Type() != m_deviceType)
            continue;
        new QTreeWidgetItem(
            m_list, { info->Vendor(), info->Model(), ConnectionText(info->ConnectionKind()), info->DeviceID() });
        m_devices.push_back(std::move(info));
    }
    for (int column = 0; column < 3; ++column)
        m_list->resizeColumnToContents(column);
    m_list->setVisible(!m_devices.empty());
    m_empty->setVisible(m_devices.empty());
    if (!m_devices.empty())
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_ok->setEnabled(!m_devices.empty());
}

void SelectDeviceDialog::Preselect(const QString& deviceId)
{
    const QList<QTreeWidgetItem*> rows = m_list->findItems(deviceId, Qt::MatchExactly, 3);
    if (!deviceId.isEmpty() && !rows.isEmpty())
        m_list->setCurrentItem(rows.first());
}

std::shared_ptr<IDeviceInfo> SelectDeviceDialog::Chosen() const
{
    const int row = m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    return row >= 0 && row < int(m_devices.size()) ? m_devices[row] : nullptr;
}

} // namespace pd::platform::wia
