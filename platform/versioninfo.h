#pragma once

#include <optional>

#include <QString>

namespace pd::platform {

struct FileVersionInfo {
    QString internalName;
    QString fileVersion;
};

// Stand-in for GetFileVersionInfo and VerQueryValue: the version record embedded in an ELF file
// (see versionrecord.h). Empty when the file is missing, is not ELF, or has no record; a key the
// record lacks gives empty text. Never reads more of the file than its headers and the record.
std::optional<FileVersionInfo> GetFileVersionInfo(const QString& path);

} // namespace pd::platform
