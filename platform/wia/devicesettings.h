#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/wia/wia.h"

namespace pd::platform::wia {

// One of the device's own settings as the device describes it (a SANE option).
struct DeviceSetting {
    enum class Kind { Bool, Int, Fixed, String, Button };
    int index = 0; // the device's number of the setting
    QByteArray name;
    QString title; // shown to the user: the backend's text, translated through SANE's
    QString description; //   own message catalogue ("sane-backends") where it has one
    QString group; // title of the group it belongs to
    Kind kind = Kind::Int;
    bool active = true; // inactive settings are shown disabled or not at all
    bool settable = true;
    bool advanced = false;
    QString unit; // "mm", "dpi", "%", "µs", "bit" or empty
    int count = 1; // values in the setting (arrays such as gamma tables: > 1)
    std::optional<double> minimum, maximum, step; // a range
    QList<double> numberChoices; // a list of allowed numbers
    QStringList stringChoices; // a list of allowed strings
    QVariant value; // bool, double (Int and Fixed) or QString; invalid for Button/arrays and for a
                    // value the device would not give
};

class IDeviceSettings {
public:
    virtual ~IDeviceSettings() = default;
    virtual std::vector<DeviceSetting> List() = 0;
    // Writes one setting (Button: presses it; value ignored). The device may take the nearest
    // value it allows. True when other settings may have changed with it (list again).
    // Throws wia::Error when the device refuses.
    virtual bool Set(int index, const QVariant& value) = 0;
    // Vendor and model as the device list shows them; empty when not known.
    virtual QString DeviceTitle() { return {}; }
};

// A text of a device (a setting's title or description, a group, a choice) in the user's
// language, through SANE's own message catalogue; unchanged where the catalogue lacks it.
QString TranslateDeviceText(const QByteArray& text);

} // namespace pd::platform::wia
