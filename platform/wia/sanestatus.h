#pragma once

#include <sane/sane.h>

#include <QString>

namespace pd::platform::wia {

// Part of the SANE layer only. A status in words, for error texts and the backend log.
QString SaneStatusText(SANE_Status status);

// Throws wia::Error "call device -> status" unless status is GOOD; a CANCELLED status makes a
// cancelled error.
void CheckSaneStatus(SANE_Status status, const char* call, const QString& device);

} // namespace pd::platform::wia
