#pragma once
// The shield's side of applying a security level: the level is recorded, the shield's own
// autorun entry follows the "Autorun" option, the autorun-key watches accept what they read
// last, and the system-folder watcher and the timers of the other monitors run or stop by the
// level's switches. The signs of the level belong to the windows: the options dialog, which owns
// SetOptions, shows them. The dispatcher is not part of any level: it runs at every level,
// Disabled included.

#include <optional>
#include <string>

#include "core/SecurityLevels.h"

namespace sentrel {

class Scheduler;
class TFileChangesTracker;
class TOptions;

// The value "Sentrel 4" of this key under HKEY_CURRENT_USER starts the shield with Windows.
inline constexpr const char* kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kRunValueName = "Sentrel 4";

class TShieldLevel {
public:
    struct Monitors {
        TOptions& options;
        TFileChangesTracker& fileChanges;
        Scheduler& scheduler;        // runs the timer-driven monitors
        std::string executablePath;  // written as the autorun entry
    };

    explicit TShieldLevel(Monitors monitors) : monitors_(std::move(monitors)) {}

    // Records `level` and applies the shield's side of it; the level's switches are returned. A
    // value outside 0 to 4 is recorded but switches nothing (nothing is returned). Applying the
    // current level again re-applies it.
    std::optional<MonitorSwitches> Apply(int level);

    // The level last applied (the stored value as it was given).
    int CurrentLevel() const { return current_; }

private:
    void SyncAutorunEntry();

    Monitors monitors_;
    int current_ = -1;
};

}  // namespace sentrel
