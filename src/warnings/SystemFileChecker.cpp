#include "warnings/SystemFileChecker.h"

namespace sentrel {

SystemFileCheckerLaunch SystemFileCheckerFor(const std::string& windowsFolder, bool ntFamily,
                                             const std::function<bool(const std::string&)>& fileExists) {
    std::string base = windowsFolder + "\\";
    if (fileExists(base + "system\\sfc.exe")) base += "system\\";
    if (fileExists(base + "system32\\sfc.exe")) base += "system32\\";
    return {base + "sfc.exe", ntFamily ? "/scannow" : ""};
}

}  // namespace sentrel
