#include "browsers/BlockLists.h"

#include <algorithm>
#include <set>

#include "browsers/BrowserFiles.h"
#include "browsers/JsonText.h"

namespace sentrel {
namespace {

using Json = nlohmann::ordered_json;

// A policy value is small; past these it is not one an administrator wrote.
constexpr std::size_t kMaxPolicyBytes = 1u << 20;
constexpr JsonLimits kPolicyLimits{32, 20000};

const Json& BlockedEntry() {
    static const Json entry = {{"installation_mode", "blocked"}};
    return entry;
}

std::string Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::optional<Json> ReadPolicy(std::string_view policy, ExtensionSettingsChange& change) {
    if (policy.size() > kMaxPolicyBytes) {
        change.problem = "the ExtensionSettings value is larger than 1 MB";
        return std::nullopt;
    }
    const std::string text = Trimmed(policy);
    if (text.empty()) return Json::object();
    std::string reason;
    std::optional<Json> json = ParseOrderedJson(text, reason, kPolicyLimits);
    if (json && !json->is_object()) reason = "is not a JSON object";
    if (!json || !json->is_object()) {
        change.problem = "the ExtensionSettings value " + reason;
        return std::nullopt;
    }
    return json;
}

// The value's new text; the dump cannot fail on a tree parsed from valid UTF-8, but an id given
// by the caller might not be.
bool Write(const Json& json, ExtensionSettingsChange& change) {
    try {
        change.value = json.empty() ? std::string() : json.dump();
        change.ok = true;
    } catch (const std::exception&) {
        change.problem = "the extension id is not valid text";
    }
    return change.ok;
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsIdCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
}

}  // namespace

bool IsChromiumExtensionId(std::string_view id) {
    return id.size() == 32 && std::all_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'p'; });
}

bool IsFirefoxAddonId(std::string_view id) {
    if (id.size() > kMaxFirefoxIdLength) return false;
    constexpr std::string_view kGuidShape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (id.size() == kGuidShape.size() && id.front() == '{') {
        for (std::size_t i = 0; i < id.size(); ++i) {
            if (kGuidShape[i] == 'x' ? !IsHexDigit(id[i]) : id[i] != kGuidShape[i]) return false;
        }
        return true;
    }
    const std::size_t at = id.find('@');
    if (at == std::string_view::npos || at + 1 == id.size()) return false;
    const std::string_view name = id.substr(0, at);
    const std::string_view domain = id.substr(at + 1);
    return std::all_of(name.begin(), name.end(), IsIdCharacter) &&
           std::all_of(domain.begin(), domain.end(), IsIdCharacter);
}

std::optional<BlocklistPlace> PlaceInBlocklist(const std::vector<RegistryStringValue>& values, std::string_view id) {
    if (!IsChromiumExtensionId(id)) return std::nullopt;
    if (auto listed = FindInBlocklist(values, id)) return BlocklistPlace{*listed, true};
    std::set<std::string> taken;
    for (const RegistryStringValue& value : values) taken.insert(value.name);
    for (unsigned number = 1;; ++number) {
        std::string name = std::to_string(number);
        if (!taken.contains(name)) return BlocklistPlace{std::move(name), false};
    }
}

std::optional<std::string> FindInBlocklist(const std::vector<RegistryStringValue>& values, std::string_view id) {
    for (const RegistryStringValue& value : values) {
        if (EqualsIgnoringCase(Trimmed(value.data), id)) return value.name;
    }
    return std::nullopt;
}

ExtensionSettingsChange BlockInExtensionSettings(std::string_view policy, std::string_view id) {
    ExtensionSettingsChange change;
    if (!IsFirefoxAddonId(id) && !IsChromiumExtensionId(id)) {
        change.problem = "the id is not one a browser gives an extension";
        return change;
    }
    std::optional<Json> json = ReadPolicy(policy, change);
    if (!json) return change;
    const std::string key(id);
    const auto entry = json->find(key);
    if (entry != json->end()) {
        if (*entry == BlockedEntry()) {
            change.ok = true;
            change.value = std::string(policy);
            return change;
        }
        change.previousEntry = entry->dump();
        *entry = BlockedEntry();
    } else {
        (*json)[key] = BlockedEntry();
    }
    change.changed = Write(*json, change);
    if (!change.ok) change.previousEntry.reset();
    return change;
}

std::optional<std::string> ExtensionSettingsMode(std::string_view policy, std::string_view id) {
    ExtensionSettingsChange ignored;
    const std::optional<Json> json = ReadPolicy(policy, ignored);
    if (!json) return std::nullopt;
    const auto names = [&](std::string_view key) {
        for (std::size_t start = 0; start <= key.size();) {
            std::size_t comma = key.find(',', start);
            if (comma == std::string_view::npos) comma = key.size();
            if (EqualsIgnoringCase(Trimmed(key.substr(start, comma - start)), id)) return true;
            start = comma + 1;
        }
        return false;
    };
    // The id's own entry wins over a list that names it too.
    std::optional<std::string> listed;
    for (const auto& [key, entry] : json->items()) {
        if (!entry.is_object() || !names(key)) continue;
        const auto mode = entry.find("installation_mode");
        if (mode == entry.end() || !mode->is_string()) continue;
        if (EqualsIgnoringCase(Trimmed(key), id)) return mode->get<std::string>();
        if (!listed) listed = mode->get<std::string>();
    }
    return listed;
}

ExtensionSettingsChange UnblockInExtensionSettings(std::string_view policy, std::string_view id,
                                                   const std::optional<std::string>& previousEntry) {
    ExtensionSettingsChange change;
    std::optional<Json> json = ReadPolicy(policy, change);
    if (!json) return change;
    const auto entry = json->find(std::string(id));
    if (entry == json->end() || *entry != BlockedEntry()) {
        change.ok = true;
        change.value = std::string(policy);
        return change;
    }
    if (previousEntry) {
        std::string reason;
        std::optional<Json> previous = ParseOrderedJson(*previousEntry, reason, kPolicyLimits);
        if (!previous) {
            change.problem = "the saved entry " + reason;
            return change;
        }
        *entry = std::move(*previous);
    } else {
        json->erase(entry);
    }
    change.changed = Write(*json, change);
    return change;
}

}  // namespace sentrel
