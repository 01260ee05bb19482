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

std::vector<BackupValue> AutostartPointFields(const TWarning& found) {
    const auto& warning = WarningAs<AutostartPointWarning>(found);
    std::vector<BackupValue> fields = {
        BackupString("Name", warning.Name),
        BackupString("Point", warning.PointId),
        BackupString("PointName", warning.PointName),
        BackupInteger("RootKey", static_cast<int>(warning.RootKey)),
        BackupString("Key", warning.Key),
        BackupString("View", RegistryViewNumber(warning.View)),
        BackupString("Value", warning.Item),
        BackupString("SubKey", warning.SubKey ? "1" : ""),
        BackupInteger("Change", static_cast<int>(warning.What)),
        BackupString("Command", warning.Command),
        BackupString("Raw", warning.Raw),
        BackupString("OldCommand", warning.OldCommand),
        BackupString("OldRaw", warning.OldRaw),
        BackupString("KnownProgram", warning.KnownProgram ? "1" : ""),
        BackupString("RunsProgram", warning.RunsProgram ? "1" : ""),
    };
    return fields;
}

std::unique_ptr<TWarning> AutostartPointFromFields(const BackupRecord& fields) {
    const int change = fields.GetInteger("Change");
    if (change < 0 || change > static_cast<int>(AutostartPointWarning::Change::Vanished))
        throw std::runtime_error("the request names no change of an autostart point");
    auto warning = std::make_unique<AutostartPointWarning>(
        static_cast<AutostartPointWarning::Change>(change), fields.GetString("Point"), fields.GetString("PointName"),
        static_cast<RegistryRoot>(static_cast<std::uint32_t>(fields.GetInteger("RootKey"))), fields.GetString("Key"),
        RegistryViewFromNumber(fields.GetString("View")), fields.GetString("Value"), fields.GetString("SubKey") == "1");
    warning->Name = fields.GetString("Name");
    warning->Command = fields.GetString("Command");
    warning->Raw = fields.GetString("Raw");
    warning->OldCommand = fields.GetString("OldCommand");
    warning->OldRaw = fields.GetString("OldRaw");
    warning->KnownProgram = fields.GetString("KnownProgram") == "1";
    warning->RunsProgram = fields.GetString("RunsProgram") == "1";
    return warning;
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
    const std::string oldCommand = Quoted(ShownPath(warning.OldCommand));
    const std::string entry = ShownPath(RootKeyName(warning.RootKey) + "\\" + ViewKeyPath(warning.Key, warning.View) +
                                        "\\" + warning.Item);
    switch (warning.What) {
    case AutostartPointWarning::Change::Added:
        if (warning.SubKey) {
            return {.title = warning.KnownProgram ? "Known malicious program" : "New autostart entry",
                    .description = "A new entry " + item + " was added to " + point + ": " + command +
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
                    .description = "A new setting " + item + " was added to " + point + ": " + command +
                                   ". Click Shield me to remove it or Ignore to permit it.",
                    .picture = "what",
                    .backupLine = "Setting " + item + " was deleted from " + point,
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
