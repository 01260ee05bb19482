#include "browsers/FirefoxProfiles.h"

#include <algorithm>
#include <mutex>
#include <set>

#include "browsers/JsonText.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"

namespace sentrel {
namespace {

using Json = nlohmann::json;

constexpr const char* kFirefox = "Firefox";

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// A profiles.ini path ("Profiles/abcd.default") in the system's own separators.
std::string NativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', kPathSeparator);
    return path;
}

// The parts of a path with "." and ".." taken out, on the text alone (no link is followed); nothing
// for a path that climbs above its root or has a part Windows would read otherwise (a drive or
// stream after the first part, wildcards, a name of dots and blanks only). The root stays in
// front: "" for each leading separator, and a drive "C:".
std::optional<std::vector<std::string>> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t roots = 0;
    std::size_t start = 0;
    while (start < path.size() && (path[start] == '/' || path[start] == '\\')) {
        parts.emplace_back();
        ++roots;
        ++start;
    }
    for (std::size_t end = start; start <= path.size(); start = end + 1) {
        end = path.find_first_of("/\\", start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        const bool drive = parts.empty() && part.size() == 2 && part[1] == ':';
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.size() <= roots) return std::nullopt;
            parts.pop_back();
            continue;
        }
        if (!drive && (part.find_first_of(":*?\"<>|") != std::string::npos ||
                       part.find_first_not_of(". ") == std::string::npos))
            return std::nullopt;
        parts.push_back(part);
        if (drive) ++roots;
    }
    return parts;
}

// Whether `path` lies below `folder`, the way Windows compares names (case ignored).
bool IsBelow(const std::string& path, const std::string& folder) {
    const auto pathParts = PathParts(path);
    const auto folderParts = PathParts(folder);
    if (!pathParts || !folderParts || pathParts->size() <= folderParts->size()) return false;
    return std::equal(folderParts->begin(), folderParts->end(), pathParts->begin(),
                      [](const std::string& a, const std::string& b) { return EqualsIgnoringCase(a, b); });
}

// Add-ons that come with Firefox itself rather than with the user or a program.
bool IsBuiltInLocation(std::string_view location) {
    return StartsWith(location, "app-builtin") || location == "app-system-defaults" || location == "app-system-addons";
}

bool EndsWithXpi(std::string_view name) {
    return name.size() > 4 && EqualsIgnoringCase(name.substr(name.size() - 4), ".xpi");
}

void ReadProfileAddons(const FirefoxProfile& profile, ExtensionList& list) {
    std::vector<BrowserExtension> addons;
    const std::string jsonPath = JoinPath(profile.path, "extensions.json");
    const FileRead file = ReadCappedFile(jsonPath, kMaxBrowserStateBytes);
    std::string reason = file.reason;
    if (auto parsed = file.text ? ParseExtensionsJson(*file.text, reason) : std::nullopt) {
        addons = std::move(*parsed);
    } else if (!file.missing) {
        list.problems.push_back({jsonPath, reason});
    }
    // The extensions folder: <id>.xpi files and unpacked <id> folders; then its "staged" folder,
    // where add-ons wait to be installed at the next start, in the same two shapes (their <id>.json
    // beside them is Firefox's note about the install). "trash" is Firefox's own working folder.
    const std::string folder = JoinPath(profile.path, "extensions");
    const std::string staged = JoinPath(folder, "staged");
    std::vector<std::pair<std::string, std::string>> found;  // id, path
    for (const std::string& place : {folder, staged}) {
        for (const std::string& name : PlainFileNames(place)) {
            if (EndsWithXpi(name)) found.emplace_back(name.substr(0, name.size() - 4), JoinPath(place, name));
        }
        for (const std::string& name : SubfolderNames(place)) {
            if (place == staged || (name != "staged" && name != "trash")) found.emplace_back(name, JoinPath(place, name));
        }
    }
    for (const auto& [foundId, path] : found) {
        const std::string& id = foundId;  // clang 14 cannot capture a structured binding
        const auto same = [&](const BrowserExtension& addon) { return addon.id == id; };
        if (std::any_of(addons.begin(), addons.end(), same)) continue;
        BrowserExtension addon;
        addon.id = id;
        addon.name = id;
        addon.type = "extension";
        addon.installLocation = "app-profile";
        addon.path = path;
        addons.push_back(std::move(addon));
    }
    for (BrowserExtension& addon : addons) {
        addon.browser = kFirefox;
        addon.profile = profile.name;
        addon.profileFolder = profile.path;
        list.extensions.push_back(std::move(addon));
    }
}

}  // namespace

std::vector<FirefoxProfile> ParseProfilesIni(std::string_view text, const std::string& firefoxFolder,
                                             std::vector<std::string>* outside) {
    const IniText ini = IniText::Parse(text);
    std::vector<FirefoxProfile> profiles;
    const auto add = [&](FirefoxProfile profile) {
        const auto same = [&](const FirefoxProfile& other) { return EqualsIgnoringCase(other.path, profile.path); };
        if (std::none_of(profiles.begin(), profiles.end(), same)) profiles.push_back(std::move(profile));
    };
    const auto wholePath = [&](const std::string& path, bool relative) {
        return relative ? JoinPath(firefoxFolder, NativePath(path)) : NativePath(path);
    };
    // The [Profile*] sections first: they give the names; an installation's profile is one of
    // them, or else one found only there.
    for (const bool installs : {false, true}) {
        for (const std::string& section : ini.SectionNames()) {
            if (!StartsWith(section, installs ? "Install" : "Profile")) continue;
            const std::string path = ini.Get(section, installs ? "Default" : "Path").value_or("");
            if (path.empty()) continue;
            FirefoxProfile profile;
            if (!installs) {
                // Without IsRelative, a path that names no drive or root is taken as relative.
                const std::optional<std::string> isRelative = ini.Get(section, "IsRelative");
                const bool rooted = path.front() == '/' || path.front() == '\\' || (path.size() > 1 && path[1] == ':');
                profile.path = wholePath(path, isRelative ? *isRelative == "1" : !rooted);
                profile.name = ini.Get(section, "Name").value_or("");
                profile.isDefault = ini.Get(section, "Default").value_or("0") == "1";
            } else {
                // An installation's profile is always relative to the Firefox folder.
                profile.path = wholePath(path, true);
                profile.isDefault = true;
            }
            if (!IsBelow(profile.path, firefoxFolder)) {
                if (outside) outside->push_back(profile.path);
                continue;
            }
            if (profile.name.empty()) profile.name = FileNamePart(profile.path);
            add(std::move(profile));
        }
    }
    return profiles;
}

FirefoxProfiles ReadFirefoxProfiles(const std::string& firefoxFolder) {
    FirefoxProfiles result;
    const std::string iniPath = JoinPath(firefoxFolder, "profiles.ini");
    const FileRead file = ReadCappedFile(iniPath, kMaxProfileListBytes);
    if (file.text) {
        std::vector<std::string> outside;
        ReadGuarded(iniPath, result.problems,
                    [&] { result.profiles = ParseProfilesIni(*file.text, firefoxFolder, &outside); });
        // Once a path a run: the profiles are read again at every pass.
        static std::mutex loggedLock;
        static std::set<std::string> logged;
        const std::lock_guard lock(loggedLock);
        for (const std::string& path : outside) {
            if (logged.insert(path).second)
                LogEvent("Firefox profile outside " + firefoxFolder + " not followed: " + path);
        }
    } else if (!file.missing) {
        result.problems.push_back({iniPath, file.reason});
    }
    return result;
}

std::optional<std::vector<BrowserExtension>> ParseExtensionsJson(std::string_view text, std::string& reason) {
    const std::optional<Json> json = ParseJson(text, reason);
    if (!json) return std::nullopt;
    const auto addons = json->find("addons");  // the end for anything but an object
    if (addons == json->end() || !addons->is_array()) {
        reason = "holds no list of add-ons";
        return std::nullopt;
    }
    std::vector<BrowserExtension> result;
    for (const Json& entry : *addons) {
        BrowserExtension addon;
        addon.id = StringMember(entry, "id");
        if (addon.id.empty()) continue;
        if (const Json* locale = ObjectMember(entry, "defaultLocale")) {
            addon.name = StringMember(*locale, "name");
            addon.description = StringMember(*locale, "description");
        }
        if (addon.name.empty()) addon.name = addon.id;
        addon.version = StringMember(entry, "version");
        addon.type = StringMember(entry, "type");
        addon.installLocation = StringMember(entry, "location");
        addon.path = StringMember(entry, "path");
        const auto active = entry.find("active");
        addon.active = active == entry.end() || !active->is_boolean() || active->get<bool>();
        addon.builtIn = IsBuiltInLocation(addon.installLocation);
        result.push_back(std::move(addon));
    }
    return result;
}

ExtensionList ReadFirefoxExtensions(const std::string& firefoxFolder) {
    ExtensionList list;
    if (!PathIsFolder(firefoxFolder)) return list;
    FirefoxProfiles profiles = ReadFirefoxProfiles(firefoxFolder);
    list.problems = std::move(profiles.problems);
    for (const FirefoxProfile& profile : profiles.profiles) {
        ReadGuarded(profile.path, list.problems, [&] { ReadProfileAddons(profile, list); });
    }
    return list;
}

}  // namespace sentrel
