#pragma once

#include <QString>

namespace pd::util {

// The temporary folder in its long form, with a trailing "/"; worked out anew on each call. A
// missing temporary folder is created (mode 0700); where that fails, or the folder has no long
// form, the result is "/tmp/". Never empty, so names built on it never land in the working folder.
QString GetTempDirectory();

// The long form of an existing path; empty when the path cannot be converted.
QString LongPathName(const QString& path);

// The job folder GetTempDirectory() + name + "/", made private to the user (mode 0700, owned by
// the user, not a symbolic link). Empty when it cannot be created or fails these tests: nothing
// may then be written into it. Every folder the program makes for its job files comes from here.
QString CreatePrivateTempFolder(const QString& name);

} // namespace pd::util
