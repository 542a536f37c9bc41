#pragma once

#include <QString>
#include <QStringList>

namespace pd::platform {

// Splits a command line into words by the shell's quoting rules, without running a shell and
// without any expansion ($, `, *, ~ stay as they are): blanks, tabs and line breaks separate
// words; a backslash outside quotes takes the next character as it is; single quotes keep
// everything up to the next one; inside double quotes a backslash escapes only $ ` " \ and the
// line break. False for an unterminated quote or a trailing backslash.
bool SplitCommandLine(const QString& commandLine, QStringList* words);

// The word unchanged when SplitCommandLine reads it back as one word anyway, else in single
// quotes, so that any text (blanks, quotes, an empty text) arrives whole.
QString QuoteCommandLineWord(const QString& word);

// The word in double quotes, with " ` $ and \ escaped: the quoting a program path followed by
// a quoted document gets, read back whole by SplitCommandLine.
QString DoubleQuoteCommandLineWord(const QString& word);

// Stand-in for SearchPath: the absolute path of the executable regular file of that name in
// the first PATH folder holding one (PATH unset: /usr/local/bin:/usr/bin:/bin), empty when
// there is none. Relative PATH entries are skipped. A name with a "/" is not searched: its
// absolute form is returned when it names an executable regular file.
QString SearchPath(const QString& name);

} // namespace pd::platform
