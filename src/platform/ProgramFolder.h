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

// The Windows folder and the system folder (e.g. C:\Windows\system32), without a trailing
// backslash. Throw Win32Error when the system cannot tell.
std::string WindowsFolder();
std::string SystemFolder();

// The machine's program files folder (64-bit programs) and its common application data folder,
// without a trailing backslash, as the system keeps them (no user can move them). Throw
// Win32Error when the system cannot tell.
std::string MachineProgramsFolder();
std::string MachineDataFolder();

// `text` with the environment's %names% replaced as Windows does (UTF-8); `text` itself where
// the system cannot.
std::string ExpandEnvironmentNames(const std::string& text);

// The full path of `path` (relative to the current folder, with . and .. resolved); `path`
// itself when the system cannot make one.
std::string FullPathName(const std::string& path);

}  // namespace sentrel::platform
