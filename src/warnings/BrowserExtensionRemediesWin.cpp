// The fix of a new browser extension: its id goes into the block list policy the browser's own
// administration uses, for the current user, and the browser then disables and removes it. The
// profile's files are never touched. Chromium browsers: a numbered string value of
// <policy key>\ExtensionInstallBlocklist; Firefox: the id's entry of the ExtensionSettings value,
// {"installation_mode": "blocked"}. The record keeps what the undo needs to take out exactly that
// block entry: the value's name (Chromium), the value before and after (Firefox), and the first
// key the fix had to create, which the undo deletes again once nothing else is in it.
#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "browsers/BlockLists.h"
#include "browsers/BrowserFiles.h"
#include "common/DiagnosticLog.h"
#include "platform/Registry.h"
#include "platform/Win32Error.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/BrowserExtensionWarning.h"
#include "warnings/RecordKeys.h"
#include "warnings/RegistryFile.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr const char* kBlocklistKeyName = "ExtensionInstallBlocklist";
constexpr const char* kExtensionSettingsName = "ExtensionSettings";

constexpr std::string_view kBrowserKey = "Browser";
constexpr std::string_view kPolicyKeyKey = "PolicyKey";
constexpr std::string_view kIdKey = "Id";
constexpr std::string_view kFirefoxKey = "Firefox";
constexpr std::string_view kValueNameKey = "ValueName";      // Chromium: the numbered value written
constexpr std::string_view kCreatedKeyKey = "CreatedKey";    // the first key the fix created ("" none)
constexpr std::string_view kBeforeKey = "Before";            // Firefox: "type:hex" of the value before ("" none)
constexpr std::string_view kAfterKey = "After";              // Firefox: "type:hex" of the value written
constexpr std::string_view kPreviousEntryKey = "PreviousEntry";  // Firefox: hex of the id's entry before

std::string RawText(const platform::RegistryValue& value) {
    return std::to_string(value.type) + ":" + HexFromBytes(value.data);
}

std::string StringData(const std::string& text) {
    return text + std::string(1, '\0');
}

// The shortest path of `path`'s keys (below HKCU) that does not exist yet; empty when all do.
std::string FirstMissingKey(const std::string& path) {
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!platform::RegistryKey::Open(HKEY_CURRENT_USER, prefix)) return prefix;
        if (end == std::string::npos) return {};
    }
}

// Deletes the keys from `path` up to `created` (a key on its path) while they are empty.
void DeleteCreatedKeys(std::string path, const std::string& created) {
    if (created.empty() || !(path == created || path.starts_with(created + "\\"))) return;
    for (;;) {
        const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, path);
        if (key && (!key->Values().empty() || !key->SubKeyNames().empty())) return;
        if (key) platform::DeleteKeyTree(HKEY_CURRENT_USER, path);
        if (path.size() <= created.size()) return;
        path.erase(path.rfind('\\'));
    }
}

[[noreturn]] void ThrowWriteError(const std::string& what, const platform::Win32Error& error) {
    throw std::runtime_error("Sentrel could not change " + what + " (" + error.what() + "); nothing was changed.");
}

// The installation mode the browser's ExtensionSettings policy (the user's, else the machine's)
// gives the id, by its own entry or a list of ids; nothing when neither names it.
std::optional<std::string> ChromiumSettingsMode(const BrowserExtensionWarning& warning) {
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        const auto key = platform::RegistryKey::Open(root, warning.PolicyKey);
        const auto value = key ? key->ReadValue(kExtensionSettingsName) : std::nullopt;
        if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) continue;
        if (auto mode = ExtensionSettingsMode(platform::StringFromRegistryData(value->data), warning.Id)) return mode;
    }
    return std::nullopt;
}

void BlockInChromium(const BrowserExtensionWarning& warning, FixOutcome& outcome, std::vector<BackupValue> keys) {
    const std::optional<std::string> mode = ChromiumSettingsMode(warning);
    if (mode == "blocked")
        throw ThreatGoneError("The extension " + warning.Id + " is blocked in " + warning.Browser +
                              " by its ExtensionSettings policy already; nothing was changed.");
    // ExtensionSettings wins over the older extension policies, the block list among them.
    if (mode == "force_installed" || mode == "normal_installed")
        outcome.notices.push_back("The ExtensionSettings policy of " + warning.Browser + " installs the extension " +
                                  warning.Id + " and wins over the block list. Remove that policy to take the "
                                  "extension away.");
    const std::string keyPath = warning.PolicyKey + "\\" + kBlocklistKeyName;
    std::vector<RegistryStringValue> values;
    if (const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, keyPath)) {
        for (const platform::RegistryValue& value : key->Values())
            if (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
                values.push_back({value.name, platform::StringFromRegistryData(value.data)});
    }
    const std::optional<BlocklistPlace> found = PlaceInBlocklist(values, warning.Id);
    if (!found) throw std::logic_error("an extension id was not checked before its block");
    const BlocklistPlace& place = *found;
    if (place.alreadyListed)
        throw ThreatGoneError("The extension " + warning.Id + " is blocked in " + warning.Browser +
                              " already; nothing was changed.");
    keys.push_back(BackupString(kValueNameKey, place.valueName));
    keys.push_back(BackupString(kCreatedKeyKey, FirstMissingKey(keyPath)));
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(keys);
    try {
        platform::RegistryKey::Create(HKEY_CURRENT_USER, keyPath).WriteString(place.valueName, warning.Id);
    } catch (const platform::Win32Error& error) {
        ThrowWriteError("the block list of " + warning.Browser, error);
    }
}

void BlockInFirefox(const BrowserExtensionWarning& warning, const WarningWorkerContext& context, FixOutcome& outcome,
                    std::vector<BackupValue> keys) {
    std::optional<platform::RegistryValue> before;
    if (const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, warning.PolicyKey))
        before = key->ReadValue(kExtensionSettingsName);
    if (before && before->type != REG_SZ && before->type != REG_EXPAND_SZ)
        throw std::runtime_error("The ExtensionSettings policy of Firefox is not a text; nothing was changed.");
    const ExtensionSettingsChange change =
        BlockInExtensionSettings(before ? platform::StringFromRegistryData(before->data) : std::string(), warning.Id);
    if (!change.ok)
        throw std::runtime_error("The ExtensionSettings policy of Firefox cannot be read (" + change.problem +
                                 "); nothing was changed.");
    if (!change.changed)
        throw ThreatGoneError("The add-on " + warning.Id + " is blocked in Firefox already; nothing was changed.");
    const platform::RegistryValue after{kExtensionSettingsName, REG_SZ, StringData(change.value)};
    keys.push_back(BackupString(kBeforeKey, before ? RawText(*before) : std::string()));
    keys.push_back(BackupString(kAfterKey, RawText(after)));
    if (change.previousEntry) keys.push_back(BackupString(kPreviousEntryKey, HexFromBytes(*change.previousEntry)));
    keys.push_back(BackupString(kCreatedKeyKey, FirstMissingKey(warning.PolicyKey)));
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(keys);
    const AutostartPointHold hold(context, warning.PolicyPointId);
    try {
        platform::RegistryKey::Create(HKEY_CURRENT_USER, warning.PolicyKey)
            .WriteValue(kExtensionSettingsName, REG_SZ, after.data);
    } catch (const platform::Win32Error& error) {
        ThrowWriteError("the ExtensionSettings policy of Firefox", error);
    }
}

void UnblockInChromium(const BackupRecord& record) {
    const std::string keyPath = record.GetString(kPolicyKeyKey) + "\\" + kBlocklistKeyName;
    const std::string valueName = record.GetString(kValueNameKey);
    if (auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, keyPath, platform::RegistryAccess::ReadWrite)) {
        const std::optional<platform::RegistryValue> value = key->ReadValue(valueName);
        // A value someone else wrote there since is left alone.
        if (value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ) &&
            EqualsIgnoringCase(platform::StringFromRegistryData(value->data), record.GetString(kIdKey)))
            key->DeleteValue(valueName);
    }
    DeleteCreatedKeys(keyPath, record.GetString(kCreatedKeyKey));
}

void UnblockInFirefox(const BackupRecord& record) {
    const std::string keyPath = record.GetString(kPolicyKeyKey);
    auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, keyPath, platform::RegistryAccess::ReadWrite);
    const std::optional<platform::RegistryValue> now = key ? key->ReadValue(kExtensionSettingsName) : std::nullopt;
    if (!now) return DeleteCreatedKeys(keyPath, record.GetString(kCreatedKeyKey));
    if (RawText(*now) == record.GetString(kAfterKey)) {
        // Still what the fix wrote: the value before goes back as it was.
        const std::string before = record.GetString(kBeforeKey);
        const std::size_t colon = before.find(':');
        const std::optional<std::string> bytes =
            colon == std::string::npos ? std::nullopt : BytesFromHex(before.substr(colon + 1));
        if (before.empty()) {
            key->DeleteValue(kExtensionSettingsName);
        } else if (bytes) {
            key->WriteValue(kExtensionSettingsName, static_cast<DWORD>(std::stoul(before.substr(0, colon))), *bytes);
        } else {
            throw std::runtime_error("The saved ExtensionSettings policy of Firefox cannot be read; nothing was restored");
        }
        return DeleteCreatedKeys(keyPath, record.GetString(kCreatedKeyKey));
    }
    // Changed since: only the id's own entry is taken back.
    std::optional<std::string> previous;
    if (const std::string hex = record.GetString(kPreviousEntryKey); !hex.empty()) previous = BytesFromHex(hex);
    const ExtensionSettingsChange change = UnblockInExtensionSettings(
        now->type == REG_SZ || now->type == REG_EXPAND_SZ ? platform::StringFromRegistryData(now->data) : std::string(),
        record.GetString(kIdKey), previous);
    if (!change.ok || !change.changed) return;
    if (change.value.empty())
        key->DeleteValue(kExtensionSettingsName);
    else
        key->WriteValue(kExtensionSettingsName, REG_SZ, StringData(change.value));
}

}  // namespace

namespace remedies {

void FixBrowserExtension(const TWarning& found, const NewBackupResult&, FixOutcome& outcome,
                         const WarningWorkerContext& context) {
    const auto& warning = WarningAs<BrowserExtensionWarning>(found);
    // An id the browser never gives ("*", a list, quotes) would block more than the one extension.
    if (warning.Firefox ? !IsFirefoxAddonId(warning.Id) : !IsChromiumExtensionId(warning.Id))
        throw std::runtime_error("Sentrel cannot block \"" + warning.Id + "\" in " + warning.Browser + ": it is not an id " +
                                 warning.Browser + " gives an extension. Nothing was changed.");
    std::vector<BackupValue> keys = {BackupString(kBrowserKey, warning.Browser),
                                     BackupString(kPolicyKeyKey, warning.PolicyKey), BackupString(kIdKey, warning.Id),
                                     BackupInteger(kFirefoxKey, warning.Firefox ? 1 : 0),
                                     BackupString(kPointKey, warning.PolicyPointId)};
    if (warning.Firefox)
        BlockInFirefox(warning, context, outcome, std::move(keys));
    else
        BlockInChromium(warning, outcome, std::move(keys));
}

void UndoBrowserExtension(const BackupRecord& record, const WarningWorkerContext& context) {
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    try {
        if (record.GetInteger(kFirefoxKey) == 1)
            UnblockInFirefox(record);
        else
            UnblockInChromium(record);
    } catch (const platform::Win32Error& error) {
        throw std::runtime_error("Sentrel could not change the block list of " + record.GetString(kBrowserKey) + " (" +
                                 error.what() + "); nothing was restored.");
    }
}

}  // namespace remedies
}  // namespace sentrel
