#pragma once
// Applying a security level (SetOptions): the level is recorded, the shield's own autorun entry
// follows the "Autorun" option, the autorun-key watches accept what they read last, and the
// monitors run or stop by the level's switches. The dispatcher is not part of any level: it
// runs at every level, Disabled included.

#include <functional>
#include <string>

#include "core/SecurityLevels.h"

namespace sentrel {

class TFileChangesTracker;
class TOptions;
class TRegistryWatches;

namespace ui {
class TMainForm;
}

// The value "Sentrel 4" of this key under HKEY_CURRENT_USER starts the shield with Windows.
inline constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "Sentrel 4";

class TShieldLevel {
public:
    struct Monitors {
        TOptions& options;
        ui::TMainForm& mainForm;  // owns the monitor timers
        TFileChangesTracker& fileChanges;
        TRegistryWatches& registryWatches;
        std::string executablePath;  // written as the autorun entry
        // Brings the visible signs of the level up to date (tray hint, label, marks, images);
        // may be empty while there is no main window to show them.
        std::function<void(SecurityLevel)> showLevel;
        // Brings the database lines of the main window up to date; may be empty.
        std::function<void()> showDatabase;
    };

    explicit TShieldLevel(Monitors monitors) : monitors_(std::move(monitors)) {}

    // Applies and records `level` (the stored value: one outside 0 to 4 is recorded but switches
    // nothing). Applying the current level again re-applies it.
    void SetOptions(int level);

    // The level last applied (the stored value as it was given).
    int CurrentLevel() const { return current_; }

private:
    void SyncAutorunEntry();
    void SwitchMonitors(const MonitorSwitches& switches);

    Monitors monitors_;
    int current_ = -1;
};

}  // namespace sentrel
