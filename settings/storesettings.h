#pragma once

#include <QString>

#include "platform/profile.h"

namespace pd::settings {

// Transfers settings variables to or from the keys of one INI file. The direction is chosen once,
// so the same list of Bind calls both loads and saves: reading sets each variable from its key,
// writing stores each variable under its key and leaves the variable as it is.
class TStoreSettings {
public:
    // Creates the folder of the file with all missing parents (a failure shows later, when a
    // write fails) and opens the file. A file too large to be the program's own reads as empty,
    // and the first write starts it anew.
    TStoreSettings(const QString& iniFileName, bool write);

    bool Writing() const { return m_write; }
    const QString& FileName() const { return m_ini.FileName(); }

    // Writing throws pd::platform::Error "In <file> kann nicht geschrieben werden" when the file
    // cannot be written.

    // Text, blanks and control characters removed at both ends in either direction. Reading gives
    // the stored text (at most 2047 characters) or defaultValue when the key is missing.
    void BindString(QString& variable, const QString& section, const QString& key, const QString& defaultValue);
    // Written in decimal; read as decimal or "0x"/"$" hexadecimal, defaultValue when the key is
    // missing or holds no integer.
    void BindInteger(int& variable, const QString& section, const QString& key, int defaultValue);

private:
    // Replaces an oversized file by an empty one before the first write.
    void PrepareWrite();

    bool m_write;
    bool m_oversized;
    platform::IniFile m_ini;
};

} // namespace pd::settings
