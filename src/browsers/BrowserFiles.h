#pragma once
// What the browser readers share: the files they read whole, each under a size cap, the folders
// they list, and the form of their answers. Paths and names are UTF-8 on every system. A reader
// never throws for what it finds on disk: a missing, damaged, hostile or oversized file gives
// nothing from that file and a problem naming it and saying why.

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// Caps on the files read whole. A reader holds the file's text and, for JSON, a tree several
// times its size, in a program that stays resident, so each cap is far above what a browser
// writes (a manifest or its messages take kilobytes, Local State and prefs.js rarely more than a
// few megabytes, extensions.json about 20 KB an add-on) and far below what would hurt.
inline constexpr std::size_t kMaxManifestBytes = 4u << 20;        // manifest.json, messages.json
inline constexpr std::size_t kMaxProfileListBytes = 1u << 20;     // profiles.ini
inline constexpr std::size_t kMaxBrowserStateBytes = 32u << 20;   // Local State, extensions.json
inline constexpr std::size_t kMaxPrefsBytes = 16u << 20;          // prefs.js, user.js

// A file or folder a reader could not use, and why.
struct BrowserReadProblem {
    std::string path;
    std::string reason;
};

// What a browser tells of how an extension changes its own settings (the manifest's
// chrome_settings_overrides): the way an extension takes the home page, the start pages or the
// search engine without any policy.
struct SettingsOverrides {
    std::string homePage;
    std::vector<std::string> startupPages;
    std::string searchName;
    std::string searchUrl;
    bool searchIsDefault = false;

    bool Empty() const { return homePage.empty() && startupPages.empty() && searchUrl.empty() && searchName.empty(); }
};

// One installed extension (or Firefox add-on) of one profile.
struct BrowserExtension {
    std::string browser;        // "Google Chrome", "Microsoft Edge", "Brave", "Firefox"
    std::string profile;        // the profile's name as the browser shows it
    std::string profileFolder;  // its folder: tells apart profiles of one name
    std::string id;
    std::string name;           // in the extension's default language; the id when it gives none
    std::string version;
    std::string description;
    std::string path;           // its folder or file
    std::string updateUrl;      // Chromium: the manifest's update_url, where it takes new versions from
    SettingsOverrides overrides;
    // Firefox only: the add-on's type ("extension", "theme", "dictionary", "locale"), where it
    // was installed from ("app-profile", "app-system-user", ...), whether it runs, and whether
    // it is part of Firefox itself (built in, or a system add-on of the installation).
    std::string type;
    std::string installLocation;
    bool active = true;
    bool builtIn = false;
};

struct ExtensionList {
    std::vector<BrowserExtension> extensions;
    std::vector<BrowserReadProblem> problems;
};

// The bytes of a file, or nothing and why (missing, unreadable, larger than the cap).
struct FileRead {
    std::optional<std::string> text;
    bool missing = false;  // the file does not exist: often no problem at all
    std::string reason;
};
FileRead ReadCappedFile(const std::string& path, std::size_t maxBytes);

// The names of the folders (or of the plain files) in a folder, sorted; empty when it cannot be
// listed.
std::vector<std::string> SubfolderNames(const std::string& folder);
std::vector<std::string> PlainFileNames(const std::string& folder);

bool PathIsFolder(const std::string& path);
bool PathIsFile(const std::string& path);

// Runs one step of a reader (one profile, one file): an exception (memory running out, a surprise
// of a library) becomes a problem of that path, and the reader goes on with the next step.
template <class Step>
void ReadGuarded(const std::string& path, std::vector<BrowserReadProblem>& problems, Step&& step) {
    try {
        step();
    } catch (const std::exception& error) {
        problems.push_back({path, std::string("could not be read: ") + error.what()});
    }
}

// ASCII case-insensitive comparison (extension ids, message keys, locale names).
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace sentrel
