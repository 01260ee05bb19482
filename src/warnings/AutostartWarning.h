#pragma once
// The warning of the registry autostart points (monitors/AutostartMonitor.h): a value, one value
// or a subkey of a point that was added, changed or removed since the shield last looked.

#include <memory>
#include <string>
#include <vector>
#include <string_view>

#include "warnings/Warning.h"

namespace sentrel {

// A finding at a registry autostart point. Name is the file name of the program the entry runs
// (the item's name when no program can be told). Key is the point's key below RootKey, without
// trailing backslashes, read in View. Item is the value name (a subkey's name when SubKey).
// Command and Raw are the entry as it is now, OldCommand and OldRaw as the shield knew it
// (Changed and Vanished); Raw is "type:hex bytes" of the value.
class AutostartPointWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "AutostartPointWarning";
    enum class Change { Added, Changed, Vanished };

    AutostartPointWarning(Change change, std::string pointId, std::string pointName, RegistryRoot rootKey,
                           std::string key, RegistryView view, std::string item, bool subKey);
    // True for a AutostartPointWarning of the same point, item, change and data.
    bool AreEqual(const TWarning& other) const override;

    Change What;
    std::string PointId;
    std::string PointName;
    RegistryRoot RootKey;
    std::string Key;
    RegistryView View;
    std::string Item;
    bool SubKey;
    std::string Command;
    std::string Raw;
    std::string OldCommand;
    std::string OldRaw;
    bool KnownProgram = false;
    // The entry is a command (false: a setting of an application's policy, such as a web address).
    bool RunsProgram = true;
};

namespace texts {
WarningTexts AutostartPointTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
