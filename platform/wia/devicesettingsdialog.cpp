#include "platform/wia/devicesettingsdialog.h"

#include <cmath>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "platform/wia/devicesettingcontrols.h"
#include "platform/wia/devicesettings.h"

namespace pd::platform::wia {

namespace {

using Kind = DeviceSetting::Kind;

// Settings the window shows: a single value it can show, or a button it can press.
bool Showable(const DeviceSetting& setting)
{
    if (!setting.active || setting.count != 1)
        return false;
    return setting.kind == Kind::Button ? setting.settable : setting.value.isValid();
}

// What decides which controls the window holds; values aside.
QString Shape(const DeviceSetting& s)
{
    QStringList parts { QString::number(s.index), QString::number(int(s.kind)), s.title, s.group, s.unit,
        QString::number(s.settable), QString::number(s.minimum.value_or(NAN)), QString::number(s.maximum.value_or(NAN)),
        QString::number(s.step.value_or(NAN)), s.stringChoices.join(QChar(1)) };
    for (const double choice : s.numberChoices)
        parts << QString::number(choice);
    return parts.join(QChar(2));
}

class DeviceSettingsDialog : public QDialog {
public:
    DeviceSettingsDialog(std::shared_ptr<IDeviceSettings> settings, std::vector<DeviceSetting> list,
        const QString& title, QWidget* owner);

    void accept() override;
    void reject() override { done(2); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One control of the window and the device's value it shows, as the control holds it.
    struct Control {
        DeviceSetting setting;
        QWidget* widget = nullptr;
        QVariant shown;
    };

    bool Shown(const DeviceSetting& setting) const
    {
        return Showable(setting) && (!setting.advanced || m_advanced->isChecked());
    }
    void Build();
    void Connect(QWidget* control, int index);
    bool Commit(int index);
    bool Write(int index, const QVariant& value);
    void Reread();
    void FitToScreen();
    QString CurrentShape() const;

    std::shared_ptr<IDeviceSettings> m_settings;
    std::vector<DeviceSetting> m_list;
    std::vector<Control> m_controls;
    QString m_shape;
    bool m_writing = false;
    QScrollArea* m_scroll;
    QCheckBox* m_advanced;
    QLabel* m_error;
};

DeviceSettingsDialog::DeviceSettingsDialog(
    std::shared_ptr<IDeviceSettings> settings, std::vector<DeviceSetting> list, const QString& title, QWidget* owner)
    : QDialog(owner)
    , m_settings(std::move(settings))
    , m_list(std::move(list))
{
    setObjectName(QLatin1String(kDeviceSettingsWindow));
    setWindowTitle(title);
    setModal(true);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_advanced = new QCheckBox(QStringLiteral("&Erweiterte Einstellungen"), this);
    m_advanced->setObjectName(QStringLiteral("advanced"));
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("ErrorText"));
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setStyleSheet(QStringLiteral("color: #b00000;"));
    m_error->hide();

    auto* scan = new QPushButton(QStringLiteral("&Scannen"), this);
    scan->setObjectName(QStringLiteral("scan"));
    scan->setAutoDefault(false);
    scan->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Abbrechen"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_advanced);
    buttons->addStretch();
    buttons->addWidget(scan);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_error);
    layout->addLayout(buttons);

    connect(scan, &QPushButton::clicked, this, &DeviceSettingsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DeviceSettingsDialog::reject);
    connect(m_advanced, &QCheckBox::toggled, this, [this] { Build(); });
    Build();
    FitToScreen();
}

QString DeviceSettingsDialog::CurrentShape() const
{
    QStringList shapes { QString::number(m_advanced->isChecked()) };
    for (const DeviceSetting& setting : m_list) {
        if (Shown(setting))
            shapes << Shape(setting);
    }
    return shapes.join(QChar(3));
}

// Lays the controls out afresh, group by group in the device's order, keeping the scroll position
// and the control that had the focus.
void DeviceSettingsDialog::Build()
{
    const int scrolled = m_scroll->verticalScrollBar()->value();
    const QString focusName = focusWidget() ? focusWidget()->objectName() : QString();

    bool anyAdvanced = false;
    for (const DeviceSetting& setting : m_list)
        anyAdvanced = anyAdvanced || (Showable(setting) && setting.advanced);
    m_advanced->setVisible(anyAdvanced);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    m_controls.clear();
    QGroupBox* box = nullptr;
    QFormLayout* form = nullptr;
    QString group;
    for (const DeviceSetting& setting : m_list) {
        if (!Shown(setting))
            continue;
        if (!box || group != setting.group) {
            group = setting.group;
            box = new QGroupBox(PlainCaption(group), content);
            form = new QFormLayout(box);
            form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
            column->addWidget(box);
        }
        QWidget* widget = CreateSettingControl(setting, box);
        m_controls.push_back(Control { setting, widget, EditedSettingValue(widget) });
        Connect(widget, setting.index);
        if (setting.kind == Kind::Bool || setting.kind == Kind::Button) {
            form->addRow(widget);
        } else {
            auto* label = new QLabel(PlainCaption(setting.title) + QLatin1Char(':'), box);
            label->setToolTip(setting.description);
            label->setBuddy(widget);
            form->addRow(label, widget);
        }
    }
    if (m_controls.empty()) {
        auto* none = new QLabel(QStringLiteral("Der Scanner bietet hier keine Einstellungen an."), content);
        none->setObjectName(QStringLiteral("NoSettingsText"));
        column->addWidget(none);
    }
    column->addStretch();

    // The old controls may be inside the signal that led here: they go once it has returned.
    if (QWidget* old = m_scroll->takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    m_scroll->setWidget(content);
    content->adjustSize();
    m_scroll->verticalScrollBar()->setValue(scrolled);
    if (QWidget* again = focusName.isEmpty() ? nullptr : content->findChild<QWidget*>(focusName))
        again->setFocus();
    m_shape = CurrentShape();
}

// Writes a change once it is complete: a check box, list or button at once, a spin box or text
// field when the user leaves it or presses Enter.
void DeviceSettingsDialog::Connect(QWidget* control, int index)
{
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        connect(box, &QCheckBox::clicked, this, [this, index](bool checked) { Write(index, checked); });
    } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        connect(button, &QPushButton::clicked, this, [this, index] { Write(index, QVariant()); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(
            combo, &QComboBox::activated, this, [this, index, combo](int row) { Write(index, combo->itemData(row)); });
        combo->installEventFilter(this);
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(control)) {
        connect(spin, &QAbstractSpinBox::editingFinished, this, [this, index] { Commit(index); });
        spin->installEventFilter(this);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::editingFinished, this, [this, index] { Commit(index); });
    }
}

// Writes what the user typed into the control of the setting, when it differs from the device's.
bool DeviceSettingsDialog::Commit(int index)
{
    for (const Control& control : m_controls) {
        if (control.setting.index != index)
            continue;
        const QVariant edited = EditedSettingValue(control.widget);
        if (!control.setting.settable || !edited.isValid() || edited == control.shown)
            return true;
        return Write(index, edited);
    }
    return true;
}

bool DeviceSettingsDialog::Write(int index, const QVariant& value)
{
    // Controls taken down while the window is laid out afresh report their end of editing; that
    // is no change of the user's.
    if (m_writing)
        return true;
    m_writing = true;
    bool written = true;
    QString title;
    for (const DeviceSetting& setting : m_list) {
        if (setting.index == index)
            title = setting.title;
    }
    try {
        m_settings->Set(index, value);
        m_error->clear();
        m_error->hide();
    } catch (const std::exception& error) {
        const auto* ours = dynamic_cast<const platform::Error*>(&error);
        const QString text = ours ? ours->Message() : QString::fromUtf8(error.what());
        m_error->setText(QStringLiteral("„%1“ wurde vom Scanner nicht übernommen: %2").arg(title, text));
        m_error->show();
        written = false;
    }
    Reread();
    m_writing = false;
    return written;
}

// Reads every setting back: values the device adjusted show, and settings that came or went with
// the change are laid out afresh.
void DeviceSettingsDialog::Reread()
{
    try {
        m_list = m_settings->List();
    } catch (const std::exception& error) {
        const auto* ours = dynamic_cast<const platform::Error*>(&error);
        m_error->setText(QStringLiteral("Die Einstellungen des Scanners konnten nicht gelesen werden: %1")
                             .arg(ours ? ours->Message() : QString::fromUtf8(error.what())));
        m_error->show();
        return;
    }
    if (CurrentShape() != m_shape) {
        Build();
        return;
    }
    for (Control& control : m_controls) {
        for (const DeviceSetting& setting : m_list) {
            if (setting.index == control.setting.index)
                control.setting = setting;
        }
        ShowSettingValue(control.widget, control.setting);
        control.shown = EditedSettingValue(control.widget);
    }
}

// Scanning takes what the controls show, including a value typed but not yet confirmed; a value
// the device refuses keeps the window open with the reason.
void DeviceSettingsDialog::accept()
{
    std::vector<int> indexes;
    for (const Control& control : m_controls)
        indexes.push_back(control.setting.index);
    for (const int index : indexes) {
        if (!Commit(index))
            return;
    }
    done(1);
}

// Enter in a field confirms what was typed there; it starts the scan only from elsewhere.
void DeviceSettingsDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget* focus = focusWidget();
    if (enter && (qobject_cast<QAbstractSpinBox*>(focus) || qobject_cast<QLineEdit*>(focus))) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The wheel over a spin box or list that the user has not clicked into scrolls the window: moving
// down a long list of settings must not change the scanner's settings on the way.
bool DeviceSettingsDialog::eventFilter(QObject* watched, QEvent* event)
{
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Wheel && widget && !widget->hasFocus()) {
        QApplication::sendEvent(m_scroll->verticalScrollBar(), event);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void DeviceSettingsDialog::FitToScreen()
{
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize content = m_scroll->widget()->sizeHint();
    const int chrome = sizeHint().height() - m_scroll->sizeHint().height();
    const int width = std::clamp(
        content.width() + m_scroll->verticalScrollBar()->sizeHint().width() + 32, 480, available.width() * 9 / 10);
    const int height = std::min(content.height() + chrome + 24, available.height() * 85 / 100);
    resize(width, height);
}

} // namespace

int ShowDeviceSettings(const std::shared_ptr<IDevice>& device, QWidget* owner)
{
    const std::shared_ptr<IDeviceSettings> settings = device->Settings();
    std::vector<DeviceSetting> list = settings->List();
    QString title = settings->DeviceTitle();
    if (title.isEmpty())
        title = device->DeviceID();
    DeviceSettingsDialog dialog(settings, std::move(list), title, owner);
    return dialog.exec() == 1 ? 1 : 2;
}

} // namespace pd::platform::wia
