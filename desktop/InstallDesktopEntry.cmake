# Install-time step: writes the desktop entry with the path of the installed program and installs
# it (staged installations through DESTDIR included; the entry names the final path).
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
file(WRITE "${PD_DESKTOP_WORK}/paperdart.desktop" "${entry}")
file(INSTALL "${PD_DESKTOP_WORK}/paperdart.desktop" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications")
