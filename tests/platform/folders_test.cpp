#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/folders.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using pd::test::ScopedEnv;
using pd::test::TempFolder;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// Permission bits of path itself (a symbolic link is not followed); -1 when it does not exist.
int ModeOf(const QString& path)
{
    struct stat info { };
    if (::lstat(Native(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

void MakeFolder(const QString& path, mode_t mode)
{
    ASSERT_EQ(::mkdir(Native(path).constData(), mode), 0) << path.toStdString();
    ASSERT_EQ(::chmod(Native(path).constData(), mode), 0);
}

void MakeLink(const QString& target, const QString& link)
{
    ASSERT_EQ(::symlink(Native(target).constData(), Native(link).constData()), 0) << link.toStdString();
}

QString Canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

TEST(GetTempPath, UsesAbsoluteTmpdirWithExactlyOneTrailingSlash)
{
    TempFolder temp;
    const struct {
        QString tmpdir;
        QString expected;
    } cases[] = {
        { temp.File(QStringLiteral("missing")), temp.File(QStringLiteral("missing/")) },
        { temp.File(QStringLiteral("missing///")), temp.File(QStringLiteral("missing/")) },
        { QStringLiteral("/"), QStringLiteral("/") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpdir.toStdString());
        ScopedEnv tmpdir("TMPDIR", c.tmpdir);
        EXPECT_EQ(GetTempPath(), c.expected);
    }
    EXPECT_FALSE(QFileInfo::exists(temp.File(QStringLiteral("missing")))) << "TMPDIR is not created";
}

TEST(GetTempPath, IgnoresRelativeEmptyOrUnsetTmpdirAndCreatesPrivateCacheFolder)
{
    const std::optional<QString> values[] = { QStringLiteral("relative/tmp"), QString(), std::nullopt };
    for (const auto& value : values) {
        SCOPED_TRACE(value ? "TMPDIR=\"" + value->toStdString() + "\"" : std::string("TMPDIR unset"));
        TempFolder temp;
        const QString cache = temp.File(QStringLiteral("cache"));
        ScopedEnv cacheHome("XDG_CACHE_HOME", cache + QStringLiteral("/"));
        ScopedEnv tmpdir("TMPDIR", value);
        EXPECT_EQ(GetTempPath(), cache + QStringLiteral("/"));
        EXPECT_EQ(ModeOf(cache), 0700);
    }
}

TEST(GetTempPath, FallsBackToHomeCacheWhenXdgCacheHomeIsRelative)
{
    TempFolder temp;
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    ScopedEnv cacheHome("XDG_CACHE_HOME", QStringLiteral("relative/cache"));
    ScopedEnv home("HOME", temp.Path());
    EXPECT_EQ(GetTempPath(), temp.File(QStringLiteral(".cache/")));
    EXPECT_EQ(ModeOf(temp.File(QStringLiteral(".cache"))), 0700);
}

TEST(GetTempPath, ReturnsCacheFolderThatCannotBeCreatedAndCreatesNoParents)
{
    TempFolder temp;
    ScopedEnv tmpdir("TMPDIR", std::nullopt);
    ScopedEnv cacheHome("XDG_CACHE_HOME", temp.File(QStringLiteral("missing/cache")));
    EXPECT_EQ(GetTempPath(), temp.File(QStringLiteral("missing/cache/")));
    EXPECT_FALSE(QFileInfo::exists(temp.File(QStringLiteral("missing"))));
}

TEST(GetLongPathName, ResolvesLinksAndDotsAndKeepsTrailingSlash)
{
    TempFolder temp;
    ASSERT_TRUE(QDir().mkpath(temp.File(QStringLiteral("real/sub"))));
    MakeLink(temp.File(QStringLiteral("real")), temp.File(QStringLiteral("link")));
    pd::test::WriteBytes(temp.File(QStringLiteral("real/file")), "x");
    const QString root = Canonical(temp.Path());
    const struct {
        QString input;
        QString expected;
    } cases[] = {
        { temp.File(QStringLiteral("link/sub")), root + QStringLiteral("/real/sub") },
        { temp.File(QStringLiteral("link/sub/../sub/")), root + QStringLiteral("/real/sub/") },
        { temp.File(QStringLiteral("real/./sub/..")), root + QStringLiteral("/real") },
        { temp.File(QStringLiteral("link/file")), root + QStringLiteral("/real/file") },
        { QStringLiteral("/"), QStringLiteral("/") },
        { QStringLiteral("//"), QStringLiteral("/") },
        { temp.File(QStringLiteral("missing")), QString() },
        { temp.File(QStringLiteral("link/missing/")), QString() },
        { temp.File(QStringLiteral("real/file/")), QString() },
        { QString(), QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.toStdString());
        EXPECT_EQ(GetLongPathName(c.input), c.expected);
    }
}

TEST(SHGetFolderPath, LocalAppDataComesFromXdgConfigHomeWithoutCreatingIt)
{
    TempFolder temp;
    const QString config = temp.File(QStringLiteral("config"));
    ScopedEnv configHome("XDG_CONFIG_HOME", config + QStringLiteral("/"));
    QString path;
    EXPECT_EQ(SHGetFolderPath(CSIDL_LOCAL_APPDATA, &path), 0);
    EXPECT_EQ(path, config);
    EXPECT_FALSE(QFileInfo::exists(config));
}

TEST(SHGetFolderPath, LocalAppDataFallsBackToHomeConfig)
{
    TempFolder temp;
    const std::optional<QString> values[] = { QStringLiteral("relative/config"), QString(), std::nullopt };
    for (const auto& value : values) {
        SCOPED_TRACE(value ? value->toStdString() : std::string("unset"));
        ScopedEnv configHome("XDG_CONFIG_HOME", value);
        ScopedEnv home("HOME", temp.Path());
        QString path;
        EXPECT_EQ(SHGetFolderPath(CSIDL_LOCAL_APPDATA, &path), 0);
        EXPECT_EQ(path, temp.File(QStringLiteral(".config")));
    }
}

TEST(SHGetFolderPath, WithoutHomeUsesTheUserDatabase)
{
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    ScopedEnv configHome("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnv home("HOME", std::nullopt);
    QString path;
    EXPECT_EQ(SHGetFolderPath(CSIDL_LOCAL_APPDATA, &path), 0);
    EXPECT_EQ(path, QDir::cleanPath(QFile::decodeName(user->pw_dir) + QStringLiteral("/.config")));
}

TEST(SHGetFolderPath, UnknownFolderFailsWithEmptyPath)
{
    for (int csidl : { 0, 5, 26, -1 }) {
        SCOPED_TRACE(csidl);
        QString path = QStringLiteral("left over");
        EXPECT_LT(SHGetFolderPath(csidl, &path), 0);
        EXPECT_TRUE(path.isEmpty());
    }
    EXPECT_LT(SHGetFolderPath(CSIDL_LOCAL_APPDATA, nullptr), 0);
}

TEST(UserStateFolder, ComesFromXdgStateHomeOrHome)
{
    TempFolder temp;
    ScopedEnv home("HOME", temp.File(QStringLiteral("home")));
    {
        ScopedEnv stateHome("XDG_STATE_HOME", temp.File(QStringLiteral("state/")));
        EXPECT_EQ(UserStateFolder(), temp.File(QStringLiteral("state")));
    }
    ScopedEnv stateHome("XDG_STATE_HOME", QStringLiteral("relative"));
    EXPECT_EQ(UserStateFolder(), temp.File(QStringLiteral("home/.local/state")));
}

TEST(ForceDirectories, TrueExactlyWhenTheFolderExistsAfterwards)
{
    TempFolder temp;
    pd::test::WriteBytes(temp.File(QStringLiteral("file")), "x");
    const struct {
        QString path;
        bool expected;
    } cases[] = {
        { temp.File(QStringLiteral("a/b/c")), true },
        { temp.File(QStringLiteral("a/b/c/")), true },
        { temp.Path(), true },
        { temp.File(QStringLiteral("file")), false },
        { temp.File(QStringLiteral("file/below")), false },
        { QString(), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(ForceDirectories(c.path), c.expected);
        EXPECT_EQ(QFileInfo(c.path).isDir(), c.expected);
    }
}

TEST(CreatePrivateDirectory, CreatesFolderWithModeExactly0700)
{
    TempFolder temp;
    for (const QString& name : { QStringLiteral("private"), QStringLiteral("slashed/") }) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(CreatePrivateDirectory(temp.File(name)));
        EXPECT_EQ(ModeOf(temp.File(name)), 0700);
    }
}

TEST(CreatePrivateDirectory, SetsAnExistingOwnFolderTo0700)
{
    for (mode_t mode : { 0755, 0770, 0701, 0700, 0500 }) {
        SCOPED_TRACE(mode);
        TempFolder temp;
        const QString folder = temp.File(QStringLiteral("existing"));
        MakeFolder(folder, mode);
        pd::test::WriteBytes(folder + QStringLiteral("/kept"), "x");
        EXPECT_TRUE(CreatePrivateDirectory(folder));
        EXPECT_EQ(ModeOf(folder), 0700);
        EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/kept")));
    }
}

TEST(CreatePrivateDirectory, RefusesWhatIsNotARealFolderAndChangesNothing)
{
    TempFolder temp;
    const QString good = temp.File(QStringLiteral("good"));
    MakeFolder(good, 0755);
    MakeLink(good, temp.File(QStringLiteral("link")));
    MakeLink(temp.File(QStringLiteral("nowhere")), temp.File(QStringLiteral("dangling")));
    pd::test::WriteBytes(temp.File(QStringLiteral("file")), "x");
    const QString cases[] = {
        temp.File(QStringLiteral("link")),
        temp.File(QStringLiteral("link/")),
        temp.File(QStringLiteral("dangling")),
        temp.File(QStringLiteral("file")),
        temp.File(QStringLiteral("file/below")),
        temp.File(QStringLiteral("missing/private")),
        QString(),
        QStringLiteral("/"),
    };
    for (const QString& path : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(CreatePrivateDirectory(path));
    }
    EXPECT_EQ(ModeOf(good), 0755) << "the target of the link is left alone";
    EXPECT_FALSE(QFileInfo::exists(temp.File(QStringLiteral("nowhere"))));
    EXPECT_FALSE(QFileInfo::exists(temp.File(QStringLiteral("missing"))));
    EXPECT_EQ(ModeOf(QStringLiteral("/")) & 0755, 0755);
}

TEST(CreatePrivateDirectory, RefusesAFolderOfAnotherUser)
{
    if (!pd::test::RunningAsRoot())
        GTEST_SKIP() << "needs root to give folders to other users";
    TempFolder temp;
    ASSERT_EQ(::chmod(Native(temp.Path()).constData(), 0755), 0);
    const QString rootOwned = temp.File(QStringLiteral("root"));
    const QString nobodyOwned = temp.File(QStringLiteral("nobody"));
    MakeFolder(rootOwned, 0755);
    MakeFolder(nobodyOwned, 0755);
    ASSERT_EQ(::chown(Native(rootOwned).constData(), 0, 0), 0);
    ASSERT_EQ(::chown(Native(nobodyOwned).constData(), 65534, 65534), 0);

    // As "nobody": the root folder is refused, while the own one, checked the same way, is accepted.
    const int status = pd::test::RunAsOtherUser(
        [&] { return (CreatePrivateDirectory(rootOwned) ? 1 : 0) | (CreatePrivateDirectory(nobodyOwned) ? 0 : 2); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ModeOf(rootOwned), 0755);
    EXPECT_EQ(ModeOf(nobodyOwned), 0700);

    // As root: the folder of "nobody" is refused.
    ASSERT_EQ(::chmod(Native(nobodyOwned).constData(), 0755), 0);
    EXPECT_FALSE(CreatePrivateDirectory(nobodyOwned));
    EXPECT_EQ(ModeOf(nobodyOwned), 0755);
}

// Ends an override even when a test fails half way.
struct ModuleOverride {
    explicit ModuleOverride(const QString& path) { OverrideModuleFileName(path); }
    ~ModuleOverride() { OverrideModuleFileName({}); }
};

TEST(ModuleFileName, IsTheRunningTestProgram)
{
    const QString file = GetModuleFileName();
    const QFileInfo info(file);
    EXPECT_TRUE(info.isAbsolute());
    EXPECT_TRUE(info.isExecutable());
    EXPECT_EQ(info.fileName(), QStringLiteral("pd_platform_test"));
    EXPECT_EQ(ProgramFolderOfModule(), info.absolutePath() + QStringLiteral("/"));
}

TEST(ModuleFileName, OverrideSetsFileAndFolderUntilCleared)
{
    const QString real = GetModuleFileName();
    const struct {
        QString file;
        QString folder;
    } cases[] = {
        { QStringLiteral("/opt/pd t\u00e9st/bin/paperdart"), QStringLiteral("/opt/pd t\u00e9st/bin/") },
        { QStringLiteral("/paperdart"), QStringLiteral("/") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        ModuleOverride override(c.file);
        EXPECT_EQ(GetModuleFileName(), c.file);
        EXPECT_EQ(ProgramFolderOfModule(), c.folder);
    }
    EXPECT_EQ(GetModuleFileName(), real);
}

} // namespace
} // namespace pd::platform
