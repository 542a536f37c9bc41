#include "app/startup.h"

#include "app/paperdartform.h"
#include "logging/log.h"
#include "platform/wia/coinit.h"
#include "scan/imagingsetup.h"
#include "settings/mailconfigform.h"
#include "settings/sharedconfig.h"
#include "ui/translator.h"

#include <QApplication>
#include <QTimer>

#include <array>
#include <memory>
#include <ranges>

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
    for (const ModuleSteps& module : modules | std::views::reverse)
        if (module.end)
            module.end();
}

int RunProgram(const char* programPath, const StartupObserver& observer)
{
    RunStartSteps(ProgramModules());
    platform::CoInitialize();
    Notify(observer, StartupStage::ModulesStarted);

    // Only the program name reaches the toolkit: the program reads no command-line arguments.
    int argc = 1;
    char* argv[] = { const_cast<char*>(programPath), nullptr };
    auto application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationDisplayName(u"Paperdart"_s);
    // The run ends when the main window closes, not when some last window does.
    QApplication::setQuitOnLastWindowClosed(false);

    auto mainWindow = std::make_unique<TForm_Paperdart>();
    QObject::connect(mainWindow.get(), &TForm_Paperdart::closed, application.get(), &QCoreApplication::quit);
    Notify(observer, StartupStage::MainWindowCreated);
    auto configDialog = std::make_unique<settings::TForm_MAILConfig>(mainWindow.get());
    Notify(observer, StartupStage::ConfigDialogCreated);

    QTimer::singleShot(0, application.get(), [&] { Notify(observer, StartupStage::LoopRunning); });
    mainWindow->show();
    QApplication::exec();
    Notify(observer, StartupStage::LoopEnded);

    RunEndSteps(ProgramModules());
    Notify(observer, StartupStage::ModulesEnded);

    configDialog.reset();
    mainWindow.reset();
    application.reset();
    Notify(observer, StartupStage::WindowsDestroyed);
    platform::CoUninitialize();
    return 0;
}

} // namespace pd::app
