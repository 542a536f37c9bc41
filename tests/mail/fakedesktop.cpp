#include "tests/mail/fakedesktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pd::test {

FakeDesktop::FakeDesktop()
{
    for (const char* folder :
        { "bin", "data/applications", "sysdata", "config", "sysconfig", "home", "tmp", "records" })
        EXPECT_TRUE(QDir().mkpath(File(QLatin1String(folder))));
    const auto set = [this](const char* name, const std::optional<QString>& value) {
        m_env.push_back(std::make_unique<ScopedEnv>(name, value));
    };
    // A generic desktop: xdg-mime reads mimeapps.list instead of asking a desktop's own tools.
    set("XDG_CURRENT_DESKTOP", QStringLiteral("X-Generic"));
    for (const char* name : { "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
             "DESKTOP_SESSION", "XDG_MENU_PREFIX", "DBUS_SESSION_BUS_ADDRESS" })
        set(name, std::nullopt);
    set("XDG_DATA_HOME", File(QStringLiteral("data")));
    set("XDG_DATA_DIRS", File(QStringLiteral("sysdata")));
    set("XDG_CONFIG_HOME", File(QStringLiteral("config")));
    set("XDG_CONFIG_DIRS", File(QStringLiteral("sysconfig")));
    set("HOME", File(QStringLiteral("home")));
    set("TMPDIR", File(QStringLiteral("tmp")));
    set("PATH", File(QStringLiteral("bin")) + QLatin1Char(':') + qEnvironmentVariable("PATH"));
}

QString FakeDesktop::Program(const QString& name, const QByteArray& tail)
{
    const QString path = QFileInfo(name).isAbsolute() ? name : Bin(name);
    const QByteArray records = QFile::encodeName(File(QStringLiteral("records")));
    WriteBytes(path,
        "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + records + "'/\"$(basename \"$0\")\"\necho $$ > '" + records
            + "'/\"$(basename \"$0\").pid\"\n" + tail + "\n");
    EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), 0755), 0);
    return path;
}

QStringList FakeDesktop::Recorded(const QString& name) const
{
    QByteArray bytes = ReadBytes(File(QStringLiteral("records/") + name));
    if (bytes.isEmpty())
        return {};
    bytes.chop(1);
    QStringList arguments;
    for (const QByteArray& argument : bytes.split('\0'))
        arguments << QString::fromUtf8(argument);
    return arguments;
}

bool FakeDesktop::WasStarted(const QString& name) const
{
    return QFileInfo::exists(File(QStringLiteral("records/") + name));
}

void FakeDesktop::ForgetRecords()
{
    QDir records(File(QStringLiteral("records")));
    for (const QString& name : records.entryList(QDir::Files))
        records.remove(name);
}

void FakeDesktop::DesktopFile(const QString& id, const QByteArray& exec, const QByteArray& extraLines)
{
    WriteBytes(File(QStringLiteral("data/applications/") + id),
        "[Desktop Entry]\nType=Application\nName=Mail\nExec=" + exec + "\n" + extraLines
            + "[Desktop Action compose]\nExec=pd-wrong-action\n");
}

void FakeDesktop::Defaults(const QByteArray& lines)
{
    WriteBytes(File(QStringLiteral("config/mimeapps.list")), "[Default Applications]\n" + lines);
}

} // namespace pd::test
