#include "settings/storesettings.h"

#include <QFileInfo>

#include "platform/folders.h"
#include "platform/text.h"

namespace pd::settings {

TStoreSettings::TStoreSettings(const QString& iniFileName, bool write)
    : m_write(write)
    , m_ini(iniFileName)
{
    platform::ForceDirectories(QFileInfo(iniFileName).path());
}

void TStoreSettings::BindString(
    QString& variable, const QString& section, const QString& key, const QString& defaultValue)
{
    if (m_write)
        m_ini.WriteString(section, key, platform::Trim(variable));
    else
        variable = platform::Trim(m_ini.ReadString(section, key, defaultValue));
}

void TStoreSettings::BindInteger(int& variable, const QString& section, const QString& key, int defaultValue)
{
    if (m_write)
        m_ini.WriteInteger(section, key, variable);
    else
        variable = m_ini.ReadInteger(section, key, defaultValue);
}

} // namespace pd::settings
