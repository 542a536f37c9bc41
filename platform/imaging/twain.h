#pragma once

#include <QString>

// The imaging library: page-by-page PDF writing and scanning through the default device, with a
// trace log and an error state of its own. Booleans are 0 or non-zero, as callers pass them.

// Switches the library's own log off (0) or on (non-zero). While on, the library writes its trace
// lines into the log folder set by TWAIN_SetLogFolder.
void TWAIN_LogFile(int enable);

// The folder of the library's own log (with or without a trailing "/").
void TWAIN_SetLogFolder(const QString& folder);
