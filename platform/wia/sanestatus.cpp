#include "platform/wia/sanestatus.h"

#include "platform/wia/wia.h"
#include "platform/wia/wialog.h"

namespace pd::platform::wia {

namespace {

// Later statuses of the SANE standard that sane.h keeps outside its enumeration.
constexpr int kWarmingUp = 12;
constexpr int kHardwareLocked = 13;

} // namespace

QString SaneStatusText(SANE_Status status)
{
    switch (status) {
    case SANE_STATUS_GOOD:
        return QStringLiteral("Success");
    case SANE_STATUS_UNSUPPORTED:
        return QStringLiteral("Operation not supported");
    case SANE_STATUS_CANCELLED:
        return QStringLiteral("Operation was cancelled");
    case SANE_STATUS_DEVICE_BUSY:
        return QStringLiteral("Device busy");
    case SANE_STATUS_INVAL:
        return QStringLiteral("Invalid argument");
    case SANE_STATUS_EOF:
        return QStringLiteral("End of file reached");
    case SANE_STATUS_JAMMED:
        return QStringLiteral("Document feeder jammed");
    case SANE_STATUS_NO_DOCS:
        return QStringLiteral("Document feeder out of documents");
    case SANE_STATUS_COVER_OPEN:
        return QStringLiteral("Scanner cover is open");
    case SANE_STATUS_IO_ERROR:
        return QStringLiteral("Error during device I/O");
    case SANE_STATUS_NO_MEM:
        return QStringLiteral("Out of memory");
    case SANE_STATUS_ACCESS_DENIED:
        return QStringLiteral("Access to resource has been denied");
    }
    if (int(status) == kWarmingUp)
        return QStringLiteral("Lamp not ready, please retry");
    if (int(status) == kHardwareLocked)
        return QStringLiteral("Scanner mechanism locked for transport");
    return QStringLiteral("Unknown status %1").arg(int(status));
}

void CheckSaneStatus(SANE_Status status, const char* call, const QString& device)
{
    qCDebug(lcWia).noquote() << call << device << "->" << SaneStatusText(status);
    if (status == SANE_STATUS_GOOD)
        return;
    throw Error(QStringLiteral("%1 %2 -> %3").arg(QLatin1String(call), device, SaneStatusText(status)),
        status == SANE_STATUS_CANCELLED);
}

} // namespace pd::platform::wia
