#include "platform/wia/coinit.h"

#include <sane/sane.h>

#include "platform/wia/sanesession.h"

namespace pd::platform::wia {

namespace {
bool g_initialised = false;
}

void CoInitialize()
{
    if (g_initialised)
        return;
    SANE_Int version = 0;
    g_initialised = sane_init(&version, nullptr) == SANE_STATUS_GOOD;
}

void CoUninitialize()
{
    if (!g_initialised)
        return;
    SaneSession::CloseAll();
    sane_exit();
    g_initialised = false;
}

} // namespace pd::platform::wia
