#include "core/ShieldLevel.h"

#include <windows.h>

#include "config/Options.h"
#include "core/Scheduler.h"
#include "monitors/FileMonitor.h"
#include "platform/Registry.h"

namespace sentrel {

std::optional<MonitorSwitches> TShieldLevel::Apply(int level) {
    monitors_.options.WriteInteger(kShieldKey, level);
    current_ = level;
    SyncAutorunEntry();

    const std::optional<SecurityLevel> known = LevelFromValue(level);
    // An unknown level is recorded as it is and leaves every monitor as it was.
    if (!known) return std::nullopt;
    const MonitorSwitches switches = ReadMonitorSwitches(monitors_.options, *known);
    const bool sysDir = switches[kSysDirSwitch];
    if (sysDir != monitors_.fileChanges.Active()) monitors_.fileChanges.SetActive(sysDir);
    monitors_.scheduler.ApplySwitches(switches);
    return switches;
}

void TShieldLevel::SyncAutorunEntry() {
    try {
        // The Run key is never created: without it there is nothing to keep in step.
        auto run = platform::RegistryKey::Open(HKEY_CURRENT_USER, kRunKeyPath, platform::RegistryAccess::ReadWrite);
        if (!run) return;
        const bool exists = run->ValueExists(kRunValueName);
        if (monitors_.options.ReadBool(kAutorunKey, false)) {
            // An entry the user (or an earlier install) made stays as it is.
            if (!exists) run->WriteString(kRunValueName, monitors_.executablePath);
        } else if (exists) {
            run->DeleteValue(kRunValueName);
        }
    } catch (const std::exception&) {
        // No access to the Run key (a policy or a security program may refuse it): the level is
        // applied all the same, without a message.
    }
}

}  // namespace sentrel
