#include "warnings/AutostartWarning.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

#include "common/SafeDisplayText.h"

namespace sentrel {

AutostartPointWarning::AutostartPointWarning(Change change, std::string pointId, std::string pointName,
                                               RegistryRoot rootKey, std::string key, RegistryView view,
                                               std::string item, bool subKey)
    : TWarning(ShieldWarningKind(kClassName), item),
      What(change),
      PointId(std::move(pointId)),
      PointName(std::move(pointName)),
      RootKey(rootKey),
      Key(std::move(key)),
      View(view),
      Item(std::move(item)),
      SubKey(subKey) {}

bool AutostartPointWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const AutostartPointWarning*>(&other);
    return same && same->What == What && same->PointId == PointId && same->Item == Item &&
           same->Command == Command && same->OldCommand == OldCommand;
}

namespace texts {

namespace {
std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}
}  // namespace

WarningTexts AutostartPointTexts(const TWarning& found) {
    const auto& warning = WarningAs<AutostartPointWarning>(found);
    const std::string point = ShownName(warning.PointName);
    const std::string item = ShownName(warning.Item);
    const std::string name = ShownName(warning.Name);
    const std::string command = ShownPath(warning.Command);
    const std::string named = item.empty() ? std::string() : " " + item;  // a key's default value has no name
    const std::string what = warning.Command.empty() ? std::string() : ": " + command;  // empty data shows nothing
    const std::string oldCommand = Quoted(ShownPath(warning.OldCommand));
    const std::string entry = ShownPath(RootKeyName(warning.RootKey) + "\\" + ViewKeyPath(warning.Key, warning.View) +
                                        "\\" + warning.Item);
    switch (warning.What) {
    case AutostartPointWarning::Change::Added:
        if (warning.SubKey) {
            return {.title = warning.KnownProgram ? "Known malicious program" : "New autostart entry",
                    .description = "A new entry " + item + " was added to " + point + what +
                                   ". Click Shield me to remove it or Ignore to permit it.",
                    .picture = warning.KnownProgram ? "bug" : "what",
                    .danger = warning.KnownProgram ? "_red" : "",
                    .backupLine = "Entry " + item + " was deleted from " + point,
                    .identity = entry};
        }
        if (warning.KnownProgram) {
            return {.title = "Known malicious program",
                    .description = "Malicious program is found in " + point + ": " + command + ".",
                    .picture = "bug",
                    .danger = "_red",
                    .backupLine = "Program " + name + " was deleted from " + point,
                    .identity = entry};
        }
        if (!warning.RunsProgram) {
            return {.title = "New setting",
                    .description = "A new setting" + named + " was added to " + point + what +
                                   ". Click Shield me to remove it or Ignore to permit it.",
                    .picture = "what",
                    .backupLine = "Setting" + named + " was deleted from " + point,
                    .identity = entry};
        }
        return {.title = "New autostart entry",
                .description = "Unidentified program " + name + " was added to " + point + ": " + command,
                .picture = "what",
                .backupLine = "Program " + name + " was deleted from " + point,
                .identity = entry};
    case AutostartPointWarning::Change::Changed:
        return {.title = "Startup setting is changed",
                .description = "Important startup setting was changed: " + point + " from " + oldCommand + " to " +
                               Quoted(command) + ". Click Shield me to deny this change or Ignore to permit it.",
                .picture = warning.KnownProgram ? "bug" : "garbage",
                .danger = warning.KnownProgram ? "_red" : "",
                .backupLine = "Startup setting was put back: " + point + " to " + oldCommand,
                .identity = entry};
    case AutostartPointWarning::Change::Vanished:
        break;
    }
    return {.title = "Startup setting is removed",
            .description = "Important startup setting was removed: " + point + " (it was " + oldCommand +
                           "). Click Shield me to put it back or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = "Startup setting was put back: " + point + " to " + oldCommand,
            .identity = entry};
}

}  // namespace texts
}  // namespace sentrel
