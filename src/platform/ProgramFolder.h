#pragma once

#include <string>

namespace sentrel::platform {

// The full path of the running executable.
std::string ExecutablePath();

// The folder of the running executable, with a trailing backslash. Every data file of the
// program is resolved against it.
std::string ProgramFolder();

// The current user's roaming application-data folder as the shell reports it (no trailing
// backslash).
std::string UserAppDataFolder();

}  // namespace sentrel::platform
