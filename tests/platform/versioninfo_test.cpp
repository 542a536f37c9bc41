#include <gtest/gtest.h>

#include "platform/folders.h"
#include "platform/versioninfo.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

// This test binary carries the program's version record, as the program file does.
QString OwnBinary()
{
    OverrideModuleFileName({});
    return GetModuleFileName();
}

TEST(FileVersionInfo, RecordIsReadBackFromTheFile)
{
    const auto info = GetFileVersionInfo(OwnBinary());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->internalName, QStringLiteral("paperdart"));
    EXPECT_EQ(info->fileVersion, QStringLiteral(PD_PROJECT_VERSION));
}

// Files without a record, and damaged ones: no record, no crash.
TEST(FileVersionInfo, FilesWithoutAValidRecordGiveNone)
{
    test::TempFolder folder;
    const QByteArray own = test::ReadBytes(OwnBinary());
    ASSERT_GT(own.size(), 4096);

    QByteArray badSectionTable = own;
    // e_shoff of a 64-bit ELF file stands at offset 0x28: point it far past the end of the file.
    for (int i = 0; i < 8; ++i)
        badSectionTable[0x28 + i] = char(0x7f);
    QByteArray hugeSectionCount = own;
    // e_shnum at 0x3c and e_shstrndx at 0x3e: both far beyond the sections the file holds.
    for (int i = 0x3c; i < 0x40; ++i)
        hugeSectionCount[i] = char(0xfe);
    // The record's text may stand in the debug information as well: spoil every copy.
    QByteArray recordWithoutMagic = own;
    const QByteArray record("PDVERSION1\0InternalName", 23);
    ASSERT_TRUE(recordWithoutMagic.contains(record));
    recordWithoutMagic.replace(record, QByteArray("XDVERSION1\0InternalName", 23));
    QByteArray bigEndian = own;
    bigEndian[5] = 2; // EI_DATA

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
        { "huge section count", hugeSectionCount },
        { "record without magic", recordWithoutMagic },
        { "big-endian header", bigEndian },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder.File(QString::fromLatin1(c.name));
        test::WriteBytes(path, c.content);
        EXPECT_FALSE(GetFileVersionInfo(path));
    }
    EXPECT_FALSE(GetFileVersionInfo(folder.File(QStringLiteral("missing"))));
    EXPECT_FALSE(GetFileVersionInfo(folder.Path()));
    // An ELF program of the system, built without our record.
    EXPECT_FALSE(GetFileVersionInfo(QStringLiteral("/bin/sh")));
}

} // namespace
} // namespace pd::platform
