#pragma once
// Firefox's profiles and add-ons, read from its folder in the user's roaming application data
// (%APPDATA%\Mozilla\Firefox): profiles.ini (paths relative to that folder or absolute, inside it), and in
// each profile extensions.json, with the files of the profile's extensions folder for the
// add-ons it does not list (a damaged extensions.json, or an add-on dropped there for Firefox
// to pick up at its next start).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/BrowserFiles.h"

namespace sentrel {

// Where the Firefox policies live in the registry (under either root).
inline constexpr const char* kFirefoxPolicyKey = "SOFTWARE\\Policies\\Mozilla\\Firefox";

struct FirefoxProfile {
    std::string name;
    std::string path;
    bool isDefault = false;
};

struct FirefoxProfiles {
    std::vector<FirefoxProfile> profiles;
    std::vector<BrowserReadProblem> problems;
};

// The profiles of a profiles.ini text: its [Profile*] sections and the profiles its [Install*]
// sections name, each once, with paths made whole against the Firefox folder. A path that leads
// out of the Firefox folder (by "..", or absolute) is not followed: the shield would otherwise
// read, and its fixes write, wherever a hostile profiles.ini points. Such paths, made whole, go to
// `outside` when given.
std::vector<FirefoxProfile> ParseProfilesIni(std::string_view text, const std::string& firefoxFolder,
                                             std::vector<std::string>* outside = nullptr);

FirefoxProfiles ReadFirefoxProfiles(const std::string& firefoxFolder);

// The add-ons of an extensions.json text (id, name and description in the default language,
// version, type, install location, active), or nothing and why. Browser and profile are left
// to the caller.
std::optional<std::vector<BrowserExtension>> ParseExtensionsJson(std::string_view text, std::string& reason);

// Every add-on of every profile. No Firefox folder gives an empty list without problems.
ExtensionList ReadFirefoxExtensions(const std::string& firefoxFolder);

}  // namespace sentrel
