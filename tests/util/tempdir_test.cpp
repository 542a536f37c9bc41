#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::util {
namespace {

mode_t ModeOf(const QString& path)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

class TempDirectoryTest : public ::testing::Test {
protected:
    test::TempFolder m_folder;
    test::ScopedEnv m_cache { "XDG_CACHE_HOME", m_folder.File(QStringLiteral("cache")) };
};

TEST_F(TempDirectoryTest, ComesBackInLongFormWithATrailingDelimiter)
{
    // A folder reached through a symbolic link and ".." stands for the Windows short form.
    QDir().mkpath(m_folder.File(QStringLiteral("real/tmp")));
    ASSERT_TRUE(QFile::link(m_folder.File(QStringLiteral("real")), m_folder.File(QStringLiteral("short"))));
    test::ScopedEnv tmp("TMPDIR", m_folder.File(QStringLiteral("short/tmp/../tmp")));
    const QString real = QFileInfo(m_folder.File(QStringLiteral("real/tmp"))).canonicalFilePath();
    EXPECT_EQ(GetTempDirectory(), real + QLatin1Char('/'));
}

TEST_F(TempDirectoryTest, MissingTemporaryFolderIsCreatedPrivate)
{
    const QString wanted = m_folder.File(QStringLiteral("new/tmp"));
    test::ScopedEnv tmp("TMPDIR", wanted);
    const QString result = GetTempDirectory();
    EXPECT_EQ(result, QFileInfo(wanted).canonicalFilePath() + QLatin1Char('/'));
    EXPECT_EQ(ModeOf(wanted), 0700u);
}

TEST_F(TempDirectoryTest, FolderThatCannotBeCreatedFallsBackToTmp)
{
    test::WriteBytes(m_folder.File(QStringLiteral("file")), "x");
    test::ScopedEnv tmp("TMPDIR", m_folder.File(QStringLiteral("file/tmp")));
    EXPECT_EQ(GetTempDirectory(), QStringLiteral("/tmp/"));
}

TEST_F(TempDirectoryTest, WithoutTmpdirTheUserCacheFolderServes)
{
    test::ScopedEnv tmp("TMPDIR", std::nullopt);
    const QString cache = m_folder.File(QStringLiteral("cache"));
    const QString result = GetTempDirectory();
    EXPECT_EQ(result, QFileInfo(cache).canonicalFilePath() + QLatin1Char('/'));
    EXPECT_EQ(ModeOf(cache), 0700u);
}

TEST_F(TempDirectoryTest, LongPathNameOfAMissingPathIsEmpty)
{
    EXPECT_EQ(LongPathName(m_folder.File(QStringLiteral("missing"))), QString());
}

TEST_F(TempDirectoryTest, JobFolderIsPrivateAndNeverASymbolicLink)
{
    test::ScopedEnv tmp("TMPDIR", m_folder.Path());
    const QString base = QFileInfo(m_folder.Path()).canonicalFilePath() + QLatin1Char('/');

    EXPECT_EQ(CreatePrivateTempFolder(QStringLiteral("Paperdart")), base + QStringLiteral("Paperdart/"));
    EXPECT_EQ(ModeOf(base + QStringLiteral("Paperdart")), 0700u);

    // A link planted in the folder's place is refused, and what it points to stays as it was.
    const QString elsewhere = m_folder.File(QStringLiteral("elsewhere"));
    QDir().mkpath(elsewhere);
    ::chmod(QFile::encodeName(elsewhere).constData(), 0755);
    ASSERT_TRUE(QFile::link(elsewhere, m_folder.File(QStringLiteral("Linked"))));
    EXPECT_EQ(CreatePrivateTempFolder(QStringLiteral("Linked")), QString());
    EXPECT_EQ(ModeOf(elsewhere), 0755u);
}

} // namespace
} // namespace pd::util
