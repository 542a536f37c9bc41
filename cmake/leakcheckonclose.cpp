// Linked into every program of the sanitizer build only. A library loaded at run time (a scanner
// backend, a Qt plugin) is gone by the leak check at exit once it is closed: its allocations then
// show as an unknown module that no suppression can match. So the leaks are looked for just before
// a library is closed, while the suppressions can still name it. A suppressed leak stays suppressed
// at exit; any other leak ends the process here, as it would at exit.
#include <cstdlib>
#include <dlfcn.h>
#include <sanitizer/lsan_interface.h>

extern "C" int dlclose(void* handle) noexcept
{
    if (__lsan_do_recoverable_leak_check() != 0)
        std::abort();
    static const auto close = reinterpret_cast<int (*)(void*)>(::dlsym(RTLD_NEXT, "dlclose"));
    return close(handle);
}
