#include "warnings/AutostartWarning.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

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
    const std::string& point = warning.PointName;
    switch (warning.What) {
    case AutostartPointWarning::Change::Added:
        if (warning.SubKey) {
            return {.title = warning.KnownProgram ? "Known malicious program" : "New autostart entry",
                    .description = "A new entry " + warning.Item + " was added to " + point + ": " + warning.Command +
                                   ". Click Shield me to remove it or Ignore to permit it.",
                    .picture = warning.KnownProgram ? "bug" : "what",
                    .danger = warning.KnownProgram ? "_red" : "",
                    .backupLine = "Entry " + warning.Item + " was deleted from " + point};
        }
        if (warning.KnownProgram) {
            return {.title = "Known malicious program",
                    .description = "Malicious program is found in " + point + ": " + warning.Command + ".",
                    .picture = "bug",
                    .danger = "_red",
                    .backupLine = "Program " + warning.Name + " was deleted from " + point};
        }
        if (!warning.RunsProgram) {
            return {.title = "New setting",
                    .description = "A new setting " + warning.Item + " was added to " + point + ": " +
                                   warning.Command + ". Click Shield me to remove it or Ignore to permit it.",
                    .picture = "what",
                    .backupLine = "Setting " + warning.Item + " was deleted from " + point};
        }
        return {.title = "New autostart entry",
                .description = "Unidentified program " + warning.Name + " was added to " + point + ": " +
                               warning.Command,
                .picture = "what",
                .backupLine = "Program " + warning.Name + " was deleted from " + point};
    case AutostartPointWarning::Change::Changed:
        return {.title = "Startup setting is changed",
                .description = "Important startup setting was changed: " + point + " from " +
                               Quoted(warning.OldCommand) + " to " + Quoted(warning.Command) +
                               ". Click Shield me to deny this change or Ignore to permit it.",
                .picture = warning.KnownProgram ? "bug" : "garbage",
                .danger = warning.KnownProgram ? "_red" : "",
                .backupLine = "Startup setting was put back: " + point + " to " + Quoted(warning.OldCommand)};
    case AutostartPointWarning::Change::Vanished:
        break;
    }
    return {.title = "Startup setting is removed",
            .description = "Important startup setting was removed: " + point + " (it was " +
                           Quoted(warning.OldCommand) + "). Click Shield me to put it back or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = "Startup setting was put back: " + point + " to " + Quoted(warning.OldCommand)};
}

}  // namespace texts
}  // namespace sentrel
