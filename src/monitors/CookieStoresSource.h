#pragma once
// The browsers' cookie stores as a source of the autostart monitor: one point per browser
// (Google Chrome, Microsoft Edge, Brave with every profile of their User Data folder, and
// Firefox with every profile of profiles.ini), one entry per tracker domain with cookies in a
// profile's store. A tracker domain new in a store is a finding; one that goes is not.
//
// A store is read again only when its file or its write-ahead log changed (size and time), and
// always off the window thread; until its first reading the point holds nothing to compare. A
// store the browser holds is logged once and read again at the next pass, with no alert.

#include <functional>
#include <memory>
#include <string_view>

#include "monitors/AutostartMonitor.h"
#include "monitors/BrowserExtensionsSource.h"
#include "monitors/StartupSources.h"

namespace sentrel {

class THostLists;

// `trackers` gives the current tracker lists (they change with an update): the cookies read off
// the thread are matched against them back on the window thread, and only the trackers' cookies
// are kept.
// `masked` tells a cookie by the cookie masks of the threat database ("name@host").
std::unique_ptr<AutostartSource> MakeCookieStoresSource(const BrowserDataFolders& folders, AutostartRunner runner,
                                                        std::function<const THostLists&()> trackers,
                                                        std::function<bool(const std::string&)> masked);

}  // namespace sentrel
