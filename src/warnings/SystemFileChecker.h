#pragma once
// Where the file-change remedy finds the system file checker, and how it starts it: the Windows
// folder, or its "system" subfolder when "sfc.exe" is there, or the "system32" subfolder of that
// when "sfc.exe" is there (the second test is made on the folder the first one left).

#include <functional>
#include <string>

namespace sentrel {

struct SystemFileCheckerLaunch {
    std::string program;     // folder + "sfc.exe"
    std::string parameters;  // "/scannow" on the NT family, empty on the older systems
};

// `windowsFolder` without a trailing backslash, as the system gives it; `fileExists` tells
// whether a file is there.
SystemFileCheckerLaunch SystemFileCheckerFor(const std::string& windowsFolder, bool ntFamily,
                                             const std::function<bool(const std::string&)>& fileExists);

}  // namespace sentrel
