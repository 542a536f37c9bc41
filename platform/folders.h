#pragma once

#include <QString>

namespace pd::platform {

// Stand-in for GetModuleFileName: the absolute path of the running program file
// (/proc/self/exe), or the path set by OverrideModuleFileName.
QString GetModuleFileName();

// Tests point the program file, and with it the program folder, at a folder of their own.
// An empty path ends the override.
void OverrideModuleFileName(const QString& path);

// Folder of the running program file, with a trailing "/".
QString ProgramFolderOfModule();

// CSIDL numbers the program asks for.
inline constexpr int CSIDL_LOCAL_APPDATA = 28;

// Stand-in for SHGetFolderPath: 0 and the folder (without trailing "/") in *path on success, a
// negative value and empty text otherwise. CSIDL 28 is the user's configuration folder
// (XDG_CONFIG_HOME, default ~/.config); other numbers are not known here and fail.
int SHGetFolderPath(int csidl, QString* path);

// Stand-in for GetTempPath: TMPDIR when set to an absolute path, else the user's cache folder
// (XDG_CACHE_HOME, default ~/.cache, created with mode 0700 when missing). Always ends with "/".
// The folder may not exist.
QString GetTempPath();

// Stand-in for GetLongPathName: the canonical form of an existing path (symbolic links and "."
// / ".." resolved); a trailing "/" of the input is kept. Empty when the path does not exist.
QString GetLongPathName(const QString& path);

// The user's state folder (XDG_STATE_HOME, default ~/.local/state), without trailing "/".
QString UserStateFolder();

// Creates a folder with all missing parents (new folders get mode 0777 less the umask). True when
// the folder exists afterwards.
bool ForceDirectories(const QString& path);

// Makes path a folder private to the user: created with mode 0700 when missing (its parent must
// exist); an existing one must be a real folder (not a symbolic link) owned by the effective
// user, and is set to mode 0700. False when it cannot be created or fails these tests; nothing
// should then be written into it.
bool CreatePrivateDirectory(const QString& path);

} // namespace pd::platform
