#include "platform/profile.h"

#include <cstdint>
#include <limits>
#include <optional>

#include <QFileInfo>
#include <QStringList>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/textfile.h"

namespace pd::platform {

namespace {

constexpr qsizetype kMaxIniFileValue = 2047;

struct IniText {
    QStringList lines;
    TextEncoding encoding = TextEncoding::Ansi;
};

struct KeyLine {
    QString key;
    QString value;
};

// The name of a section line, nothing for any other line.
std::optional<QString> SectionName(const QString& line)
{
    const QString trimmed = Trim(line);
    if (!trimmed.startsWith(QLatin1Char('[')))
        return std::nullopt;
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    return Trim(trimmed.mid(1, close < 0 ? -1 : close - 1));
}

std::optional<KeyLine> ParseKeyLine(const QString& line)
{
    const QString trimmed = TrimLeft(line);
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (equals < 0 || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('[')))
        return std::nullopt;
    return KeyLine { Trim(trimmed.left(equals)), Trim(trimmed.mid(equals + 1)) };
}

bool SameName(const QString& a, const QString& b)
{
    return Trim(a).compare(Trim(b), Qt::CaseInsensitive) == 0;
}

QString Unquoted(const QString& value)
{
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

// Index of the first header line of the section, -1 when there is none.
qsizetype FindSection(const QStringList& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const std::optional<QString> name = SectionName(lines[i]);
        if (name && SameName(*name, section))
            return i;
    }
    return -1;
}

// One past the last line of the section whose header is at headerIndex.
qsizetype SectionEnd(const QStringList& lines, qsizetype headerIndex)
{
    qsizetype i = headerIndex + 1;
    while (i < lines.size() && !SectionName(lines[i]))
        ++i;
    return i;
}

// Index of the key's first line in the section, -1 when it has none.
qsizetype FindKey(const QStringList& lines, qsizetype headerIndex, const QString& key)
{
    const qsizetype end = SectionEnd(lines, headerIndex);
    for (qsizetype i = headerIndex + 1; i < end; ++i) {
        const std::optional<KeyLine> entry = ParseKeyLine(lines[i]);
        if (entry && SameName(entry->key, key))
            return i;
    }
    return -1;
}

// Where a new key goes: after the section's last key line, else right after its header.
qsizetype InsertionPoint(const QStringList& lines, qsizetype headerIndex)
{
    qsizetype point = headerIndex + 1;
    const qsizetype end = SectionEnd(lines, headerIndex);
    for (qsizetype i = headerIndex + 1; i < end; ++i) {
        if (ParseKeyLine(lines[i]))
            point = i + 1;
    }
    return point;
}

// A missing file reads as empty; an existing one that cannot be read is an error, so that writing
// never replaces content it did not see.
std::optional<IniText> LoadForWriting(const QString& fileName)
{
    if (!QFileInfo::exists(fileName))
        return IniText {};
    std::optional<DecodedText> decoded = ReadTextFile(fileName);
    if (!decoded)
        return std::nullopt;
    return IniText { SplitLines(decoded->text), decoded->encoding };
}

// Names that would not read back as what was written are refused. A line break is looked for in
// the whole name: the name is written as given, and one among the blanks around it would split
// its line in two.
bool IsWritableName(const QString& name, const QString& forbidden)
{
    if (Trim(name).isEmpty())
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || forbidden.contains(c))
            return false;
    }
    return true;
}

bool IsWritableKey(const QString& key)
{
    const QString trimmed = Trim(key);
    return IsWritableName(key, QStringLiteral("="))
        && !(trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('[')));
}

void SetValue(QStringList& lines, const QString& section, const QString& key, const QString& value)
{
    QString cleanValue = value;
    cleanValue.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString keyLine = key + QLatin1Char('=') + cleanValue;
    const qsizetype header = FindSection(lines, section);
    if (header < 0) {
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(keyLine);
        return;
    }
    const qsizetype found = FindKey(lines, header, key);
    if (found >= 0)
        lines[found] = keyLine;
    else
        lines.insert(InsertionPoint(lines, header), keyLine);
}

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Up to eight hexadecimal digits, wrapped into the signed range.
std::optional<int> ParseHex(const QString& digits)
{
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const QChar c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(value);
}

std::optional<int> ParseDecimal(const QString& text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = (negative || text.startsWith(QLatin1Char('+'))) ? text.mid(1) : text;
    if (digits.isEmpty())
        return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::int64_t(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace

QString GetPrivateProfileString(
    const QString& section, const QString& key, const QString& defaultValue, const QString& fileName)
{
    const std::optional<DecodedText> decoded = ReadTextFile(fileName);
    if (!decoded)
        return defaultValue;
    const QStringList lines = SplitLines(decoded->text);
    const qsizetype header = FindSection(lines, section);
    if (header < 0)
        return defaultValue;
    const qsizetype found = FindKey(lines, header, key);
    if (found < 0)
        return defaultValue;
    return Unquoted(ParseKeyLine(lines[found])->value);
}

bool WritePrivateProfileString(
    const QString& section, const QString& key, const QString& value, const QString& fileName)
{
    if (!IsWritableName(section, QStringLiteral("]")) || !IsWritableKey(key))
        return false;
    std::optional<IniText> ini = LoadForWriting(fileName);
    if (!ini)
        return false;
    SetValue(ini->lines, section, key, value);
    const QString text = ini->lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    return WriteTextFile(fileName, text, ini->encoding);
}

int ProfileStringToInt(const QString& text, int defaultValue)
{
    const QString trimmed = Trim(text);
    std::optional<int> value;
    if (trimmed.size() >= 3 && (trimmed.startsWith(QLatin1String("0x")) || trimmed.startsWith(QLatin1String("0X"))))
        value = ParseHex(trimmed.mid(2));
    else if (trimmed.startsWith(QLatin1Char('$')))
        value = ParseHex(trimmed.mid(1));
    else
        value = ParseDecimal(trimmed);
    return value.value_or(defaultValue);
}

IniFile::IniFile(QString fileName)
    : m_fileName(std::move(fileName))
{
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    return GetPrivateProfileString(section, key, defaultValue, m_fileName).left(kMaxIniFileValue);
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    return ProfileStringToInt(ReadString(section, key, QString()), defaultValue);
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!WritePrivateProfileString(section, key, value, m_fileName))
        throw Error(QStringLiteral("In %1 kann nicht geschrieben werden").arg(m_fileName));
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

} // namespace pd::platform
