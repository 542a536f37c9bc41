#include "tests/platform/wia/privatesane.h"

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
    WriteBytes(Folder() + QStringLiteral("/dll.conf"), (backends.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    // Every test device scans at a known resolution unless the test says otherwise, and hands a
    // page over in small pieces, many reads to a page as from a real device.
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
    return { QStringLiteral("read-status-code \"%1\"").arg(QLatin1String(status)) };
}

int PrivateSane::RunWithFailingReads(const std::function<int()>& body)
{
    return RunInChild([&body] {
        ::alarm(30);
        return body();
    });
}

PrivateSane::~PrivateSane()
{
    platform::wia::CoUninitialize();
}

} // namespace pd::test
