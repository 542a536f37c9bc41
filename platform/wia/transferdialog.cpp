#include "platform/wia/transferdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/wia/commondialog.h"

namespace pd::platform::wia {

namespace {

constexpr int kProgressInterval = 50; // ms

} // namespace

TransferDialog::TransferDialog(std::shared_ptr<IItem> item, QWidget* owner)
    : QDialog(owner)
    , m_item(std::move(item))
{
    setObjectName(QLatin1String(kTransferWindow));
    setWindowTitle(QStringLiteral("Scannen"));
    setModal(true);
    m_text = new QLabel(QStringLiteral("Die Seite wird eingelesen ..."), this);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("TransferProgress"));
    m_bar->setRange(0, 0);
    m_cancel = new QPushButton(QStringLiteral("&Abbruch"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    m_cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    setMinimumWidth(360);
    connect(m_cancel, &QPushButton::clicked, this, &TransferDialog::reject);
    // The bar follows the transfer a few times a second: a fast scanner reads a page in a few
    // dozen milliseconds, and drawing every percent of it would take the processor from the reading.
    auto* tick = new QTimer(this);
    tick->setInterval(kProgressInterval);
    connect(tick, &QTimer::timeout, this, &TransferDialog::ShowProgress);
    tick->start();
}

TransferDialog::~TransferDialog()
{
    if (m_reader.joinable()) {
        m_item->CancelTransfer();
        m_reader.join();
    }
}

QByteArray TransferDialog::Run()
{
    m_reader = std::thread([this] {
        try {
            m_page = m_item->Transfer([this](const TransferProgress& progress) {
                m_bytesExpected.store(progress.bytesExpected, std::memory_order_relaxed);
                m_bytesRead.store(progress.bytesRead, std::memory_order_relaxed);
            });
        } catch (...) {
            m_error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this] { Finished(); }, Qt::QueuedConnection);
    });
    exec();
    m_reader.join();
    if (m_error)
        std::rethrow_exception(m_error);
    return std::move(m_page);
}

void TransferDialog::reject()
{
    // The window stays until the reading thread has let go of the device.
    if (m_finished || !m_cancel->isEnabled())
        return;
    m_cancel->setEnabled(false);
    m_text->setText(QStringLiteral("Der Scanvorgang wird abgebrochen ..."));
    m_item->CancelTransfer();
}

void TransferDialog::ShowProgress()
{
    const qint64 expected = m_bytesExpected.load(std::memory_order_relaxed);
    const qint64 read = m_bytesRead.load(std::memory_order_relaxed);
    if (expected <= 0) {
        m_bar->setRange(0, 0);
        return;
    }
    const int percent = int(std::min<qint64>(100, read * 100 / expected));
    if (percent == m_shownPercent)
        return;
    m_shownPercent = percent;
    m_bar->setRange(0, 100);
    m_bar->setValue(percent);
}

void TransferDialog::Finished()
{
    m_finished = true;
    done(m_error ? 2 : 1);
}

} // namespace pd::platform::wia
