#include "monitors/BrowserExtensionsSource.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <map>
#include <utility>
#include <vector>

#include "browsers/ChromiumExtensions.h"
#include "browsers/FirefoxProfiles.h"
#include "common/DiagnosticLog.h"
#include "platform/WideText.h"
#include "warnings/BrowserExtensionWarning.h"

namespace sentrel {

namespace {

std::string KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path))) folder = platform::Utf8FromWide(path);
    CoTaskMemFree(path);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

// The last part of a profile's folder: stable across starts, unlike the name a user can change.
std::string FolderName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class BrowserExtensionsSource final : public AutostartSource {
public:
    explicit BrowserExtensionsSource(const BrowserDataFolders& folders) {
        if (!folders.local.empty()) {
            for (ChromiumBrowser& browser : ChromiumBrowsersUnder(folders.local))
                points_.push_back({"extensions " + browser.name, browser.name, browser.policyKey, false,
                                   std::move(browser), {}, {}});
        }
        if (!folders.roaming.empty()) {
            // The ExtensionSettings value the fix writes is a watched point itself: held meanwhile.
            AutostartPoint settings{.kind = AutostartPointKind::OneValue,
                                    .root = RegistryRoot::CurrentUser,
                                    .path = kFirefoxPolicyKey,
                                    .values = {"ExtensionSettings"}};
            points_.push_back({"extensions Firefox", "Firefox", kFirefoxPolicyKey, true, {},
                               folders.roaming + "\\Mozilla\\Firefox", RegistryPointId(settings, RegistryView::Bits64)});
        }
    }

    std::size_t PointCount() const override { return points_.size(); }
    const std::string& PointId(std::size_t point) const override { return points_[point].id; }
    // New entries are findings; entries that change or go are not.
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::Files; }
    bool RunsPrograms(std::size_t) const override { return false; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Point& point = points_[index];
        try {
            ExtensionList list =
                point.firefox ? ReadFirefoxExtensions(point.firefoxFolder) : ReadChromiumExtensions(point.chromium);
            for (const BrowserReadProblem& problem : list.problems)
                LogEvent("browser extensions: " + problem.path + " " + problem.reason);
            point.read.clear();
            std::vector<AutostartEntry> entries;
            for (BrowserExtension& extension : list.extensions) {
                if (extension.builtIn) continue;  // part of Firefox itself
                std::string item = FolderName(extension.profileFolder) + "\\" + extension.id;
                entries.push_back({item,
                                   extension.browser + " / " + extension.profile + " / " + extension.name + " (" +
                                       extension.id + ")",
                                   {}});
                point.read.emplace(std::move(item), std::move(extension));
            }
            return entries;
        } catch (const std::exception&) {
            LogCaught("browser extensions of " + point.browser);
            return std::nullopt;
        }
    }

    std::string AddressesOf(std::size_t index, const AutostartFinding& finding) const override {
        const Point& point = points_[index];
        const auto found = point.read.find(finding.entry.item);
        if (found == point.read.end()) return {};
        const BrowserExtension& extension = found->second;
        std::string addresses = extension.updateUrl + " " + extension.overrides.homePage + " " + extension.overrides.searchUrl;
        for (const std::string& page : extension.overrides.startupPages) addresses += " " + page;
        return addresses;
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding, bool) override {
        const Point& point = points_[index];
        const auto found = point.read.find(finding.entry.item);
        if (found == point.read.end()) return nullptr;
        const BrowserExtension& extension = found->second;
        auto warning = std::make_unique<BrowserExtensionWarning>(point.browser, extension.profile, extension.name,
                                                                  extension.id, point.policyKey, point.firefox);
        warning->PolicyPointId = point.policyPointId;
        warning->Folder = extension.path;
        return warning;
    }

private:
    struct Point {
        std::string id;
        std::string browser;
        std::string policyKey;
        bool firefox = false;
        ChromiumBrowser chromium;
        std::string firefoxFolder;
        std::string policyPointId;
        // The extensions of the last reading, by entry item: what a finding's warning names.
        std::map<std::string, BrowserExtension> read;
    };
    std::vector<Point> points_;
};

}  // namespace

BrowserDataFolders UserBrowserDataFolders() {
    return {KnownFolder(FOLDERID_LocalAppData), KnownFolder(FOLDERID_RoamingAppData)};
}

std::unique_ptr<AutostartSource> MakeBrowserExtensionsSource(const BrowserDataFolders& folders) {
    return std::make_unique<BrowserExtensionsSource>(folders);
}

}  // namespace sentrel
