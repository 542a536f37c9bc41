#include "logging/log.h"

#include <mutex>

#include <QFileInfo>

#include "logging/versioninfo.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "platform/locale.h"
#include "platform/textfile.h"

namespace pd::logging {

namespace {

constexpr int kStartLogLevel = 10;

struct LogState {
    std::mutex mutex;
    QString folder;
    QString prefix; // " " + program file name + " #" + computer name + ": "
    int codePage = 1252;
    QString dateFormat;
    QLocale locale = QLocale::c();
    int level = kStartLogLevel;
    std::function<QDateTime()> clock;
};

LogState& State()
{
    static LogState state;
    return state;
}

// The locale's short date with a four-digit year: Qt's short formats carry two-digit years
// ("dd.MM.yy"), the log's dates have four like the Windows short date. A name Qt does not know
// gets ISO dates.
QString ShortDateFormat(const QLocale& locale)
{
    if (locale.language() == QLocale::C)
        return QStringLiteral("yyyy-MM-dd");
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

} // namespace

void WriteLog(const QString& text, int level)
{
    try {
        LogState& state = State();
        std::lock_guard lock(state.mutex);
        if (level > state.level || state.folder.isEmpty())
            return;
        const QDateTime now = state.clock ? state.clock() : QDateTime::currentDateTime();
        const QString fileName = state.folder + now.toString(QStringLiteral("yyyyMM")) + QStringLiteral(".log");
        const QString line = state.locale.toString(now.date(), state.dateFormat) + QLatin1Char(' ')
            + now.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') + state.prefix + text
            + QStringLiteral("\r\n");
        platform::AppendLineWhole(
            fileName, platform::EncodeCodePage(line, state.codePage), QByteArrayLiteral("\r\n"), true);
    } catch (...) {
        // The log is best effort: a line that cannot be written is dropped.
    }
}

void WriteLogError(const QString& text, int level)
{
    WriteLog(QStringLiteral("Exception: ") + text, level);
}

void WriteLogException(const std::exception& error, const QString& context, int level)
{
    const auto* own = dynamic_cast<const platform::Error*>(&error);
    const QString message = own ? own->Message() : QString::fromUtf8(error.what());
    const QString description = own ? own->FullDescription() : message;
    const int helpContext = own ? own->HelpContext() : 0;
    WriteLogError(context + QStringLiteral("- ") + description + QStringLiteral(" - ") + message + QLatin1Char('-')
            + QString::number(helpContext),
        level);
}

QString LogFolder()
{
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    return state.folder;
}

int LogLevel()
{
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    return state.level;
}

void SetLogLevel(int level)
{
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    state.level = level;
}

void SetLogClock(std::function<QDateTime()> clock)
{
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    state.clock = std::move(clock);
}

void LogModuleStart()
{
    const QString programFile = platform::GetModuleFileName();
    const QString computerName = GetLocalComputerName();
    QString folder = platform::ProgramFolderOfModule() + QStringLiteral("log/");
    // A read-only installation logs into the user's state folder, created at the first line.
    if (!platform::ForceDirectories(folder))
        folder = platform::UserStateFolder() + QStringLiteral("/Quor/Paperdart/log/");
    {
        LogState& state = State();
        std::lock_guard lock(state.mutex);
        state.folder = folder;
        state.prefix = QLatin1Char(' ') + QFileInfo(programFile).fileName() + QStringLiteral(" #") + computerName
            + QStringLiteral(": ");
        state.locale = platform::UserQLocale();
        state.dateFormat = ShortDateFormat(state.locale);
        state.codePage = platform::GetACP();
        state.level = kStartLogLevel;
    }
    WriteLog(QStringLiteral("Startup:") + programFile + QStringLiteral("  Version:") + GetOwnVersion(), 1);
}

void LogModuleEnd()
{
    WriteLog(QStringLiteral("Stop"), 1);
    LogState& state = State();
    std::lock_guard lock(state.mutex);
    state.folder.clear();
    state.prefix.clear();
}

} // namespace pd::logging
