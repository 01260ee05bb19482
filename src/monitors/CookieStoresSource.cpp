#include "monitors/CookieStoresSource.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "browsers/ChromiumExtensions.h"
#include "browsers/CookieStore.h"
#include "browsers/FirefoxProfiles.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/HostLists.h"
#include "warnings/CookieStoreWarning.h"

namespace sentrel {

namespace {

// Size and time of a file, or nothing when it is not there.
std::optional<std::pair<std::uintmax_t, std::int64_t>> StampOf(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error) return std::nullopt;
    const auto time = std::filesystem::last_write_time(file, error);
    if (error) return std::nullopt;
    return std::pair(size, static_cast<std::int64_t>(time.time_since_epoch().count()));
}

std::string FolderName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct StoreFile {
    std::string path;
    std::string profileFolder;  // the last part of the profile's folder: stable across starts
    std::string profile;        // as the browser shows it
};

struct Point {
    std::string id;
    std::string browser;
    CookieStoreKind kind;
    std::string folder;  // User Data, or Firefox's folder
};

// What the last reading of one store found: its stamp (store and log) and the trackers' cookies.
struct StoreState {
    std::optional<std::pair<std::uintmax_t, std::int64_t>> store;
    std::optional<std::pair<std::uintmax_t, std::int64_t>> log;
    std::vector<TrackerCookies> trackers;
    bool read = false;
    bool busyLogged = false;
};

class CookieStoresSource final : public AutostartSource {
public:
    CookieStoresSource(const BrowserDataFolders& folders, AutostartRunner runner,
                       std::function<const THostLists&()> trackers, std::function<bool(const std::string&)> masked)
        : runner_(std::move(runner)), trackers_(std::move(trackers)), masked_(std::move(masked)) {
        if (!folders.local.empty())
            for (const ChromiumBrowser& browser : ChromiumBrowsersUnder(folders.local))
                points_.push_back({"cookies " + browser.name, browser.name, CookieStoreKind::Chromium,
                                   browser.userDataFolder});
        if (!folders.roaming.empty())
            points_.push_back({"cookies Firefox", "Firefox", CookieStoreKind::Firefox,
                               folders.roaming + "\\Mozilla\\Firefox"});
    }

    std::size_t PointCount() const override { return points_.size(); }
    const std::string& PointId(std::size_t point) const override { return points_[point].id; }
    // New tracker domains are findings; those that go or change are not.
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::Files; }
    bool RunsPrograms(std::size_t) const override { return false; }
    std::string AddressesOf(std::size_t, const AutostartFinding&) const override { return {}; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        const Point& point = points_[index];
        const std::vector<StoreFile> stores = StoresOf(point);
        // The stores that changed since their last reading are read again, all of them at once.
        std::vector<StoreFile> stale;
        for (const StoreFile& store : stores) {
            const StoreState& state = states_[store.path];
            if (!state.read || state.store != StampOf(store.path) || state.log != StampOf(store.path + "-wal"))
                stale.push_back(store);
        }
        if (!stale.empty() && !reading_.contains(index)) Start(index, std::move(stale));
        std::vector<AutostartEntry> entries;
        for (const StoreFile& store : stores) {
            const StoreState& state = states_[store.path];
            if (!state.read) return std::nullopt;  // not known yet: nothing to compare
            for (const TrackerCookies& tracker : state.trackers)
                entries.push_back({store.profileFolder + "\\" + tracker.domain,
                                   point.browser + " / " + store.profile + " / " + tracker.domain, {}});
        }
        return entries;
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding, bool) override {
        const Point& point = points_[index];
        for (const StoreFile& store : StoresOf(point)) {
            const StoreState& state = states_[store.path];
            for (const TrackerCookies& tracker : state.trackers) {
                if (finding.entry.item != store.profileFolder + "\\" + tracker.domain) continue;
                auto warning = std::make_unique<CookieStoreWarning>(tracker.domain, tracker.cookies, point.browser,
                                                                    store.profile, store.path, point.kind);
                warning->PointId = point.id;
                return warning;
            }
        }
        return nullptr;
    }

private:
    // The stores of a point's profiles. The profiles are listed again only when the file that
    // lists them (Local State, profiles.ini) changed; whether a profile has a store yet is looked
    // at each time.
    std::vector<StoreFile> StoresOf(const Point& point) {
        const std::string list =
            point.kind == CookieStoreKind::Chromium ? point.folder + "\\Local State" : point.folder + "\\profiles.ini";
        Profiles& profiles = profiles_[point.id];
        if (const auto stamp = StampOf(list); !profiles.listed || stamp != profiles.stamp) {
            profiles = {stamp, true, {}};
            if (point.kind == CookieStoreKind::Chromium) {
                for (const ChromiumProfile& profile : ReadChromiumProfiles(point.folder).profiles)
                    profiles.candidates.push_back({profile.path, profile.folderName, profile.displayName});
            } else {
                for (const FirefoxProfile& profile : ReadFirefoxProfiles(point.folder).profiles)
                    profiles.candidates.push_back({profile.path, FolderName(profile.path), profile.name});
            }
        }
        std::vector<StoreFile> stores;
        for (const StoreFile& profile : profiles.candidates) {
            // Today's Chromium stores are in Network\; older versions kept them in the profile.
            std::string path = point.kind == CookieStoreKind::Chromium ? profile.path + "\\Network\\Cookies"
                                                                       : profile.path + "\\cookies.sqlite";
            if (point.kind == CookieStoreKind::Chromium && !FileExists(path)) path = profile.path + "\\Cookies";
            if (FileExists(path)) stores.push_back({path, profile.profileFolder, profile.profile});
        }
        return stores;
    }

    // Reads the stores off the window thread; their trackers are found back on it.
    void Start(std::size_t index, std::vector<StoreFile> stores) {
        struct Reading {
            StoreFile store;
            std::optional<std::pair<std::uintmax_t, std::int64_t>> stamp, log;
            std::vector<StoredCookie> cookies;
            std::optional<CookieStoreError> error;
        };
        auto readings = std::make_shared<std::vector<Reading>>();
        for (StoreFile& store : stores) readings->push_back({std::move(store), {}, {}, {}, {}});
        const CookieStoreKind kind = points_[index].kind;
        reading_.insert(index);
        auto work = [readings, kind] {
            for (Reading& reading : *readings) {
                // Stamped first: a change while it reads is read again next time.
                reading.stamp = StampOf(reading.store.path);
                reading.log = StampOf(reading.store.path + "-wal");
                try {
                    reading.cookies = ReadCookieStore(reading.store.path, kind);
                } catch (const CookieStoreError& error) {
                    reading.error = error;
                }
                // Opening a store in WAL mode leaves an empty log beside it where there was none:
                // that is no change of the browser's.
                if (!reading.log)
                    if (const auto log = StampOf(reading.store.path + "-wal"); log && log->first == 0) reading.log = log;
            }
        };
        auto finish = [this, index, readings] {
            reading_.erase(index);
            for (Reading& reading : *readings) {
                StoreState& state = states_[reading.store.path];
                if (reading.error) {
                    const bool busy = reading.error->reason() == CookieStoreError::Reason::Busy;
                    if (!busy || !state.busyLogged) LogEvent("cookie store: " + std::string(reading.error->what()));
                    // Held by the browser: what was known stays, and the next pass tries again.
                    // Refused for good (damaged, of an unknown make): known as holding nothing.
                    if (busy) {
                        state.busyLogged = true;
                    } else {
                        state = {reading.stamp, reading.log, {}, true, false};
                    }
                    continue;
                }
                state = {reading.stamp, reading.log, TrackerCookiesOf(reading.cookies, trackers_(), masked_), true, false};
            }
        };
        runner_(std::move(work), std::move(finish));
    }

    AutostartRunner runner_;
    std::function<const THostLists&()> trackers_;
    std::function<bool(const std::string&)> masked_;
    std::vector<Point> points_;
    // The profiles of a point as their list file last gave them (a StoreFile's path is the
    // profile's folder here).
    struct Profiles {
        std::optional<std::pair<std::uintmax_t, std::int64_t>> stamp;
        bool listed = false;
        std::vector<StoreFile> candidates;
    };
    std::map<std::string, Profiles> profiles_;   // by the point's id
    std::map<std::string, StoreState> states_;  // by the store's path
    std::set<std::size_t> reading_;             // points whose stores are being read
};

}  // namespace

std::unique_ptr<AutostartSource> MakeCookieStoresSource(const BrowserDataFolders& folders, AutostartRunner runner,
                                                        std::function<const THostLists&()> trackers,
                                                        std::function<bool(const std::string&)> masked) {
    return std::make_unique<CookieStoresSource>(folders, std::move(runner), std::move(trackers), std::move(masked));
}

}  // namespace sentrel
