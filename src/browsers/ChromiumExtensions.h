#pragma once
// The Chromium browsers' profiles and installed extensions, read from their User Data folder:
// the profiles Local State lists and the folders holding a Preferences file, and in each
// profile Extensions\<id>\<version>\manifest.json, with the names the manifest takes from its
// _locales\<default_locale>\messages.json resolved.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browsers/BrowserFiles.h"

namespace sentrel {

struct ChromiumBrowser {
    std::string name;            // "Google Chrome"
    std::string userDataFolder;  // ...\Google\Chrome\User Data
    std::string policyKey;       // SOFTWARE\Policies\Google\Chrome (under either root)
};

// Chrome, Edge and Brave with their User Data folders under the user's local application data
// folder (%LOCALAPPDATA%), whether or not they exist.
std::vector<ChromiumBrowser> ChromiumBrowsersUnder(const std::string& localAppData);

struct ChromiumProfile {
    std::string folderName;   // "Default", "Profile 1"
    std::string displayName;  // from Local State; the folder name when it gives none
    std::string path;
};

struct ChromiumProfiles {
    std::vector<ChromiumProfile> profiles;
    std::vector<BrowserReadProblem> problems;
};

ChromiumProfiles ReadChromiumProfiles(const std::string& userDataFolder);

// The profiles Local State lists: (folder name, display name) pairs, or nothing and why.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseLocalStateProfiles(std::string_view text,
                                                                                        std::string& reason);

struct ExtensionManifest {
    std::string name;
    std::string version;
    std::string description;
    std::string defaultLocale;
    std::string updateUrl;  // where the browser fetches its new versions; empty: the browser's store
    SettingsOverrides overrides;
};

// The text of _locales\<locale>\messages.json, or nothing.
using MessagesReader = std::function<std::optional<std::string>(const std::string& locale)>;

// Reads a manifest.json text. "__MSG_key__" in its texts is replaced by the message of that key
// (compared without regard to case) from the messages of its default_locale; a text whose
// message cannot be found stays as it is. Nothing and a reason for a text that is not a JSON
// object.
std::optional<ExtensionManifest> ParseExtensionManifest(std::string_view manifest, const MessagesReader& messagesOf,
                                                        std::string& reason);

// Every extension of every profile of one browser. A browser that is not installed gives an
// empty list without problems.
ExtensionList ReadChromiumExtensions(const ChromiumBrowser& browser);

}  // namespace sentrel
