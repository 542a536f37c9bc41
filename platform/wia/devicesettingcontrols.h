#pragma once

#include <QVariant>

#include "platform/wia/devicesettings.h"

class QWidget;

namespace pd::platform::wia {

// The control that shows one of the device's settings in its settings window: a check box, a
// spin box with the unit, a list of the allowed values, a text field or a push button; disabled
// or read only where the device takes no value. Its object name is the setting's name.
QWidget* CreateSettingControl(const DeviceSetting& setting, QWidget* parent);

// Puts the setting's value into its control without the control reporting a change.
void ShowSettingValue(QWidget* control, const DeviceSetting& setting);

// What a spin box or text field holds now, as the setting's value would be written; invalid for
// the controls whose every change is complete at once (check box, list, button).
QVariant EditedSettingValue(const QWidget* control);

// A text of the device shown on a button, check box, group box or label with a buddy: an "&" in
// it is shown, not taken as a shortcut key.
QString PlainCaption(QString text);

} // namespace pd::platform::wia
