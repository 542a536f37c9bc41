#pragma once

#include <QString>

namespace pd::platform {

// Results of FindExecutable besides the shell's: the folder given does not exist.
inline constexpr int SE_ERR_PNF = 3;

// Stand-in for FindExecutable: the program the desktop opens the document with. The document's
// content type comes from "xdg-mime query filetype", its desktop file from "xdg-mime query
// default"; the first word of that file's Exec line, resolved on PATH, is the program. A
// relative file is taken from directory when one is given. Returns a value above 32 (SE_OK)
// and the absolute program path in *result; SE_ERR_FNF (document missing), SE_ERR_PNF (folder
// missing) or SE_ERR_NOASSOC (no type, no program, or the program does not exist) with
// GetLastError() = ENOENT otherwise.
int FindExecutable(const QString& file, const QString& directory, QString* result);

} // namespace pd::platform
