#include "core/SecurityLevels.h"

#include <string>

#include "config/Options.h"

namespace sentrel {

std::optional<SecurityLevel> LevelFromValue(int value) {
    if (value < 0 || value >= static_cast<int>(kLevels.size())) return std::nullopt;
    return static_cast<SecurityLevel>(value);
}

MonitorSwitches ReadMonitorSwitches(const TOptions& options, SecurityLevel level) {
    MonitorSwitches switches;
    if (level == SecurityLevel::Disabled) return switches;
    const std::string word(kLevels[static_cast<std::size_t>(level)].word);
    const auto read = [&](std::string_view monitor) { return options.ReadBool(word + std::string(monitor), false); };
    // In the order the levels have always read them.
    switches.sysDir = read("SysDir");
    switches.autorun = read("Autorun");
    switches.processes = read("Processes");
    switches.regChange = read("RegChange");
    switches.registry = read("Registry");
    switches.cookies = read("Cookies");
    switches.folders = read("Folders");
    return switches;
}

}  // namespace sentrel
