#include <gtest/gtest.h>

#include "logging/log.h"
#include "platform/folders.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"

namespace pd::logging {
namespace {

// A line of more than two memory pages: a full disk can cut its write in two, and so can a kill.
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

TEST(LogFaults, ALineCutByAKilledProcessIsClosedBeforeTheNextLine)
{
    test::TempFolder folder;
    const test::LangOnly german(QStringLiteral("de_DE.UTF-8"));
    SetLogClock([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7, 42)); });
    platform::OverrideModuleFileName(folder.File(QStringLiteral("paperdart")));
    LogModuleStart();
    const QString file = folder.File(QStringLiteral("log/202612.log"));
    const QByteArray cut = QByteArrayLiteral("10.12.2026 09:05:07.042  paperdart #pc: Seite xx");
    struct Case {
        const char* name;
        QByteArray before;
        QByteArray between; // what comes between the old content and the new line
    } const cases[] = {
        { "the old file ends with a whole line", "10.12.2026 09:05:07.042  paperdart #pc: alt\r\n", "" },
        { "the old file ends in a cut line", cut, "\r\n" },
        { "the cut fell between CR and LF", cut + '\r', "\r\n" },
        { "an empty file", "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(file, c.before);
        WriteLog(QStringLiteral("neu"), 1);
        const QByteArray after = test::ReadBytes(file);
        EXPECT_TRUE(after.startsWith(c.before + c.between));
        const QByteArray line = after.mid(c.before.size() + c.between.size());
        EXPECT_TRUE(line.startsWith("10.12.2026 09:05:07.042  ") && line.endsWith(": neu\r\n")) << line.toStdString();
        EXPECT_EQ(line.count('\n'), 1);
    }
    LogModuleEnd();
    SetLogClock({});
    platform::OverrideModuleFileName({});
}

} // namespace
} // namespace pd::logging
