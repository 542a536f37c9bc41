#include <gtest/gtest.h>

#include "logging/log.h"
#include "platform/folders.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"

namespace pd::logging {
namespace {

// A line longer than a memory page, so that a full disk can cut its write in two.
const QString kLongText = QStringLiteral("Seite ") + QString(9000, QLatin1Char('x'));

TEST(LogFaults, ALineIsAppendedWholeOrNotAtAll)
{
    test::TempFolder state;
    const test::ScopedEnv stateHome("XDG_STATE_HOME", state.Path());
    const test::LangOnly german(QStringLiteral("de_DE.UTF-8"));
    SetLogClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7, 42)); });

    const test::WriterUnderTest log {
        .relativePath = QStringLiteral("log/202612.log"),
        // The program "installed" in the case's folder; the start line goes before the old file
        // is laid down, so only the test's own line is appended.
        .prepare =
            [](const QString& root) {
                platform::OverrideModuleFileName(root + QStringLiteral("/paperdart"));
                LogModuleStart();
            },
        .save =
            [](const QString&) {
                WriteLog(kLongText, 1);
                return true;
            },
        .oldContent = QByteArrayLiteral("01.12.2026 08:00:00.000  paperdart #pc: Startup:alt\r\n"),
        .appends = true,
        .closesCutUnit = QByteArrayLiteral("\r\n"),
        .reportsFailure = false,
    };
    test::ExpectSoundAfterEveryFault(log);

    LogModuleEnd();
    SetLogClock({});
    platform::OverrideModuleFileName({});
}

} // namespace
} // namespace pd::logging
