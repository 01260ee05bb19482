#pragma once
// The five security levels and the switches through which a level turns the monitors on and
// off. The Low, Medium, High and Custom levels read their switches from the options store every
// time a level is applied (a switch key is level word + monitor word, "MediumAutorun"); Disabled
// has none and turns everything off.

#include <array>
#include <optional>
#include <string_view>

namespace sentrel {

class TOptions;

enum class SecurityLevel : unsigned char { Low = 0, Medium = 1, High = 2, Custom = 3, Disabled = 4 };

inline constexpr const char* kShieldKey = "Shield";
inline constexpr const char* kAutorunKey = "Autorun";

// How a level shows itself: the tray hint, the level label of the main window, the tray menu
// item and the main window's level image.
struct LevelSigns {
    std::string_view word;  // the switch keys' prefix; empty for Disabled
    std::string_view trayHint;
    std::string_view label;
    std::string_view menuItem;
    std::string_view image;
};

inline constexpr std::array<LevelSigns, 5> kLevels = {{
    {"Low", "Sentrel 4: Low Security Level", "Low", "&Low", "small_shield"},
    {"Medium", "Sentrel 4: Medium Security Level", "Medium", "&Medium", "middle_shield"},
    {"High", "Sentrel 4: High Security Level", "High", "&High", "large_shield"},
    {"Custom", "Sentrel 4: Custom Security Level", "Custom", "&Custom", "custom"},
    {"", "Disabled", "Disabled", "&Disabled", "disabled"},
}};

// The level a stored value names, or nothing for a value outside 0 to 4.
std::optional<SecurityLevel> LevelFromValue(int value);

// The monitor words of the level switches (a switch key is level word + monitor word), in the
// order the levels read them and the options dialog shows them. "SysDir" switches the
// system-folder file watcher; each other word is the switch of one timer-driven monitor
// (core/Scheduler.h).
inline constexpr std::array<std::string_view, 7> kSwitchWords = {
    "SysDir", "Autorun", "Processes", "RegChange", "Registry", "Cookies", "Folders"};
inline constexpr std::string_view kSysDirSwitch = "SysDir";

// Which monitors a level runs: one switch per monitor word.
struct MonitorSwitches {
    std::array<bool, kSwitchWords.size()> on{};  // in the order of kSwitchWords

    // The switch of `word`; false for a word no level has.
    bool operator[](std::string_view word) const;
    // Throws std::invalid_argument for a word no level has.
    void Set(std::string_view word, bool value);

    bool operator==(const MonitorSwitches&) const = default;
};

// The switches of `level` as the options store holds them now (a missing key is off); all off
// for Disabled.
MonitorSwitches ReadMonitorSwitches(const TOptions& options, SecurityLevel level);

}  // namespace sentrel
