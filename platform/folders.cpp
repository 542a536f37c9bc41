#include "platform/folders.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

namespace pd::platform {

namespace {

Q_LOGGING_CATEGORY(lcFolders, "pd.platform", QtInfoMsg)

// HRESULT E_FAIL, as the Windows call reports an unknown folder.
constexpr int kEFail = -2147467259;

std::mutex g_moduleMutex;
QString g_moduleOverride;

QString WithoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// XDG rules: a variable that is unset, empty or relative counts as not set.
QString AbsoluteEnvPath(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/')
        return {};
    return WithoutTrailingSlashes(QFile::decodeName(value));
}

// $HOME, else the home folder of the effective user from the user database; empty when neither
// is known.
QString HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return WithoutTrailingSlashes(QFile::decodeName(home));
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr
        || found->pw_dir == nullptr || found->pw_dir[0] == '\0')
        return {};
    return WithoutTrailingSlashes(QFile::decodeName(found->pw_dir));
}

// The XDG folder in variable, else relative below the home folder; empty when the home folder is
// unknown.
QString XdgFolder(const char* variable, const QString& relative)
{
    const QString fromEnv = AbsoluteEnvPath(variable);
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString home = HomeFolder();
    if (home.isEmpty())
        return {};
    return (home == QLatin1String("/") ? QString() : home) + QLatin1Char('/') + relative;
}

QString ExecutablePath()
{
    std::vector<char> buffer(PATH_MAX);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size())
            return QFile::decodeName(QByteArray(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

bool CheckPrivateFolder(int fd, const QString& path)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        qCDebug(lcFolders) << "private folder is not a folder:" << path;
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        qCDebug(lcFolders) << "private folder belongs to user" << info.st_uid << ":" << path;
        return false;
    }
    if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        qCDebug(lcFolders) << "cannot set mode 0700 on" << path << ":" << ::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

QString GetModuleFileName()
{
    {
        std::lock_guard lock(g_moduleMutex);
        if (!g_moduleOverride.isEmpty())
            return g_moduleOverride;
    }
    return ExecutablePath();
}

void OverrideModuleFileName(const QString& path)
{
    std::lock_guard lock(g_moduleMutex);
    g_moduleOverride = path;
}

QString ProgramFolderOfModule()
{
    const QString file = GetModuleFileName();
    if (file.isEmpty())
        return {};
    const QString absolute = QFileInfo(file).absoluteFilePath();
    return absolute.left(absolute.lastIndexOf(QLatin1Char('/')) + 1);
}

int SHGetFolderPath(int csidl, QString* path)
{
    QString folder;
    if (csidl == CSIDL_LOCAL_APPDATA)
        folder = XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
    if (path != nullptr)
        *path = folder;
    return folder.isEmpty() || path == nullptr ? kEFail : 0;
}

QString GetTempPath()
{
    QString folder = AbsoluteEnvPath("TMPDIR");
    if (folder.isEmpty()) {
        folder = XdgFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
        if (folder.isEmpty())
            folder = QStringLiteral("/tmp");
        else if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            qCDebug(lcFolders) << "cannot create" << folder << ":" << ::strerror(errno);
    }
    return folder == QLatin1String("/") ? folder : folder + QLatin1Char('/');
}

QString GetLongPathName(const QString& path)
{
    if (path.isEmpty())
        return {};
    char* resolved = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (resolved == nullptr)
        return {};
    QString result = QFile::decodeName(resolved);
    std::free(resolved);
    if (path.endsWith(QLatin1Char('/')) && result != QLatin1String("/"))
        result += QLatin1Char('/');
    return result;
}

QString UserStateFolder()
{
    return XdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state"));
}

bool ForceDirectories(const QString& path)
{
    if (path.isEmpty())
        return false;
    QDir().mkpath(path);
    return QFileInfo(path).isDir();
}

bool CreatePrivateDirectory(const QString& path)
{
    // Without the trailing "/": with it, the kernel would follow a symbolic link despite
    // O_NOFOLLOW. The root folder is never made private.
    const QString folder = WithoutTrailingSlashes(path);
    if (folder.isEmpty() || folder == QLatin1String("/"))
        return false;
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        qCDebug(lcFolders) << "cannot create private folder" << folder << ":" << ::strerror(errno);
        return false;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        qCDebug(lcFolders) << "cannot open private folder" << folder << ":" << ::strerror(errno);
        return false;
    }
    const bool ok = CheckPrivateFolder(fd, folder);
    ::close(fd);
    return ok;
}

} // namespace pd::platform
