#include <gtest/gtest.h>

#include <QFile>

#include "logging/versioninfo.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"

namespace pd::logging {
namespace {

// This test binary carries the program's version record, as the program file does.
QString OwnBinary()
{
    platform::OverrideModuleFileName({});
    return platform::GetModuleFileName();
}

TEST(VersionInfo, RecordOfTheExecutableGivesNameAndFourPartVersion)
{
    QString internalName;
    QString fileVersion;
    EXPECT_TRUE(GetVersionInfo(OwnBinary(), &internalName, &fileVersion));
    EXPECT_EQ(internalName, QStringLiteral("paperdart"));
    EXPECT_EQ(fileVersion, QStringLiteral(PD_PROJECT_VERSION));
    EXPECT_EQ(fileVersion.split(QLatin1Char('.')).size(), 4);
}

TEST(VersionInfo, FileWithoutRecordGivesFalseAndEmptyTexts)
{
    test::TempFolder folder;
    const QString path = folder.File(QStringLiteral("plain"));
    test::WriteBytes(path, "no record here");
    QString internalName = QStringLiteral("x");
    QString fileVersion = QStringLiteral("x");
    EXPECT_FALSE(GetVersionInfo(path, &internalName, &fileVersion));
    EXPECT_TRUE(internalName.isEmpty());
    EXPECT_TRUE(fileVersion.isEmpty());
}

TEST(VersionInfo, OwnVersionFollowsTheProgramFile)
{
    test::TempFolder folder;
    const QString copy = folder.File(QStringLiteral("paperdart"));
    ASSERT_TRUE(QFile::copy(OwnBinary(), copy));
    platform::OverrideModuleFileName(copy);
    EXPECT_EQ(GetOwnVersion(), QStringLiteral(PD_PROJECT_VERSION));
    platform::OverrideModuleFileName(folder.File(QStringLiteral("missing")));
    EXPECT_EQ(GetOwnVersion(), QString());
    platform::OverrideModuleFileName({});
}

} // namespace
} // namespace pd::logging
