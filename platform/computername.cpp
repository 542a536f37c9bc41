#include "platform/computername.h"

#include <climits>
#include <unistd.h>

namespace pd::platform {

QString GetComputerName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    const QString host = QString::fromLocal8Bit(name);
    return host.left(host.indexOf(QLatin1Char('.')));
}

} // namespace pd::platform
