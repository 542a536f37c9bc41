#include "platform/wia/devicesettings.h"

#include <libintl.h>

namespace pd::platform::wia {

std::shared_ptr<IDeviceSettings> IDevice::Settings()
{
    throw Error(QStringLiteral("The device has no settings of its own"));
}

QString TranslateDeviceText(const QByteArray& text)
{
    if (text.isEmpty())
        return {};
    // The catalogue's texts come as UTF-8 whatever the locale's character set.
    static const bool bound = bind_textdomain_codeset("sane-backends", "UTF-8") != nullptr;
    Q_UNUSED(bound);
    return QString::fromUtf8(dgettext("sane-backends", text.constData()));
}

} // namespace pd::platform::wia
