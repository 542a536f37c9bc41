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
    // Runs body, which sets up SANE itself, in a child process and gives its exit status, so the
    // failing device stays out of the test's own process. A child still running after 30 seconds
    // is ended by SIGALRM (100 + SIGALRM).
    static int RunWithFailingReads(const std::function<int()>& body);
};

} // namespace pd::test
