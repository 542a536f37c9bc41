#pragma once

#include <QString>

namespace pd::settings {

// Folder of the running program file, with a trailing "/"; empty outside the module's run.
QString ProgramFolder();

// ProgramFolder() + "config/".
QString ConfigFolder();

// The shared configuration file, ConfigFolder() + "Hollowell.INI". Only ever read.
QString SharedConfigFile();

// Module steps of the start-up sequence. The start sets the folders and reads [LOG] Level of the
// shared configuration file into the log threshold (10 when the file, the key or a valid integer
// is missing); the end clears the folder texts.
void SharedConfigStart();
void SharedConfigEnd();

// One of the current user's special folders by CSIDL number, without a trailing "/"; empty when
// the platform cannot give it. The program asks for CSIDL 28, the local application data.
QString GetSpecialFolder(int csidl);

} // namespace pd::settings
