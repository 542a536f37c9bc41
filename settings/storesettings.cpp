#include "settings/storesettings.h"

#include <QFileInfo>

#include "platform/folders.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "settings/settingsfiles.h"

namespace pd::settings {

TStoreSettings::TStoreSettings(const QString& iniFileName, bool write)
    : m_write(write)
    , m_oversized(IsOversizedSettingsFile(iniFileName))
    , m_ini(iniFileName)
{
    platform::ForceDirectories(QFileInfo(iniFileName).path());
}

void TStoreSettings::PrepareWrite()
{
    // Through a temporary file like every other write, so the old file is replaced whole or kept;
    // if it cannot be replaced, the key's own write reports the file.
    if (m_oversized && platform::WriteTextFile(m_ini.FileName(), QString()))
        m_oversized = false;
}

void TStoreSettings::BindString(
    QString& variable, const QString& section, const QString& key, const QString& defaultValue)
{
    if (m_write) {
        PrepareWrite();
        m_ini.WriteString(section, key, platform::Trim(variable));
    } else {
        variable = platform::Trim(m_oversized ? defaultValue : m_ini.ReadString(section, key, defaultValue));
    }
}

void TStoreSettings::BindInteger(int& variable, const QString& section, const QString& key, int defaultValue)
{
    if (m_write) {
        PrepareWrite();
        m_ini.WriteInteger(section, key, variable);
    } else {
        variable = m_oversized ? defaultValue : m_ini.ReadInteger(section, key, defaultValue);
    }
}

} // namespace pd::settings
