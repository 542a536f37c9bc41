#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Readable texts in test failures instead of byte dumps.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

namespace pd::test {

// A fresh folder below the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    // Absolute path without trailing "/".
    QString Path() const { return m_dir.path(); }
    // Path() + "/" + relative.
    QString File(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

// Whole-file helpers; WriteBytes creates missing parent folders.
QByteArray ReadBytes(const QString& path);
void WriteBytes(const QString& path, const QByteArray& bytes);

// Every entry of a folder, hidden ones included, without "." and "..", sorted by name.
QStringList FolderEntries(const QString& folder);

// The lines of the program's monthly log files in a log folder ("202612.log", not the imaging
// library's trace beside them), each without its time, program and computer.
QStringList MonthlyLogLines(const QString& logFolder);

// Appends a value as the low 2 or 4 bytes in little-endian order, as BMP and DIB headers hold them.
void Put16(QByteArray& out, std::uint32_t value);
void Put32(QByteArray& out, std::uint32_t value);

// Sets (or, with std::nullopt, unsets) an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QString>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    std::optional<QByteArray> m_old;
};

// The user's locale named by LANG alone: LC_ALL and LC_MESSAGES unset for the object's lifetime.
class LangOnly {
public:
    explicit LangOnly(const QString& lang)
        : m_lang("LANG", lang)
    {
    }

private:
    ScopedEnv m_all { "LC_ALL", std::nullopt };
    ScopedEnv m_messages { "LC_MESSAGES", std::nullopt };
    ScopedEnv m_lang;
};

bool RunningAsRoot();

// Runs body in a forked child that has dropped to the unprivileged user "nobody" (uid and gid
// 65534) and returns the child's exit status: body's result, or 100 + signal number when it
// died, 99 when the switch failed. Only for a root parent.
int RunAsOtherUser(const std::function<int()>& body);

// Runs body in a forked child and returns its exit status, as above without the user switch.
int RunInChild(const std::function<int()>& body);

// A child's status from waitpid as the functions above report it.
int ChildStatus(int waitStatus);

// fork() for tests that run Qt in the child. The threads of Qt's pool end first: a child inherits
// the pool but not its threads, and would wait for ever for painting work handed to them.
int ForkWithoutPoolThreads();

} // namespace pd::test
