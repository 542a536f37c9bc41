#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "tests/support/testsupport.h"

namespace pd::test {

// libsane brought up with a configuration folder of the test's own (SANE_CONFIG_DIR), never the
// system's: dll.conf names the backends, test.conf the test backend's settings (number_of_devices,
// option defaults such as "depth 16" or "read-delay true"). Ends SANE again at the end.
// libsane keeps the configuration path it found first for the whole process, so every object
// writes its files into the same folder of the process.
class PrivateSane {
public:
    explicit PrivateSane(const QStringList& testConf = {}, const QStringList& backends = { QStringLiteral("test") });
    ~PrivateSane();
    PrivateSane(const PrivateSane&) = delete;
    PrivateSane& operator=(const PrivateSane&) = delete;

    static QString Folder();

    // test.conf lines for a device whose every sane_read returns status (a SANE_STATUS_ name).
    static QStringList FailingReads(const char* status);
    // Runs body, which sets up SANE itself, in a child process and gives its exit status. When a
    // read fails, the test backend cancels its reader thread asynchronously while the thread may
    // still be starting inside the allocator, which now and then deadlocks the process; a child
    // that hangs for that reason is run again, up to three times in all.
    static int RunWithFailingReads(const std::function<int()>& body);
};

} // namespace pd::test
