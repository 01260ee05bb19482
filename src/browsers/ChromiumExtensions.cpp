#include "browsers/ChromiumExtensions.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "browsers/JsonText.h"
#include "common/Files.h"

namespace sentrel {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kMessagePrefix = "__MSG_";
constexpr std::string_view kMessageSuffix = "__";
// Message bytes put into the texts of one manifest at most: a manifest that repeats a long
// message a million times must not make texts of terabytes.
constexpr std::size_t kMaxMessageBytes = 64 * 1024;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool IsMessageKeyCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@';
}

// The messages of one locale by their keys in lower case, read when first needed.
class Messages {
public:
    Messages(const MessagesReader& reader, std::string locale) : reader_(reader), locale_(std::move(locale)) {}

    // Replaces every "__MSG_key__" whose key has a message; the rest of the text stays.
    std::string Resolve(const std::string& text) {
        if (text.find(kMessagePrefix) == std::string::npos) return text;
        std::string resolved;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t start = text.find(kMessagePrefix, at);
            if (start == std::string::npos) break;
            std::size_t keyEnd = start + kMessagePrefix.size();
            while (keyEnd < text.size() && text.compare(keyEnd, kMessageSuffix.size(), kMessageSuffix) != 0 &&
                   IsMessageKeyCharacter(text[keyEnd])) {
                ++keyEnd;
            }
            const bool closed = text.compare(keyEnd, kMessageSuffix.size(), kMessageSuffix) == 0;
            const std::string key = text.substr(start + kMessagePrefix.size(), keyEnd - start - kMessagePrefix.size());
            const std::string* message = closed && !key.empty() ? Find(key) : nullptr;
            if (message && added_ + message->size() > kMaxMessageBytes) message = nullptr;
            if (!message) {
                const std::size_t next = start + kMessagePrefix.size();
                resolved.append(text, at, next - at);
                at = next;
                continue;
            }
            resolved.append(text, at, start - at);
            resolved += *message;
            added_ += message->size();
            at = keyEnd + kMessageSuffix.size();
        }
        resolved.append(text, at, std::string::npos);
        return resolved;
    }

private:
    const std::string* Find(const std::string& key) {
        if (!loaded_) Load();
        const auto found = messages_.find(Lower(key));
        return found == messages_.end() ? nullptr : &found->second;
    }

    void Load() {
        loaded_ = true;
        if (locale_.empty() || !reader_) return;
        const std::optional<std::string> text = reader_(locale_);
        if (!text) return;
        std::string reason;
        const std::optional<Json> json = ParseJson(*text, reason);
        if (!json || !json->is_object()) return;
        for (const auto& [key, entry] : json->items()) {
            const std::string message = StringMember(entry, "message");
            if (!message.empty()) messages_.emplace(Lower(key), message);  // the first of a key wins
        }
    }

    const MessagesReader& reader_;
    std::string locale_;
    bool loaded_ = false;
    std::size_t added_ = 0;  // message bytes put in so far
    std::map<std::string, std::string> messages_;
};

// The order of version folder names ("1.10.2_0" after "1.9.7_0"): each name is a row of tokens,
// a run of digits by its value or one other character, compared token by token. Being a plain
// comparison of rows, it is a strict weak order whatever the names, as sorting needs.
using VersionToken = std::tuple<bool, std::size_t, std::string>;  // is a character, length, text

std::vector<VersionToken> VersionKey(std::string_view name) {
    std::vector<VersionToken> key;
    std::size_t at = 0;
    while (at < name.size()) {
        if (name[at] < '0' || name[at] > '9') {
            key.emplace_back(true, 1, std::string(1, name[at++]));
            continue;
        }
        while (at + 1 < name.size() && name[at] == '0' && name[at + 1] >= '0' && name[at + 1] <= '9') ++at;
        const std::size_t start = at;
        while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
        key.emplace_back(false, at - start, std::string(name.substr(start, at - start)));
    }
    return key;
}

SettingsOverrides ReadOverrides(const Json& manifest, Messages& messages) {
    SettingsOverrides overrides;
    const Json* settings = ObjectMember(manifest, "chrome_settings_overrides");
    if (!settings) return overrides;
    overrides.homePage = messages.Resolve(StringMember(*settings, "homepage"));
    const auto startup = settings->find("startup_pages");
    if (startup != settings->end() && startup->is_array()) {
        for (const Json& page : *startup) {
            if (page.is_string()) overrides.startupPages.push_back(messages.Resolve(page.get<std::string>()));
        }
    }
    if (const Json* search = ObjectMember(*settings, "search_provider")) {
        overrides.searchName = messages.Resolve(StringMember(*search, "name"));
        overrides.searchUrl = messages.Resolve(StringMember(*search, "search_url"));
        const auto isDefault = search->find("is_default");
        overrides.searchIsDefault = isDefault != search->end() && isDefault->is_boolean() && isDefault->get<bool>();
    }
    return overrides;
}

// The messages of a locale of an extension folder: _locales\<locale>\messages.json, the folder
// name compared without regard to case when it is not found as written.
MessagesReader FolderMessages(const std::string& extensionFolder) {
    return [extensionFolder](const std::string& locale) -> std::optional<std::string> {
        if (!IsPlainFileName(locale)) return std::nullopt;
        const std::string locales = JoinPath(extensionFolder, "_locales");
        std::string folder = JoinPath(locales, locale);
        if (!PathIsFolder(folder)) {
            for (const std::string& name : SubfolderNames(locales)) {
                if (EqualsIgnoringCase(name, locale)) folder = JoinPath(locales, name);
            }
        }
        return ReadCappedFile(JoinPath(folder, "messages.json"), kMaxManifestBytes).text;
    };
}

void ReadProfileExtensions(const ChromiumBrowser& browser, const ChromiumProfile& profile, ExtensionList& list) {
    const std::string extensionsFolder = JoinPath(profile.path, "Extensions");
    for (const std::string& id : SubfolderNames(extensionsFolder)) {
        if (id == "Temp") continue;  // where the browser unpacks an extension it installs
        const std::string idFolder = JoinPath(extensionsFolder, id);
        std::vector<std::pair<std::vector<VersionToken>, std::string>> versions;
        for (std::string& name : SubfolderNames(idFolder)) versions.emplace_back(VersionKey(name), std::move(name));
        std::sort(versions.begin(), versions.end());
        // The newest version folder with a manifest (an update can leave the old one behind).
        bool found = false;
        for (auto version = versions.rbegin(); version != versions.rend() && !found; ++version) {
            const std::string& versionName = version->second;
            const std::string folder = JoinPath(idFolder, versionName);
            const std::string manifestPath = JoinPath(folder, "manifest.json");
            const FileRead file = ReadCappedFile(manifestPath, kMaxManifestBytes);
            if (file.missing) continue;
            found = true;
            BrowserExtension extension;
            extension.browser = browser.name;
            extension.profile = profile.displayName;
            extension.profileFolder = profile.path;
            extension.id = id;
            extension.name = id;
            extension.version = versionName;
            extension.path = folder;
            std::string reason = file.reason;
            const std::optional<ExtensionManifest> manifest =
                file.text ? ParseExtensionManifest(*file.text, FolderMessages(folder), reason) : std::nullopt;
            if (manifest) {
                if (!manifest->name.empty()) extension.name = manifest->name;
                if (!manifest->version.empty()) extension.version = manifest->version;
                extension.description = manifest->description;
                extension.overrides = manifest->overrides;
                extension.updateUrl = manifest->updateUrl;
            } else {
                // Still an extension folder: listed under its id, with what could not be read.
                list.problems.push_back({manifestPath, reason});
            }
            list.extensions.push_back(std::move(extension));
        }
    }
}

void ReadProfilesInto(const std::string& userDataFolder, ChromiumProfiles& result) {
    std::map<std::string, std::string> names;  // folder name -> display name
    const std::string localStatePath = JoinPath(userDataFolder, "Local State");
    const FileRead localState = ReadCappedFile(localStatePath, kMaxBrowserStateBytes);
    std::string reason = localState.reason;
    if (const auto listed = localState.text ? ParseLocalStateProfiles(*localState.text, reason) : std::nullopt) {
        // Only plain names: a listed "..\\.." must not take the reader out of the folder.
        for (const auto& [folder, name] : *listed) {
            if (IsPlainFileName(folder)) names.emplace(folder, name);
        }
    } else if (!localState.missing) {
        result.problems.push_back({localStatePath, reason});
    }
    for (const std::string& folder : SubfolderNames(userDataFolder)) {
        const std::string path = JoinPath(userDataFolder, folder);
        const auto listed = names.find(folder);
        if (listed == names.end() && !PathIsFile(JoinPath(path, "Preferences"))) continue;
        const std::string display = listed != names.end() && !listed->second.empty() ? listed->second : folder;
        result.profiles.push_back({folder, display, path});
    }
}

}  // namespace

std::vector<ChromiumBrowser> ChromiumBrowsersUnder(const std::string& localAppData) {
    const auto userData = [&](std::initializer_list<const char*> parts) {
        std::string path = localAppData;
        for (const char* part : parts) path = JoinPath(path, part);
        return path;
    };
    return {
        {"Google Chrome", userData({"Google", "Chrome", "User Data"}), "SOFTWARE\\Policies\\Google\\Chrome"},
        {"Microsoft Edge", userData({"Microsoft", "Edge", "User Data"}), "SOFTWARE\\Policies\\Microsoft\\Edge"},
        {"Brave", userData({"BraveSoftware", "Brave-Browser", "User Data"}),
         "SOFTWARE\\Policies\\BraveSoftware\\Brave"},
    };
}

std::optional<std::vector<std::pair<std::string, std::string>>> ParseLocalStateProfiles(std::string_view text,
                                                                                        std::string& reason) {
    const std::optional<Json> json = ParseJson(text, reason);
    if (!json) return std::nullopt;
    if (!json->is_object()) {
        reason = "is not a JSON object";
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> profiles;
    const Json* profile = ObjectMember(*json, "profile");
    const Json* cache = profile ? ObjectMember(*profile, "info_cache") : nullptr;
    if (!cache) return profiles;
    for (const auto& [folder, info] : cache->items()) profiles.emplace_back(folder, StringMember(info, "name"));
    return profiles;
}

ChromiumProfiles ReadChromiumProfiles(const std::string& userDataFolder) {
    ChromiumProfiles result;
    ReadGuarded(userDataFolder, result.problems, [&] { ReadProfilesInto(userDataFolder, result); });
    return result;
}

std::optional<ExtensionManifest> ParseExtensionManifest(std::string_view manifest, const MessagesReader& messagesOf,
                                                        std::string& reason) {
    const std::optional<Json> json = ParseJson(manifest, reason);
    if (!json) return std::nullopt;
    if (!json->is_object()) {
        reason = "is not a JSON object";
        return std::nullopt;
    }
    ExtensionManifest result;
    result.defaultLocale = StringMember(*json, "default_locale");
    Messages messages(messagesOf, result.defaultLocale);
    result.name = messages.Resolve(StringMember(*json, "name"));
    result.version = StringMember(*json, "version");
    result.updateUrl = StringMember(*json, "update_url");
    result.description = messages.Resolve(StringMember(*json, "description"));
    result.overrides = ReadOverrides(*json, messages);
    return result;
}

ExtensionList ReadChromiumExtensions(const ChromiumBrowser& browser) {
    ExtensionList list;
    if (!PathIsFolder(browser.userDataFolder)) return list;
    ChromiumProfiles profiles = ReadChromiumProfiles(browser.userDataFolder);
    list.problems = std::move(profiles.problems);
    for (const ChromiumProfile& profile : profiles.profiles) {
        ReadGuarded(profile.path, list.problems, [&] { ReadProfileExtensions(browser, profile, list); });
    }
    return list;
}

}  // namespace sentrel
