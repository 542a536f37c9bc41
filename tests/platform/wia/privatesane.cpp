#include "tests/platform/wia/privatesane.h"

#include <csignal>
#include <malloc.h>
#include <unistd.h>

#include <QFile>

#include "platform/wia/coinit.h"

namespace pd::test {

QString PrivateSane::Folder()
{
    static TempFolder folder;
    return folder.Path();
}

PrivateSane::PrivateSane(const QStringList& testConf, const QStringList& backends)
{
    // The test backend cancels its reader thread asynchronously as soon as the last bytes of a
    // frame are read, which can catch the thread freeing its picture inside the allocator's lock
    // and hang the process later on; pictures mapped by mmap are freed without that lock.
    ::mallopt(M_MMAP_THRESHOLD, 4096);
    WriteBytes(Folder() + QStringLiteral("/dll.conf"), (backends.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    // Every test device scans at a known resolution unless the test says otherwise. The test
    // backend ends its reader thread by cancelling it the moment the last bytes are read, which
    // can catch the thread inside free() and hang the process on the allocator's lock later; read
    // in small pieces, the thread is long done when the end comes.
    QStringList conf { QStringLiteral("number_of_devices 1"), QStringLiteral("resolution 50"),
        QStringLiteral("read-limit true"), QStringLiteral("read-limit-size 2048") };
    conf += testConf;
    WriteBytes(Folder() + QStringLiteral("/test.conf"), (conf.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(Folder()));
    platform::wia::CoUninitialize();
    platform::wia::CoInitialize();
}

QStringList PrivateSane::FailingReads(const char* status)
{
    // A page above the allocator's mmap threshold keeps the reader out of the allocator's locks
    // for most of its start.
    return { QStringLiteral("read-status-code \"%1\"").arg(QLatin1String(status)), QStringLiteral("resolution 300") };
}

int PrivateSane::RunWithFailingReads(const std::function<int()>& body)
{
    constexpr int kHung = 100 + SIGALRM;
    int status = kHung;
    for (int attempt = 0; attempt < 3 && status == kHung; ++attempt) {
        status = RunInChild([&body] {
            ::alarm(30);
            return body();
        });
    }
    return status;
}

PrivateSane::~PrivateSane()
{
    platform::wia::CoUninitialize();
}

} // namespace pd::test
