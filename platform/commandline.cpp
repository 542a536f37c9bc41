#include "platform/commandline.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace pd::platform {

namespace {

bool IsSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool EscapableInDoubleQuotes(QChar c)
{
    return c == QLatin1Char('$') || c == QLatin1Char('`') || c == QLatin1Char('"') || c == QLatin1Char('\\')
        || c == QLatin1Char('\n');
}

// Characters that need no quoting in a word; everything else is quoted.
bool IsPlainWordCharacter(QChar c)
{
    return c.unicode() >= 0x80 || c.isLetterOrNumber() || QStringView(u"%+,-./:=@_^").contains(c);
}

bool IsExecutableFile(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    struct stat info { };
    return ::stat(bytes.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(bytes.constData(), X_OK) == 0;
}

} // namespace

bool SplitCommandLine(const QString& commandLine, QStringList* words)
{
    words->clear();
    QString word;
    bool inWord = false;
    enum { Plain, Single, Double } mode = Plain;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine[i];
        if (mode == Single) {
            if (c == QLatin1Char('\''))
                mode = Plain;
            else
                word += c;
        } else if (mode == Double) {
            if (c == QLatin1Char('"')) {
                mode = Plain;
            } else if (c == QLatin1Char('\\') && i + 1 < commandLine.size()
                && EscapableInDoubleQuotes(commandLine[i + 1])) {
                if (commandLine[++i] != QLatin1Char('\n'))
                    word += commandLine[i];
            } else {
                word += c;
            }
        } else if (IsSeparator(c)) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('\\') && i + 1 < commandLine.size() && commandLine[i + 1] == QLatin1Char('\n')) {
            // A line continuation: gone without a trace, so it starts no word of its own.
            ++i;
        } else {
            inWord = true;
            if (c == QLatin1Char('\'')) {
                mode = Single;
            } else if (c == QLatin1Char('"')) {
                mode = Double;
            } else if (c == QLatin1Char('\\')) {
                if (++i == commandLine.size())
                    return false;
                word += commandLine[i];
            } else {
                word += c;
            }
        }
    }
    if (mode != Plain)
        return false;
    if (inWord)
        words->append(word);
    return true;
}

QString QuoteCommandLineWord(const QString& word)
{
    bool plain = !word.isEmpty();
    for (const QChar c : word)
        plain = plain && IsPlainWordCharacter(c);
    if (plain)
        return word;
    QString quoted = word;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString DoubleQuoteCommandLineWord(const QString& word)
{
    QString quoted(QLatin1Char('"'));
    for (const QChar c : word) {
        if (c != QLatin1Char('\n') && EscapableInDoubleQuotes(c))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString SearchPath(const QString& name)
{
    if (name.isEmpty())
        return {};
    if (name.contains(QLatin1Char('/'))) {
        const QString absolute = QFileInfo(name).absoluteFilePath();
        return IsExecutableFile(absolute) ? absolute : QString();
    }
    const char* search = std::getenv("PATH");
    const QString entries
        = search != nullptr ? QFile::decodeName(search) : QStringLiteral("/usr/local/bin:/usr/bin:/bin");
    for (const QString& entry : entries.split(QLatin1Char(':'))) {
        if (!entry.startsWith(QLatin1Char('/')))
            continue;
        const QString candidate = (entry.endsWith(QLatin1Char('/')) ? entry : entry + QLatin1Char('/')) + name;
        if (IsExecutableFile(candidate))
            return candidate;
    }
    return {};
}

} // namespace pd::platform
