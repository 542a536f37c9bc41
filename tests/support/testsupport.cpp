#include "tests/support/testsupport.h"

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

namespace pd::test {

TempFolder::TempFolder()
    : m_dir(QDir::tempPath() + QStringLiteral("/pdtest-XXXXXX"))
{
}

QString TempFolder::File(const QString& relative) const
{
    return Path() + QLatin1Char('/') + relative;
}

QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList MonthlyLogLines(const QString& logFolder)
{
    QStringList lines;
    const QDir log(logFolder);
    for (const QString& name : log.entryList({ QStringLiteral("[0-9][0-9][0-9][0-9][0-9][0-9].log") }, QDir::Files))
        for (const QString& line : QString::fromLatin1(ReadBytes(log.filePath(name))).split(QStringLiteral("\r\n")))
            if (!line.isEmpty())
                lines.append(line.section(QStringLiteral(": "), 1));
    return lines;
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

int ForkWithoutPoolThreads()
{
    QThreadPool::globalInstance()->waitForDone();
    return ::fork();
}

int ChildStatus(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus))
        return 100 + WTERMSIG(waitStatus);
    return 98;
}

namespace {

int WaitForChild(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    return ChildStatus(status);
}

int Fork(const std::function<int()>& body, bool dropToNobody)
{
    const pid_t pid = ForkWithoutPoolThreads();
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
