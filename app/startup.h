#pragma once

#include <functional>
#include <span>

#include <QLatin1StringView>

namespace pd::app {

// One module's place in the start-up sequence. Either step may be missing.
struct ModuleSteps {
    QLatin1StringView name;
    void (*start)();
    void (*end)();
};

// The program's modules in start order: log, translator, shared configuration, imaging library.
std::span<const ModuleSteps> ProgramModules();

// Start steps in table order; end steps in reverse table order.
void RunStartSteps(std::span<const ModuleSteps> modules);
void RunEndSteps(std::span<const ModuleSteps> modules);

// Points of the run at which an observer is called, in this order.
enum class StartupStage {
    ModulesStarted, // module start steps done, scanner library up; no window exists
    MainWindowCreated,
    ConfigDialogCreated,
    LoopRunning, // the event loop has started and shown the main window
    LoopEnded,
    ModulesEnded, // end steps done; windows still exist
    WindowsDestroyed,
};
using StartupObserver = std::function<void(StartupStage)>;

// The whole run: module start steps, scanner library, application object, main window, hidden
// configuration dialog, event loop until the main window closes, end steps in reverse order,
// windows, scanner library. Reads no command-line arguments; returns the exit code, 0.
int RunProgram(const char* programPath, const StartupObserver& observer = {});

} // namespace pd::app
