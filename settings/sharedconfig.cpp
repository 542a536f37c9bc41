#include "settings/sharedconfig.h"

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/profile.h"

namespace pd::settings {

namespace {

struct Folders {
    QString program;
    QString config;
};

Folders& State()
{
    static Folders folders;
    return folders;
}

constexpr int kDefaultLogLevel = 10;

} // namespace

QString ProgramFolder()
{
    return State().program;
}

QString ConfigFolder()
{
    return State().config;
}

QString SharedConfigFile()
{
    return State().config.isEmpty() ? QString() : State().config + QStringLiteral("Hollowell.INI");
}

void SharedConfigStart()
{
    State().program = platform::ProgramFolderOfModule();
    State().config = State().program + QStringLiteral("config/");
    const QString level
        = platform::GetPrivateProfileString(QStringLiteral("LOG"), QStringLiteral("Level"), {}, SharedConfigFile());
    logging::SetLogLevel(platform::ProfileStringToInt(level, kDefaultLogLevel));
}

void SharedConfigEnd()
{
    State() = {};
}

QString GetSpecialFolder(int csidl)
{
    QString path;
    if (platform::SHGetFolderPath(csidl, &path) < 0)
        return {};
    return path;
}

} // namespace pd::settings
