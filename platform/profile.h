#pragma once

#include <QString>

namespace pd::platform {

// Private-profile (INI) access with the Windows rules: section and key names are compared
// without regard to case and trimmed; values are trimmed and lose one pair of enclosing quotes
// ("..." or '...'). The file is read with byte-order-mark detection, else in the ANSI code page.

// The value of key in section, or defaultValue when the file, the section or the key is missing.
QString GetPrivateProfileString(
    const QString& section, const QString& key, const QString& defaultValue, const QString& fileName);

// Sets key in section to value. Only that key's line changes; every other line stays. A missing
// key, section or file is created. Lines are written as "[SECTION]" and "key=value", each ended by
// CR LF, in the file's own encoding (a new file in the ANSI code page), replacing the file through a
// temporary file. A CR or LF inside the value is written as a blank, so it cannot start a new line.
// False when the file could not be written.
bool WritePrivateProfileString(
    const QString& section, const QString& key, const QString& value, const QString& fileName);

// Integer conversion of a profile value: text of three or more characters beginning with "0x" or
// "0X" is hexadecimal, text beginning with "$" likewise, other text signed decimal. Hexadecimal
// takes up to eight digits and wraps into the signed range ("$FFFFFFFF" is -1). Anything that is
// not a valid 32-bit integer gives defaultValue.
int ProfileStringToInt(const QString& text, int defaultValue);

// An INI file opened by name, in the manner of the settings binders: reads and writes go
// straight to the file.
class IniFile {
public:
    explicit IniFile(QString fileName);

    const QString& FileName() const { return m_fileName; }

    // Read at most 2047 characters of the value.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;

    // Throw pd::platform::Error "In <file> kann nicht geschrieben werden" when the file cannot be
    // written.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);

private:
    QString m_fileName;
};

} // namespace pd::platform
