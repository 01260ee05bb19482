#pragma once
// The block lists a browser's administrator uses to disable and remove an extension, as values:
// the caller reads the policy from the registry, these give what to write back, and the undo.
//
// Chromium browsers: the key <policy key>\ExtensionInstallBlocklist holds one string value per
// id, named "1", "2", "3", ... Firefox (and Chromium browsers too): the ExtensionSettings policy
// value, a JSON object from extension id to its settings, where {"installation_mode":
// "blocked"} blocks one extension (Firefox also removes it if installed).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// Whether an id is one the browser gives an extension, and so one a block entry may name; anything
// else ("*", a list of ids, quotes) would block more than one extension or break the policy.
// Chromium: exactly 32 letters a to p. Firefox: name@domain (letters, digits, '.', '-', '_'; the
// name may be empty, as Firefox allows) or a GUID in braces, {8-4-4-4-12 hex digits}; at most
// kMaxFirefoxIdLength bytes.
inline constexpr std::size_t kMaxFirefoxIdLength = 255;
bool IsChromiumExtensionId(std::string_view id);
bool IsFirefoxAddonId(std::string_view id);

struct RegistryStringValue {
    std::string name;
    std::string data;
};

// Where to add an id to the values of an ExtensionInstallBlocklist key: the lowest number not
// yet taken (the browser reads the numbered values from 1 on, so the lowest free one is always
// read), or, with `alreadyListed`, the value that lists it already. Nothing for an id that is no
// Chromium extension id.
struct BlocklistPlace {
    std::string valueName;
    bool alreadyListed = false;
};
std::optional<BlocklistPlace> PlaceInBlocklist(const std::vector<RegistryStringValue>& values, std::string_view id);

// The name of the value that lists an id (for the undo), or nothing.
std::optional<std::string> FindInBlocklist(const std::vector<RegistryStringValue>& values, std::string_view id);

// A new ExtensionSettings value. `value` empty with `ok` means: remove the value (nothing is
// left in it). `previousEntry` is the id's own settings before a block (JSON text), kept with the
// backup so that the undo can put them back.
struct ExtensionSettingsChange {
    bool ok = false;
    bool changed = false;
    std::string value;
    std::optional<std::string> previousEntry;
    std::string problem;
};

// Blocks an id in an ExtensionSettings value (empty: no value yet), keeping every other entry
// and the order of all. A value that is not a JSON object is left alone (not ok): the browser
// ignores it, and writing over it would lose what the administrator meant. So is an id that is
// neither a Chromium nor a Firefox id.
ExtensionSettingsChange BlockInExtensionSettings(std::string_view policy, std::string_view id);

// The installation mode ("blocked", "force_installed", ...) an ExtensionSettings value gives one
// id: by the id's own entry, or by an entry whose key lists it among others ("id1,id2", as
// Chromium browsers allow). The "*" entry, for every extension, is not taken. Nothing when no
// entry names the id, gives it no mode, or the value cannot be read.
std::optional<std::string> ExtensionSettingsMode(std::string_view policy, std::string_view id);

// The undo when the value changed since the fix (while it is still what the fix wrote, the
// saved value itself goes back): when the id's entry is still the block, puts back the previous entry or removes
// the entry; when someone changed the entry since, leaves the value as it is (not changed).
ExtensionSettingsChange UnblockInExtensionSettings(std::string_view policy, std::string_view id,
                                                   const std::optional<std::string>& previousEntry);

}  // namespace sentrel
