#pragma once

#include <QString>
#include <QStringList>

namespace pd::platform {

// Show commands of ShellExecute; on Linux they are kept as values and have no effect.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;

// Results of 32 and below are failures, as on Windows.
inline constexpr int SE_ERR_FNF = 2;
inline constexpr int SE_ERR_NOASSOC = 31;
inline constexpr int SE_OK = 42;

// How long ShellExecute waits for xdg-open to answer, in milliseconds.
inline constexpr int kShellExecuteWaitMs = 3000;

// Stand-in for ShellExecute with the verb "open" (or an empty verb): runs "xdg-open FILE" as a
// process of its own, without a shell, and waits up to kShellExecuteWaitMs for it. Exit status 0
// gives SE_OK (a value above 32); another exit status, a missing xdg-open or a failed start gives a
// value of 32 or below. An xdg-open that is still running at the bound (it may run the program in
// the foreground when there is no desktop) counts as accepted and is left running, never killed.
// A non-empty directory becomes the working folder of the process. parameters and showCmd have no
// effect. Other verbs give SE_ERR_NOASSOC.
int ShellExecute(const QString& verb, const QString& file, const QString& parameters = {},
    const QString& directory = {}, int showCmd = SW_SHOWNORMAL);

// Starts arguments[0] (searched on PATH when it holds no "/") with the whole list as its argument
// vector, without a shell, and judges it by the rule of ShellExecute: SE_OK for exit status 0 or
// a program still running after kShellExecuteWaitMs (left running, never killed); 32 or below
// for a program not found (SE_ERR_FNF), one that cannot be started, another exit status or a
// signal. A non-empty directory becomes the working folder.
int StartAndJudge(const QStringList& arguments, const QString& directory = {});

} // namespace pd::platform
