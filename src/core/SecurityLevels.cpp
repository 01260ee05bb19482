#include "core/SecurityLevels.h"

#include <stdexcept>
#include <string>

#include "config/Options.h"

namespace sentrel {

std::optional<SecurityLevel> LevelFromValue(int value) {
    if (value < 0 || value >= static_cast<int>(kLevels.size())) return std::nullopt;
    return static_cast<SecurityLevel>(value);
}

namespace {

std::optional<std::size_t> SwitchIndex(std::string_view word) {
    for (std::size_t i = 0; i < kSwitchWords.size(); ++i)
        if (kSwitchWords[i] == word) return i;
    return std::nullopt;
}

}  // namespace

bool MonitorSwitches::operator[](std::string_view word) const {
    const std::optional<std::size_t> index = SwitchIndex(word);
    return index && on[*index];
}

void MonitorSwitches::Set(std::string_view word, bool value) {
    const std::optional<std::size_t> index = SwitchIndex(word);
    if (!index) throw std::invalid_argument("no level switch " + std::string(word));
    on[*index] = value;
}

MonitorSwitches ReadMonitorSwitches(const TOptions& options, SecurityLevel level) {
    MonitorSwitches switches;
    if (level == SecurityLevel::Disabled) return switches;
    const std::string word(kLevels[static_cast<std::size_t>(level)].word);
    // In the order the levels have always read them.
    for (std::size_t i = 0; i < kSwitchWords.size(); ++i)
        switches.on[i] = options.ReadBool(word + std::string(kSwitchWords[i]), false);
    return switches;
}

}  // namespace sentrel
