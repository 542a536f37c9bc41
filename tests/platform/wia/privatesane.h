#pragma once

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
};

} // namespace pd::test
