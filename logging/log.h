#pragma once

#include <exception>
#include <functional>

#include <QDateTime>
#include <QString>

namespace pd::logging {

// Appends one time-stamped line to the month's log file when level <= LogLevel(). Never raises
// and never blocks: a line that cannot be written is lost, and nothing else is.
void WriteLog(const QString& text, int level);

// WriteLog with "Exception: " before the text.
void WriteLogError(const QString& text, int level);

// For a caught error: context + "- " + full description + " - " + message + "-" + help context.
// Errors of other classes than the program's own count as having their what() as message and
// help context 0.
void WriteLogException(const std::exception& error, const QString& context, int level);

// Folder of the log files, with a trailing "/"; empty before the module start and after its end.
QString LogFolder();

// The level threshold: a line is written when its level is at most this value. 10 at start.
int LogLevel();
void SetLogLevel(int level);

// Module steps of the start-up sequence. The start works out the log folder, the computer name and
// the line prefix and writes the "Startup:" line; the end writes "Stop" and clears them.
void LogModuleStart();
void LogModuleEnd();

// The time source of the log lines; an empty function restores the system clock. For tests.
void SetLogClock(std::function<QDateTime()> clock);

} // namespace pd::logging
