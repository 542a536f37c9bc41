#include <gtest/gtest.h>

#include <QFileInfo>

#include "logging/log.h"
#include "platform/folders.h"
#include "settings/sharedconfig.h"
#include "tests/support/testsupport.h"

namespace pd::settings {
namespace {

class SharedConfigTest : public ::testing::Test {
protected:
    void SetUp() override { platform::OverrideModuleFileName(m_folder.File(QStringLiteral("paperdart"))); }
    void TearDown() override
    {
        SharedConfigEnd();
        logging::SetLogLevel(10);
        platform::OverrideModuleFileName({});
    }
    void WriteConfig(const QByteArray& content)
    {
        test::WriteBytes(m_folder.File(QStringLiteral("config/Hollowell.INI")), content);
    }

    test::TempFolder m_folder;
};

TEST_F(SharedConfigTest, FoldersFollowTheProgramFile)
{
    SharedConfigStart();
    EXPECT_EQ(ProgramFolder(), m_folder.Path() + QLatin1Char('/'));
    EXPECT_EQ(ConfigFolder(), m_folder.File(QStringLiteral("config/")));
    EXPECT_EQ(SharedConfigFile(), m_folder.File(QStringLiteral("config/Hollowell.INI")));
    SharedConfigEnd();
    EXPECT_TRUE(ProgramFolder().isEmpty());
    EXPECT_TRUE(ConfigFolder().isEmpty());
}

TEST_F(SharedConfigTest, LogLevelIsReadFromTheSharedFile)
{
    struct Case {
        const char* name;
        QByteArray content; // empty: no file at all
        int level;
    };
    const Case cases[] = {
        { "hexadecimal 0x", "[LOG]\r\nLevel=0x46\r\n", 70 },
        { "hexadecimal $", "[LOG]\r\nLevel=$14\r\n", 20 },
        { "decimal", "[LOG]\r\nLevel=3\r\n", 3 },
        { "zero", "[LOG]\r\nLevel=0\r\n", 0 },
        { "negative", "[LOG]\r\nLevel=-1\r\n", -1 },
        { "not a number", "[LOG]\r\nLevel=abc\r\n", 10 },
        { "empty value", "[LOG]\r\nLevel=\r\n", 10 },
        { "missing key", "[LOG]\r\nOther=4\r\n", 10 },
        { "key in another section", "[SCAN]\r\nLevel=4\r\n", 10 },
        { "other letter case", "[log]\r\nlevel = 5\r\n", 5 },
        { "blanks and quotes", "[LOG]\r\n  LEVEL  =  \"6\"  \r\n", 6 },
        { "LF line ends", "[Log]\nLevel=7\n", 7 },
        { "no file", QByteArray(), 10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(m_folder.File(QStringLiteral("config/Hollowell.INI")));
        if (!c.content.isEmpty())
            WriteConfig(c.content);
        logging::SetLogLevel(99);
        SharedConfigStart();
        EXPECT_EQ(logging::LogLevel(), c.level);
        SharedConfigEnd();
    }
}

TEST_F(SharedConfigTest, ProgramWithoutConfigFolderStartsWithDefaultAndCreatesNothing)
{
    SharedConfigStart();
    EXPECT_EQ(logging::LogLevel(), 10);
    EXPECT_FALSE(QFileInfo::exists(m_folder.File(QStringLiteral("config"))));
}

TEST(SpecialFolder, LocalApplicationDataIsTheUserConfigurationFolder)
{
    test::TempFolder folder;
    test::ScopedEnv config("XDG_CONFIG_HOME", folder.File(QStringLiteral("cfg")));
    EXPECT_EQ(GetSpecialFolder(28), folder.File(QStringLiteral("cfg")));
    EXPECT_EQ(GetSpecialFolder(12345), QString());
}

} // namespace
} // namespace pd::settings
