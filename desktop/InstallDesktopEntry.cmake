# Install-time step: writes the desktop entry with the path of the installed program (a staged
# installation through DESTDIR included: the entry names the final path).
set(program "${CMAKE_INSTALL_PREFIX}/bin/paperdart")

# Exec holds the path as one quoted argument: inside the quotes '"', '`', '$' and '\' take a
# backslash, '%' is doubled (it starts a field code), and the value as a whole doubles every
# backslash, as the desktop entry format wants.
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${program}")
string(REPLACE "%" "%%" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
set(PD_DESKTOP_EXEC "\"${quoted}\"")
string(REPLACE "\\" "\\\\" PD_DESKTOP_TRYEXEC "${program}")

file(READ "${PD_DESKTOP_TEMPLATE}" entry)
string(CONFIGURE "${entry}" entry @ONLY)
# Written straight to its place: a copy in the build tree would belong to whoever installed first
# (root, for a system-wide installation) and stand in the way of the next installation.
set(destination "${CMAKE_INSTALL_PREFIX}/share/applications/paperdart.desktop")
message(STATUS "Installing: $ENV{DESTDIR}${destination}")
file(WRITE "$ENV{DESTDIR}${destination}" "${entry}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
