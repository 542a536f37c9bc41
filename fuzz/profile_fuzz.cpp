// The private-profile reader and writer on arbitrary file bytes: reading never fails, a key that
// is written reads back as the value written (trimmed, without enclosing quotes) wherever the
// file's encoding can hold the names and the value, every other key keeps its value, a name that
// could not read back is refused without touching the file, and no temporary file stays behind.
#include <cstdint>

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

#include "fuzz/fuzzinput.h"
#include "fuzz/fuzztempdir.h"
#include "platform/profile.h"
#include "platform/textfile.h"

namespace {

QString Trimmed(const QString& s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin].unicode() <= 32)
        ++begin;
    while (end > begin && s[end - 1].unicode() <= 32)
        --end;
    return s.mid(begin, end - begin);
}

bool SameName(const QString& a, const QString& b)
{
    return Trimmed(a).compare(Trimmed(b), Qt::CaseInsensitive) == 0;
}

bool HasLineBreak(const QString& s)
{
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n'));
}

bool WritableSection(const QString& section)
{
    return !Trimmed(section).isEmpty() && !HasLineBreak(section) && !section.contains(QLatin1Char(']'));
}

bool WritableKey(const QString& key)
{
    const QString name = Trimmed(key);
    return !name.isEmpty() && !HasLineBreak(key) && !key.contains(QLatin1Char('='))
        && !name.startsWith(QLatin1Char(';')) && !name.startsWith(QLatin1Char('['));
}

// The value as a read gives it back: line breaks were written as blanks, then the reader trims it
// and takes off one pair of enclosing quotes.
QString ValueAsRead(QString value)
{
    value.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    value = Trimmed(value);
    if (value.size() >= 2 && value.front() == value.back()
        && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    return value;
}

bool Survives(const QString& text, pd::platform::TextEncoding encoding)
{
    return pd::platform::DecodeText(pd::platform::EncodeText(text, encoding)).text == text;
}

QStringList FolderEntries(const QString& path)
{
    return QDir(QFileInfo(path).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    pd::fuzz::Input input(data, size);
    static const QString names = QString::fromUtf8("Aab [] =;'\" \t\r\n\x01\xC3\xA4\xE2\x82\xAC\xCE\xA9");
    static const QString values = QString::fromUtf8("Ab1 '\"=[];\t\r\n\x01\xC3\xA4\xE2\x82\xAC\xCE\xA9");
    const int prefix = input.Byte() % 5;
    const QString section = input.Text(names, 8);
    const QString key = input.Text(names, 8);
    const QString value = input.Text(values, 24);
    const QString otherSection = input.Text(names, 8);
    const QString otherKey = input.Text(names, 8);
    static const char* const marks[] = { "", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF" };

    const QString path = pd::fuzz::TempPath(QStringLiteral("profile.ini"));
    QFile::remove(path);
    QByteArray bytes;
    if (prefix < 4) {
        bytes = QByteArray(marks[prefix]) + input.Rest();
        pd::fuzz::PutFile(path, bytes);
    }
    const pd::platform::TextEncoding encoding = pd::platform::DecodeText(bytes).encoding;
    const QString none = QStringLiteral("\x01none");

    const QString before = pd::platform::GetPrivateProfileString(otherSection, otherKey, none, path);
    const bool written = pd::platform::WritePrivateProfileString(section, key, value, path);
    if (!WritableSection(section) || !WritableKey(key)) {
        FUZZ_CHECK(!written);
        FUZZ_CHECK(QFileInfo::exists(path) == (prefix < 4));
        if (prefix < 4)
            FUZZ_CHECK(pd::fuzz::FileBytes(path) == bytes);
        return 0;
    }
    FUZZ_CHECK(written);
    FUZZ_CHECK(FolderEntries(path) == QStringList { QStringLiteral("profile.ini") });
    // A character the file's code page lacks is written as "?", so such a name could stand for
    // another one; the comparisons need what was written to be what was asked for.
    if (!Survives(section, encoding) || !Survives(key, encoding) || !Survives(value, encoding))
        return 0;
    FUZZ_CHECK(pd::platform::GetPrivateProfileString(section, key, none, path) == ValueAsRead(value));
    if (!(SameName(section, otherSection) && SameName(key, otherKey)))
        FUZZ_CHECK(pd::platform::GetPrivateProfileString(otherSection, otherKey, none, path) == before);
    return 0;
}
