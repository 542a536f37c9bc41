#include "tests/support/testsupport.h"

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pd::test {

TempFolder::TempFolder()
    : m_dir(QDir::tempPath() + QStringLiteral("/pdtest-XXXXXX"))
{
}

QString TempFolder::File(const QString& relative) const
{
    return Path() + QLatin1Char('/') + relative;
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

ScopedEnv::ScopedEnv(const char* name, const std::optional<QString>& value)
    : m_name(name)
{
    if (const char* old = std::getenv(name))
        m_old = QByteArray(old);
    if (value)
        ::setenv(name, value->toLocal8Bit().constData(), 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (m_old)
        ::setenv(m_name.constData(), m_old->constData(), 1);
    else
        ::unsetenv(m_name.constData());
}

bool RunningAsRoot()
{
    return ::geteuid() == 0;
}

namespace {

int WaitForChild(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 100 + WTERMSIG(status);
    return 98;
}

int Fork(const std::function<int()>& body, bool dropToNobody)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (dropToNobody && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    return pid < 0 ? 97 : WaitForChild(pid);
}

} // namespace

int RunAsOtherUser(const std::function<int()>& body)
{
    return Fork(body, true);
}

int RunInChild(const std::function<int()>& body)
{
    return Fork(body, false);
}

void Put16(QByteArray& out, std::uint32_t value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void Put32(QByteArray& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

} // namespace pd::test
