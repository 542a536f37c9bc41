#include "logging/versioninfo.h"

#include "platform/folders.h"
#include "tests/support/testsupport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace pd::logging {
namespace {

// This test binary carries the program's version record, as the program file does.
QString OwnBinary()
{
    platform::OverrideModuleFileName({});
    return platform::GetModuleFileName();
}

TEST(VersionInfo, RecordOfTheExecutableIsReadBackFromTheFile)
{
    QString internalName;
    QString fileVersion;
    EXPECT_TRUE(GetVersionInfo(OwnBinary(), &internalName, &fileVersion));
    EXPECT_EQ(internalName, QStringLiteral("paperdart"));
    EXPECT_EQ(fileVersion, QStringLiteral(PD_PROJECT_VERSION));
    EXPECT_EQ(fileVersion.split(QLatin1Char('.')).size(), 4);
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

// Files without a record, and damaged ones: false, empty texts, no crash.
TEST(VersionInfo, FilesWithoutAValidRecordGiveFalseAndEmptyTexts)
{
    test::TempFolder folder;
    const QByteArray own = test::ReadBytes(OwnBinary());
    ASSERT_GT(own.size(), 4096);

    QByteArray badSectionTable = own;
    // e_shoff of a 64-bit ELF file at offset 0x28: point it past the end of the file.
    for (int i = 0; i < 8; ++i)
        badSectionTable[0x28 + i] = char(0x7f);
    // The record's text may stand in the debug information as well: spoil every copy.
    QByteArray recordWithoutMagic = own;
    const QByteArray record("PDVERSION1\0InternalName", 23);
    ASSERT_TRUE(recordWithoutMagic.contains(record));
    recordWithoutMagic.replace(record, QByteArray("XDVERSION1\0InternalName", 23));

    struct Case {
        const char* name;
        QByteArray content;
    };
    const Case cases[] = {
        { "empty", QByteArray() },
        { "text", QByteArray("InternalName=paperdart\nFileVersion=1.2.3.4\n") },
        { "truncated", own.left(200) },
        { "headers only", own.left(64) },
        { "bad section table", badSectionTable },
        { "record without magic", recordWithoutMagic },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.File(QString::fromLatin1(c.name));
        test::WriteBytes(path, c.content);
        QString internalName = QStringLiteral("x");
        QString fileVersion = QStringLiteral("x");
        EXPECT_FALSE(GetVersionInfo(path, &internalName, &fileVersion));
        EXPECT_TRUE(internalName.isEmpty());
        EXPECT_TRUE(fileVersion.isEmpty());
    }
    QString internalName;
    QString fileVersion;
    EXPECT_FALSE(GetVersionInfo(folder.File(QStringLiteral("missing")), &internalName, &fileVersion));
    EXPECT_FALSE(GetVersionInfo(folder.Path(), &internalName, &fileVersion));
    // An ELF program of the system, built without our record.
    EXPECT_FALSE(GetVersionInfo(QStringLiteral("/bin/sh"), &internalName, &fileVersion));
}

} // namespace
} // namespace pd::logging
