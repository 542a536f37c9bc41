#pragma once

#include <QString>

namespace pd::logging {

// The internal name and file version from a file's version record, both trimmed. True when both
// are non-empty; a file without a record gives false and two empty texts.
bool GetVersionInfo(const QString& file, QString* internalName, QString* fileVersion);

// The file version of the running program file, empty when it has none.
QString GetOwnVersion();

// The workstation's computer name, empty when it cannot be had.
QString GetLocalComputerName();

} // namespace pd::logging
