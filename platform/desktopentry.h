#pragma once

#include <QString>
#include <QStringList>

namespace pd::platform {

// How long each xdg-mime query may take, in milliseconds.
inline constexpr int kFileTypeQueryMs = 10000;

// The first line "xdg-mime ARGUMENTS" prints, empty when xdg-mime is missing, fails or hangs.
QString QueryXdgMime(const QStringList& arguments);

// The path of the desktop file with that id ("vendor-app.desktop", also found as
// "vendor/app.desktop") in the application folders of XDG_DATA_HOME and XDG_DATA_DIRS; empty
// when there is none.
QString DesktopFilePath(const QString& desktopId);

// The desktop file of the default application of a content type or URI scheme
// ("message/rfc822", "x-scheme-handler/mailto"), as "xdg-mime query default" names it; empty
// when there is none or the file named is missing.
QString DefaultApplication(const QString& mimeType);

// The [Desktop Entry] group of a desktop file, as far as starting the program needs it.
struct DesktopEntry {
    QString path;
    QString name;
    QString icon;
    QStringList exec; // the Exec line split into words, field codes still in it
    bool terminal = false;
};

// Reads a desktop file. False when it cannot be read or has no usable Exec line.
bool ReadDesktopEntry(const QString& path, DesktopEntry* entry);

// The argument vector that starts the entry with the given arguments: they take the place of the
// first file or URL field code (%f %F %u %U), or go to the end when the line has none; later
// file codes vanish, %i becomes "--icon" and the icon, %c the name, %k the desktop file, %% a
// percent sign, and the deprecated codes vanish.
QStringList ExpandExec(const DesktopEntry& entry, const QStringList& arguments);

} // namespace pd::platform
