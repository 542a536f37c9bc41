#include "tests/platform/wia/privatesane.h"

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

PrivateSane::~PrivateSane()
{
    platform::wia::CoUninitialize();
}

} // namespace pd::test
