#pragma once
// The installed browser extensions as a source of the autostart monitor: one point per browser
// (Google Chrome, Microsoft Edge, Brave with every profile of their User Data folder, and
// Firefox with every profile of profiles.ini), one entry per extension of a profile, shown as
// "browser / profile / name (id)". A new extension is a finding; one that goes, or changes its
// version or name, is not.

#include <memory>
#include <string>

#include "monitors/AutostartMonitor.h"

namespace sentrel {

// Where the browsers keep their profiles: the user's local and roaming application data folders
// as the shell knows them (no trailing backslash; empty when the shell cannot give one).
struct BrowserDataFolders {
    std::string local;    // Chromium browsers' User Data folders are below it
    std::string roaming;  // Firefox's folder (Mozilla\Firefox) is below it
};
BrowserDataFolders UserBrowserDataFolders();

std::unique_ptr<AutostartSource> MakeBrowserExtensionsSource(const BrowserDataFolders& folders);

}  // namespace sentrel
