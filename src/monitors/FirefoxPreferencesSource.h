#pragma once
// Firefox's watched preferences (the home page, what Firefox shows at start, the search engine
// and the proxy) as a source of the autostart monitor: one point, one entry per preference of a
// profile, "<profile folder>\<preference>" with the value in force (user.js wins over prefs.js,
// a later line over an earlier one). A new preference and a new value are findings; one that
// goes is not (Firefox then takes its own default again).

#include <memory>

#include "monitors/AutostartMonitor.h"
#include "monitors/BrowserExtensionsSource.h"

namespace sentrel {

std::unique_ptr<AutostartSource> MakeFirefoxPreferencesSource(const BrowserDataFolders& folders);

}  // namespace sentrel
