#include "app/startup.h"

#include <array>
#include <csignal>
#include <memory>

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "app/paperdartform.h"
#include "logging/log.h"
#include "platform/quitsignals.h"
#include "platform/wia/coinit.h"
#include "scan/desktopscanning.h"
#include "scan/imagingsetup.h"
#include "settings/mailconfigform.h"
#include "settings/sharedconfig.h"
#include "ui/application.h"
#include "ui/translator.h"

namespace pd::app {

namespace {

using namespace Qt::StringLiterals;

const std::array<ModuleSteps, 4> kProgramModules { {
    { "log"_L1, &logging::LogModuleStart, &logging::LogModuleEnd },
    { "translator"_L1, nullptr, &ui::TranslatorEndStep },
    { "shared configuration"_L1, &settings::SharedConfigStart, &settings::SharedConfigEnd },
    { "imaging library"_L1, &scan::ImagingLibraryStart, nullptr },
} };

void Notify(const StartupObserver& observer, StartupStage stage)
{
    if (observer)
        observer(stage);
}

} // namespace

std::span<const ModuleSteps> ProgramModules()
{
    return kProgramModules;
}

void RunStartSteps(std::span<const ModuleSteps> modules)
{
    for (const ModuleSteps& module : modules)
        if (module.start)
            module.start();
}

void RunEndSteps(std::span<const ModuleSteps> modules)
{
    // Reverse iterators rather than a reversed view: clang 14's library support cannot build that.
    for (auto module = modules.rbegin(); module != modules.rend(); ++module)
        if (module->end)
            module->end();
}

namespace {

// The application object and the two windows that live for the whole run. Members are destroyed
// in reverse order: the dialog, the main window, then the application object.
class ProgramWindows {
public:
    explicit ProgramWindows(const char* programPath)
        : m_argv { const_cast<char*>(programPath), nullptr }
        , m_application(m_argc, m_argv)
    {
        QApplication::setApplicationDisplayName(u"Paperdart"_s);
        // The desktop matches the windows to the menu entry "paperdart.desktop" and shows its icon,
        // which an installation puts into the icon theme.
        QGuiApplication::setDesktopFileName(u"paperdart"_s);
        QApplication::setWindowIcon(QIcon::fromTheme(u"paperdart"_s));
        // The run ends when the main window closes, not when some last window does.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void Create(const StartupObserver& observer)
    {
        m_mainWindow = std::make_unique<TForm_Paperdart>();
        QObject::connect(m_mainWindow.get(), &TForm_Paperdart::closed, &m_application, &QCoreApplication::quit);
        // Logout or Ctrl+C closes the main window, so the run still ends in order with its "Stop" line.
        QObject::connect(&m_quitSignals, &platform::QuitSignals::quitRequested, m_mainWindow.get(), &QWidget::close);
        Notify(observer, StartupStage::MainWindowCreated);
        m_configDialog = std::make_unique<settings::TForm_MAILConfig>(m_mainWindow.get());
        Notify(observer, StartupStage::ConfigDialogCreated);
    }

    // The event loop shows the main window and runs until it is closed.
    void Run(const StartupObserver& observer)
    {
        QTimer::singleShot(0, &m_application, [&observer] { Notify(observer, StartupStage::LoopRunning); });
        m_mainWindow->show();
        QApplication::exec();
        Notify(observer, StartupStage::LoopEnded);
    }

private:
    // Only the program name reaches the toolkit: the program reads no command-line arguments.
    int m_argc = 1;
    char* m_argv[2];
    // Shows an error that escapes an event handler and goes on.
    ui::TPaperdartApplication m_application;
    platform::QuitSignals m_quitSignals;
    std::unique_ptr<TForm_Paperdart> m_mainWindow;
    std::unique_ptr<settings::TForm_MAILConfig> m_configDialog;
};

} // namespace

int RunProgram(const char* programPath, const StartupObserver& observer)
{
    // Under a file size limit a write past it would kill the program; ignored, the write fails
    // like one on a full disk, and each writer handles that.
    std::signal(SIGXFSZ, SIG_IGN);
    RunStartSteps(ProgramModules());
    platform::wia::CoInitialize();
    scan::InstallDesktopScanning();
    Notify(observer, StartupStage::ModulesStarted);
    {
        ProgramWindows windows(programPath);
        windows.Create(observer);
        windows.Run(observer);
        RunEndSteps(ProgramModules());
        Notify(observer, StartupStage::ModulesEnded);
    }
    Notify(observer, StartupStage::WindowsDestroyed);
    platform::wia::CoUninitialize();
    return 0;
}

} // namespace pd::app
