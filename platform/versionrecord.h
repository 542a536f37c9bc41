#pragma once

// The version record of an executable: a section of its own in the ELF file, read back from the
// file by GetFileVersionInfo. It holds a magic text and then key/value pairs, each a
// NUL-terminated text; an empty key ends the list.
#define PD_VERSION_SECTION ".pd_version"
#define PD_VERSION_MAGIC "PDVERSION1"

// Place once in a source file of the executable. Both arguments are string literals.
#define PD_EMBED_VERSION_RECORD(internalName, fileVersion)                                                             \
    extern "C" __attribute__((used, section(PD_VERSION_SECTION))) const char pd_version_record[]                       \
        = PD_VERSION_MAGIC "\0InternalName\0" internalName "\0FileVersion\0" fileVersion "\0";
