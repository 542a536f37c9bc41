#include "mail/execfile.h"

#include <array>
#include <cerrno>
#include <exception>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include "platform/commandline.h"
#include "platform/filetypes.h"
#include "platform/findexecutable.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace pd::mail {

namespace {

// Longest first command line, in characters.
constexpr qsizetype kCommandLineLimit = 32760;
constexpr std::int32_t kRegistryValueBytes = 540;

constexpr std::array<std::uint16_t, 6> kShowStates {
    platform::SW_SHOWNORMAL, // wsNorm
    platform::SW_SHOWMINIMIZED, // wsMinimize
    platform::SW_SHOWMAXIMIZED, // wsMaximize
    platform::SW_HIDE, // wsHide
    platform::SW_SHOWMINNOACTIVE, // wsMinNoActivate
    platform::SW_SHOWNA, // wsShowNoActivate
};

constexpr std::array<std::uint32_t, 4> kPriorityClasses {
    platform::NORMAL_PRIORITY_CLASS, // pcNormal
    platform::IDLE_PRIORITY_CLASS, // pcIdle
    platform::HIGH_PRIORITY_CLASS, // pcHigh
    platform::REALTIME_PRIORITY_CLASS, // pcRealTime
};

// The extension with its dot; "." for a name without one.
QString ExtensionOf(const QString& filePath)
{
    const QString name = QFileInfo(filePath).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QStringLiteral(".") : name.mid(dot);
}

// The document as an argument: a name that starts with "-" would be taken for an option.
QString DocumentArgument(const QString& filePath)
{
    return filePath.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + filePath : filePath;
}

// The program of a shell command: its first word, resolved on PATH when it is not a path.
QString ProgramOfCommand(const QString& command)
{
    QStringList words;
    if (!platform::SplitCommandLine(command, &words) || words.isEmpty())
        return {};
    const QString& program = words.first();
    return program.contains(QLatin1Char('/')) ? QFileInfo(program).absoluteFilePath() : platform::SearchPath(program);
}

} // namespace

TExecFile::TExecFile(QObject* owner)
    : QObject(owner)
{
}

bool TExecFile::Execute()
{
    // A nested call from an event handler during a wait would take over the waited-for process.
    if (m_running) {
        m_lastError = EBUSY;
        return Fail();
    }
    PrepareStart();
    const QString first = platform::Trim((m_commandLine + QLatin1Char(' ') + m_parameters).left(kCommandLineLimit));
    bool started = StartProcess(first);
    if (!started && m_associate) {
        QString second;
        if (!FindSecondCommand(&second))
            return Fail();
        started = StartProcess(second);
    }
    if (!started)
        return Fail();
    if (m_wait)
        WaitForProcess();
    return true;
}

void TExecFile::PrepareStart()
{
    m_startupInfo = {};
    m_startupInfo.cb = platform::kStartupInfoSize;
    m_startupInfo.dwFlags = platform::STARTF_USESHOWWINDOW;
    // A number set by name through the property system is stored as it is; one outside the
    // enumeration starts as the default.
    const auto window = static_cast<std::size_t>(m_windowStyle);
    const auto priority = static_cast<std::size_t>(m_priority);
    m_startupInfo.wShowWindow = window < kShowStates.size() ? kShowStates[window] : kShowStates[wsNorm];
    m_creationFlags = (priority < kPriorityClasses.size() ? kPriorityClasses[priority] : kPriorityClasses[pcNormal])
        | platform::CREATE_NEW_CONSOLE;
}

bool TExecFile::StartProcess(const QString& command)
{
    if (platform::CreateProcess(command, m_creationFlags, m_startupInfo, &m_processInformation))
        return true;
    m_lastError = platform::GetLastError();
    return false;
}

// The second attempt: the desktop's program for the document, else the file-type tables' one.
bool TExecFile::FindSecondCommand(QString* command)
{
    QString program;
    if (platform::FindExecutable(m_commandLine, QString(), &program) > 32) {
        m_associatedProgram = program;
        *command = platform::QuoteCommandLineWord(program) + QLatin1Char(' ')
            + platform::QuoteCommandLineWord(DocumentArgument(m_commandLine)) + QLatin1Char(' ') + m_parameters;
        return true;
    }
    m_lastError = platform::GetLastError();
    QString lookup;
    if (!FindAssociatedProgram(m_commandLine, lookup))
        return false;
    // The lookup's command already holds the document; Parameters follow it.
    m_associatedProgram = lookup;
    *command = m_parameters.isEmpty() ? lookup : lookup + QLatin1Char(' ') + m_parameters;
    return true;
}

bool TExecFile::Fail()
{
    if (m_onFail)
        m_onFail(this);
    return false;
}

void TExecFile::WaitForProcess()
{
    m_running = true;
    if (m_waitStyle == wRegular)
        WaitRegular();
    else
        platform::WaitForSingleObject(m_processInformation.hProcess, platform::INFINITE);
    m_running = false;
}

// The event loop runs on while the process does, asleep until an event or the process's end
// wakes it. A quit request ends the wait at once; the loops around it then end the program
// with the request's code, the started process left running.
void TExecFile::WaitRegular()
{
    platform::ProcessHandle& process = m_processInformation.hProcess;
    if (!QCoreApplication::instance()) {
        platform::WaitForSingleObject(process, platform::INFINITE);
    } else if (platform::WaitForSingleObject(process, 0) == platform::WAIT_TIMEOUT) {
        QEventLoop loop;
        platform::ProcessEndNotifier notifier(process);
        bool ended = false;
        connect(&notifier, &platform::ProcessEndNotifier::ended, &loop, [&loop, &ended] {
            ended = true;
            loop.quit();
        });
        loop.exec();
        if (!ended)
            return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    platform::GetExitCodeProcess(process, &m_exitCode);
}

bool OpenWithAssociatedProgram(const QString& filePath, bool wait)
{
    TExecFile exec;
    exec.SetCommandLine(filePath);
    exec.SetParameters(QString());
    exec.SetAssociate(true);
    exec.SetWait(wait);
    exec.SetWindowStyle(TExecFile::wsNorm);
    exec.SetWaitStyle(TExecFile::wRegular);
    return exec.Execute();
}

bool FindAssociatedProgram(const QString& filePath, QString& command)
{
    command.clear();
    try {
        QString value;
        std::int32_t size = kRegistryValueBytes;
        const QString key = ExtensionOf(filePath) + QStringLiteral("\\shell\\Open\\command");
        if (platform::RegQueryValue(platform::HKEY_CLASSES_ROOT, key, &value, &size) != platform::ERROR_SUCCESS)
            return false;
        const QString program = ProgramOfCommand(value);
        if (program.isEmpty() || !QFileInfo(program).isFile())
            return false;
        command = platform::QuoteCommandLineWord(program) + QLatin1Char(' ')
            + platform::DoubleQuoteCommandLineWord(DocumentArgument(filePath));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace pd::mail
