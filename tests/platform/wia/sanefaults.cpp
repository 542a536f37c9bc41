#include "tests/platform/wia/sanefaults.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <sane/sane.h>
#include <set>

static_assert(int(pd::test::SaneStatus::Invalid) == SANE_STATUS_INVAL);
static_assert(int(pd::test::SaneStatus::Jammed) == SANE_STATUS_JAMMED);
static_assert(int(pd::test::SaneStatus::CoverOpen) == SANE_STATUS_COVER_OPEN);
static_assert(int(pd::test::SaneStatus::IoError) == SANE_STATUS_IO_ERROR);

namespace {

using pd::test::SaneFault;
using pd::test::SaneStage;

// Calls come from the user-interface thread and from the thread that reads a page.
struct Script {
    std::mutex mutex;
    std::optional<SaneFault> fault;
    int started = 0;
    bool struck = false;
    std::set<SANE_Handle> failingPage; // devices whose page in reading ends in the fault
};

Script& Current()
{
    static Script script;
    return script;
}

// libsane's own entry point of that name.
template <typename Function> Function* Real(const char* name)
{
    void* symbol = ::dlsym(RTLD_NEXT, name);
    if (!symbol)
        std::abort();
    return reinterpret_cast<Function*>(symbol);
}

SANE_Status Status(const SaneFault& fault)
{
    return SANE_Status(fault.status);
}

bool Gone(const Script& script)
{
    return script.fault && script.fault->gone && script.struck;
}

bool PageFails(const SaneFault& fault, int page)
{
    return page == fault.page || (fault.lasting && page > fault.page);
}

} // namespace

SANE_Status sane_get_devices(const SANE_Device*** device_list, SANE_Bool local_only)
{
    {
        Script& script = Current();
        const std::lock_guard lock(script.mutex);
        if (Gone(script)) {
            static const SANE_Device* none[] = { nullptr };
            *device_list = none;
            return SANE_STATUS_GOOD;
        }
    }
    static auto* real = Real<SANE_Status(const SANE_Device***, SANE_Bool)>("sane_get_devices");
    return real(device_list, local_only);
}

SANE_Status sane_open(SANE_String_Const name, SANE_Handle* handle)
{
    {
        Script& script = Current();
        const std::lock_guard lock(script.mutex);
        if (Gone(script))
            return SANE_STATUS_INVAL;
        if (script.fault && script.fault->stage == SaneStage::Open) {
            script.struck = true;
            return Status(*script.fault);
        }
    }
    static auto* real = Real<SANE_Status(SANE_String_Const, SANE_Handle*)>("sane_open");
    return real(name, handle);
}

SANE_Status sane_start(SANE_Handle handle)
{
    {
        Script& script = Current();
        const std::lock_guard lock(script.mutex);
        const int page = ++script.started;
        script.failingPage.erase(handle);
        if (script.fault) {
            const SaneFault& fault = *script.fault;
            // A device that has gone answers nothing any more; a page refused at its start never
            // reaches the backend.
            if (Gone(script))
                return Status(fault);
            if (fault.stage == SaneStage::Start && PageFails(fault, page)) {
                script.struck = true;
                return Status(fault);
            }
            if (fault.stage == SaneStage::Read && PageFails(fault, page))
                script.failingPage.insert(handle);
        }
    }
    static auto* real = Real<SANE_Status(SANE_Handle)>("sane_start");
    return real(handle);
}

SANE_Status sane_read(SANE_Handle handle, SANE_Byte* data, SANE_Int max_length, SANE_Int* length)
{
    static auto* real = Real<SANE_Status(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int*)>("sane_read");
    const SANE_Status status = real(handle, data, max_length, length);
    if (status != SANE_STATUS_EOF)
        return status;
    Script& script = Current();
    const std::lock_guard lock(script.mutex);
    if (!script.fault || !script.failingPage.contains(handle))
        return status;
    script.struck = true;
    *length = 0;
    return Status(*script.fault);
}

void sane_cancel(SANE_Handle handle)
{
    {
        Script& script = Current();
        const std::lock_guard lock(script.mutex);
        script.failingPage.erase(handle);
    }
    static auto* real = Real<void(SANE_Handle)>("sane_cancel");
    real(handle);
}

namespace pd::test {

SaneFaults::SaneFaults(const SaneFault& fault)
{
    Script& script = Current();
    const std::lock_guard lock(script.mutex);
    script.fault = fault;
    script.started = 0;
    script.struck = false;
    script.failingPage.clear();
}

SaneFaults::~SaneFaults()
{
    Script& script = Current();
    const std::lock_guard lock(script.mutex);
    script.fault.reset();
    script.failingPage.clear();
}

int SaneFaults::PagesStarted() const
{
    Script& script = Current();
    const std::lock_guard lock(script.mutex);
    return script.started;
}

bool SaneFaults::Struck() const
{
    Script& script = Current();
    const std::lock_guard lock(script.mutex);
    return script.struck;
}

} // namespace pd::test
