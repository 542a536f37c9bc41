#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "logging/log.h"
#include "platform/computername.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"

namespace pd::logging {
namespace {

using test::ReadBytes;

const QDateTime kDecember(QDate(2026, 12, 10), QTime(9, 5, 7, 42));

// A program "installed" in a folder of the test's own, with a fixed clock.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_folder.File(QStringLiteral("paperdart")));
        SetLogClock([this] { return m_now; });
    }
    void TearDown() override
    {
        LogModuleEnd();
        SetLogClock({});
        platform::OverrideModuleFileName({});
    }

    QString LogFile(const QString& month = QStringLiteral("202612")) const
    {
        return m_folder.File(QStringLiteral("log/") + month + QStringLiteral(".log"));
    }
    // The line layout with the test clock and this machine's name.
    QByteArray Line(const QString& text, const QString& stamp = QStringLiteral("10.12.2026 09:05:07.042")) const
    {
        return (stamp + QStringLiteral("  paperdart #") + platform::GetComputerName() + QStringLiteral(": ") + text
            + QStringLiteral("\r\n"))
            .toLatin1();
    }

    test::TempFolder m_folder;
    test::LangOnly m_lang { QStringLiteral("de_DE.UTF-8") };
    test::ScopedEnv m_state { "XDG_STATE_HOME", m_folder.File(QStringLiteral("state")) };
    QDateTime m_now = kDecember;
};

TEST_F(LogTest, StartLineComesFirstAndStopLast)
{
    LogModuleStart();
    EXPECT_EQ(LogFolder(), m_folder.File(QStringLiteral("log/")));
    const QString program = m_folder.File(QStringLiteral("paperdart"));
    EXPECT_EQ(ReadBytes(LogFile()), Line(QStringLiteral("Startup:") + program + QStringLiteral("  Version:")));

    WriteLog(QStringLiteral("Scan gestartet"), 1);
    LogModuleEnd();
    EXPECT_EQ(ReadBytes(LogFile()),
        Line(QStringLiteral("Startup:") + program + QStringLiteral("  Version:"))
            + Line(QStringLiteral("Scan gestartet")) + Line(QStringLiteral("Stop")));
    EXPECT_TRUE(LogFolder().isEmpty());

    // After the end step nothing lands anywhere, not even in the working folder.
    WriteLog(QStringLiteral("late"), 1);
    EXPECT_FALSE(ReadBytes(LogFile()).contains("late"));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("202612.log")));
}

TEST_F(LogTest, LevelDecidesWhetherALineIsWritten)
{
    struct Case {
        int threshold;
        int level;
        bool written;
    };
    const Case cases[] = {
        { 10, 1, true },
        { 10, 10, true },
        { 10, 11, false },
        { 0, 1, false },
        { 0, 0, true },
        { -3, -3, true },
        { -3, 1, false },
    };
    LogModuleStart();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " level " << c.level);
        SetLogLevel(c.threshold);
        const QByteArray before = ReadBytes(LogFile());
        WriteLog(QStringLiteral("probe"), c.level);
        EXPECT_EQ(ReadBytes(LogFile()).size() > before.size(), c.written);
    }
}

TEST_F(LogTest, StartStepResetsThresholdSoTheStartLineIsAlwaysWritten)
{
    SetLogLevel(0);
    LogModuleStart();
    EXPECT_EQ(LogLevel(), 10);
    EXPECT_TRUE(ReadBytes(LogFile()).contains("Startup:"));
}

TEST_F(LogTest, MonthChangeStartsANewFileAndLeavesTheOldOne)
{
    m_now = QDateTime(QDate(2026, 1, 31), QTime(23, 59, 59, 999));
    LogModuleStart();
    WriteLog(QStringLiteral("Januar"), 1);
    const QByteArray january = ReadBytes(LogFile(QStringLiteral("202601")));

    m_now = QDateTime(QDate(2026, 2, 1), QTime(0, 0, 0, 0));
    WriteLog(QStringLiteral("Februar"), 1);

    EXPECT_EQ(ReadBytes(LogFile(QStringLiteral("202601"))), january);
    EXPECT_EQ(ReadBytes(LogFile(QStringLiteral("202602"))),
        Line(QStringLiteral("Februar"), QStringLiteral("01.02.2026 00:00:00.000")));
}

TEST_F(LogTest, ExistingFileIsAppendedToNeverTruncated)
{
    const QByteArray earlier = "01.12.2026 08:00:00.000  paperdart #pc: earlier run\r\n";
    test::WriteBytes(LogFile(), earlier);
    LogModuleStart();
    WriteLog(QStringLiteral("next"), 1);
    const QByteArray content = ReadBytes(LogFile());
    EXPECT_TRUE(content.startsWith(earlier));
    EXPECT_TRUE(content.endsWith(Line(QStringLiteral("next"))));
}

TEST_F(LogTest, LineBreaksInTextGiveUnprefixedContinuationLines)
{
    LogModuleStart();
    const QByteArray before = ReadBytes(LogFile());
    WriteLog(QStringLiteral("erste\r\nzweite\r\ndritte"), 1);
    EXPECT_EQ(ReadBytes(LogFile()).mid(before.size()), Line(QStringLiteral("erste\r\nzweite\r\ndritte")));
}

TEST_F(LogTest, LineIsWrittenInTheCodePageOfTheLocale)
{
    LogModuleStart();
    const QByteArray before = ReadBytes(LogFile());
    // 1252 has the umlaut and the euro sign, not the Czech letter.
    WriteLog(QStringLiteral("Grüße € ř"), 1);
    const QByteArray added = ReadBytes(LogFile()).mid(before.size());
    EXPECT_TRUE(added.endsWith(QByteArray("Gr\xfc\xdf"
                                          "e \x80 ?\r\n")))
        << added.toStdString();
}

TEST_F(LogTest, DateFollowsTheLocaleWithAFourDigitYear)
{
    struct Case {
        const char* locale;
        const char* date;
    };
    const Case cases[] = {
        { "de_DE.UTF-8", "10.12.2026" },
        { "en_US.UTF-8", "12/10/2026" },
        { "en_GB.UTF-8", "10/12/2026" },
        { "C", "2026-12-10" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        test::ScopedEnv lang("LANG", QString::fromLatin1(c.locale));
        QFile::remove(LogFile());
        LogModuleStart();
        EXPECT_TRUE(ReadBytes(LogFile()).startsWith(QByteArray(c.date) + " 09:05:07.042  paperdart #"));
        LogModuleEnd();
    }
}

TEST_F(LogTest, FolderThatCannotTakeALineLosesThatLineOnly)
{
    LogModuleStart();
    WriteLog(QStringLiteral("vorher"), 1);
    const QString folder = m_folder.File(QStringLiteral("log"));
    const QString aside = m_folder.File(QStringLiteral("log.aside"));
    ASSERT_TRUE(QDir().rename(folder, aside));
    test::WriteBytes(folder, "a file where the folder should be");

    WriteLog(QStringLiteral("verloren"), 1);
    EXPECT_EQ(ReadBytes(folder), "a file where the folder should be");

    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().rename(aside, folder));
    WriteLog(QStringLiteral("nachher"), 1);
    const QByteArray content = ReadBytes(LogFile());
    EXPECT_TRUE(content.contains("vorher"));
    EXPECT_FALSE(content.contains("verloren"));
    EXPECT_TRUE(content.endsWith(Line(QStringLiteral("nachher"))));
    EXPECT_FALSE(QFileInfo::exists(m_folder.File(QStringLiteral("state"))));
}

TEST_F(LogTest, FifoInPlaceOfTheFileDoesNotBlock)
{
    LogModuleStart();
    ASSERT_TRUE(QFile::remove(LogFile()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(LogFile()).constData(), 0600), 0);
    WriteLog(QStringLiteral("nobody reads this"), 1); // returns at once: no reader, no block
    EXPECT_TRUE(QFileInfo(LogFile()).exists());
}

TEST_F(LogTest, ReadOnlyInstallationLogsIntoTheUserStateFolder)
{
    test::WriteBytes(m_folder.File(QStringLiteral("log")), "not a folder");
    LogModuleStart();
    const QString fallback = m_folder.File(QStringLiteral("state/Quor/Paperdart/log/"));
    EXPECT_EQ(LogFolder(), fallback);
    EXPECT_TRUE(ReadBytes(fallback + QStringLiteral("202612.log")).contains("Startup:"));
}

TEST_F(LogTest, TwoProcessesAppendingKeepEveryLineWhole)
{
    LogModuleStart();
    constexpr int kLines = 2000;
    auto writer = [](char tag) {
        return [tag] {
            const QString text = QString(60, QLatin1Char(tag));
            for (int i = 0; i < kLines; ++i)
                WriteLog(text + QString::number(i), 1);
            return 0;
        };
    };
    const pid_t first = ::fork();
    if (first == 0)
        ::_exit(writer('a')());
    const int second = test::RunInChild(writer('b'));
    int status = 0;
    ::waitpid(first, &status, 0);
    ASSERT_EQ(second, 0);

    const QList<QByteArray> lines = ReadBytes(LogFile()).split('\n');
    int counts[2] = {};
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line.contains("Startup:"))
            continue;
        ASSERT_TRUE(line.endsWith('\r')) << line.toStdString();
        const qsizetype text = line.indexOf(": ") + 2;
        const char tag = line.at(text);
        ASSERT_TRUE(tag == 'a' || tag == 'b') << line.toStdString();
        EXPECT_EQ(line.mid(text, 60), QByteArray(60, tag)) << line.toStdString();
        ++counts[tag - 'a'];
    }
    EXPECT_EQ(counts[0], kLines);
    EXPECT_EQ(counts[1], kLines);
}

TEST_F(LogTest, ExceptionLineCarriesDescriptionMessageAndHelpContext)
{
    struct Case {
        std::function<void()> raise;
        QByteArray expected;
    };
    const Case cases[] = {
        { [] { throw platform::Error(QStringLiteral("M")); }, "Exception: SCAN - M - M-0" },
        { [] { throw platform::Error(QStringLiteral("M"), 7); }, "Exception: SCAN - M - M-7" },
        { [] { throw platform::Error(QStringLiteral("outer"), 0, { platform::Error(QStringLiteral("inner")) }); },
            "Exception: SCAN - outer\r\ninner - outer-0" },
        { [] { throw std::runtime_error("plain"); }, "Exception: SCAN - plain - plain-0" },
    };
    LogModuleStart();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        const QByteArray before = ReadBytes(LogFile());
        try {
            c.raise();
        } catch (const std::exception& error) {
            WriteLogException(error, QStringLiteral("SCAN "), 1);
        }
        EXPECT_EQ(ReadBytes(LogFile()).mid(before.size()), Line(QString::fromLatin1(c.expected)));
    }
}

} // namespace
} // namespace pd::logging
