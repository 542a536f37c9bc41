#include "platform/wia/devicesettingcontrols.h"

#include <climits>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>

namespace pd::platform::wia {

namespace {

using Kind = DeviceSetting::Kind;

// Digits after the point that show x exactly, up to three.
int DecimalsOf(double x)
{
    for (int decimals = 0; decimals < 3; ++decimals) {
        const double scaled = x * std::pow(10.0, decimals);
        if (std::abs(scaled - std::round(scaled)) < 1e-3)
            return decimals;
    }
    return 3;
}

int DecimalsFor(const DeviceSetting& setting)
{
    if (!setting.step)
        return 2;
    return std::max(DecimalsOf(*setting.step), DecimalsOf(setting.minimum.value_or(0)));
}

QWidget* NumberControl(const DeviceSetting& setting, QWidget* parent)
{
    const QString suffix = setting.unit.isEmpty() ? QString() : QLatin1Char(' ') + setting.unit;
    QAbstractSpinBox* spin = nullptr;
    if (setting.kind == Kind::Int) {
        auto* box = new QSpinBox(parent);
        box->setRange(int(setting.minimum.value_or(INT_MIN)), int(setting.maximum.value_or(INT_MAX)));
        box->setSingleStep(std::max(1, int(setting.step.value_or(1))));
        box->setSuffix(suffix);
        spin = box;
    } else {
        auto* box = new QDoubleSpinBox(parent);
        box->setDecimals(DecimalsFor(setting));
        box->setRange(setting.minimum.value_or(-32768.0), setting.maximum.value_or(32767.9999));
        box->setSingleStep(setting.step.value_or(1.0));
        box->setSuffix(suffix);
        spin = box;
    }
    // A value is complete when the user leaves the field or presses Enter, not at each digit.
    spin->setKeyboardTracking(false);
    spin->setReadOnly(!setting.settable);
    spin->setButtonSymbols(setting.settable ? QAbstractSpinBox::UpDownArrows : QAbstractSpinBox::NoButtons);
    spin->setFocusPolicy(Qt::StrongFocus);
    return spin;
}

QWidget* ChoiceControl(const DeviceSetting& setting, QWidget* parent)
{
    auto* combo = new QComboBox(parent);
    // Long choices ("This is the very long third entry...") must not widen the window.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(16);
    // Shown in the user's language, written as the device's own word.
    for (const QString& choice : setting.stringChoices)
        combo->addItem(TranslateDeviceText(choice.toUtf8()), choice);
    for (const double choice : setting.numberChoices) {
        const QString number = QLocale().toString(choice);
        combo->addItem(setting.unit.isEmpty() ? number : number + QLatin1Char(' ') + setting.unit, choice);
    }
    combo->setEnabled(setting.settable);
    combo->setFocusPolicy(Qt::StrongFocus);
    return combo;
}

QWidget* MakeControl(const DeviceSetting& setting, QWidget* parent)
{
    switch (setting.kind) {
    case Kind::Bool: {
        auto* box = new QCheckBox(PlainCaption(setting.title), parent);
        box->setEnabled(setting.settable);
        return box;
    }
    case Kind::Button: {
        auto* button = new QPushButton(PlainCaption(setting.title), parent);
        button->setAutoDefault(false);
        button->setEnabled(setting.settable);
        return button;
    }
    case Kind::Int:
    case Kind::Fixed:
        return setting.numberChoices.isEmpty() ? NumberControl(setting, parent) : ChoiceControl(setting, parent);
    case Kind::String:
        if (!setting.stringChoices.isEmpty())
            return ChoiceControl(setting, parent);
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(!setting.settable);
        return edit;
    }
    return new QWidget(parent);
}

void ShowChoice(QComboBox* combo, const QVariant& value)
{
    int row = -1;
    for (int i = 0; i < combo->count() && row < 0; ++i) {
        const QVariant item = combo->itemData(i);
        if (value.typeId() == QMetaType::Double ? std::abs(item.toDouble() - value.toDouble()) < 1e-6
                                                : item.toString() == value.toString())
            row = i;
    }
    // A value outside the device's own list is shown as it is.
    if (row < 0) {
        combo->addItem(value.toString(), value);
        row = combo->count() - 1;
    }
    combo->setCurrentIndex(row);
}

} // namespace

QString PlainCaption(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QWidget* CreateSettingControl(const DeviceSetting& setting, QWidget* parent)
{
    QWidget* control = MakeControl(setting, parent);
    control->setObjectName(QString::fromUtf8(setting.name));
    control->setToolTip(setting.description);
    ShowSettingValue(control, setting);
    return control;
}

void ShowSettingValue(QWidget* control, const DeviceSetting& setting)
{
    const QSignalBlocker block(control);
    const QVariant& value = setting.value;
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(value.toBool());
    } else if (auto* box = qobject_cast<QSpinBox*>(control)) {
        box->setValue(int(std::lround(value.toDouble())));
    } else if (auto* box = qobject_cast<QDoubleSpinBox*>(control)) {
        box->setValue(value.toDouble());
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(value.toString());
        edit->setCursorPosition(0);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        ShowChoice(combo, value);
    }
}

QVariant EditedSettingValue(const QWidget* control)
{
    if (auto* box = qobject_cast<const QSpinBox*>(control))
        return double(box->value());
    if (auto* box = qobject_cast<const QDoubleSpinBox*>(control))
        return box->value();
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    return {};
}

} // namespace pd::platform::wia
