#include "monitors/FirefoxPreferencesSource.h"

#include <windows.h>

#include <map>
#include <utility>
#include <vector>

#include "browsers/FirefoxPrefs.h"
#include "browsers/FirefoxProfiles.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/WideText.h"
#include "warnings/BrowserPreferenceWarning.h"

namespace sentrel {

namespace {

constexpr const char* kFirefox = "Firefox";

// A file's size and last write time ("-" when it is missing): what tells that it changed.
std::string FileStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(platform::WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return "-;";
    return std::to_string(data.nFileSizeHigh) + ":" + std::to_string(data.nFileSizeLow) + ":" +
           std::to_string(data.ftLastWriteTime.dwHighDateTime) + ":" + std::to_string(data.ftLastWriteTime.dwLowDateTime) +
           ";";
}

class FirefoxPreferencesSource final : public AutostartSource {
public:
    explicit FirefoxPreferencesSource(const BrowserDataFolders& folders) {
        if (!folders.roaming.empty()) firefoxFolder_ = folders.roaming + "\\Mozilla\\Firefox";
    }

    std::size_t PointCount() const override { return firefoxFolder_.empty() ? 0 : 1; }
    const std::string& PointId(std::size_t) const override { return id_; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::KeyValues; }
    bool RunsPrograms(std::size_t) const override { return false; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t) override {
        try {
            // The files are read again only once one of them changed: a pass comes every few
            // seconds, a preference changes rarely.
            std::string stamp = FileStamp(JoinPath(firefoxFolder_, "profiles.ini"));
            for (const FirefoxProfile& profile : ReadFirefoxProfiles(firefoxFolder_).profiles)
                stamp += FileStamp(JoinPath(profile.path, "prefs.js")) + FileStamp(JoinPath(profile.path, "user.js"));
            if (stamp == stamp_) return entries_;
            FirefoxPrefSettings found = ReadFirefoxPrefSettings(firefoxFolder_);
            for (const BrowserReadProblem& problem : found.problems)
                LogEvent("browser preferences: " + problem.path + " " + problem.reason);
            // prefs.js comes before user.js: the later setting of an item is the one in force.
            std::vector<std::string> order;
            std::map<std::string, FirefoxPrefSetting> settings;
            for (FirefoxPrefSetting& setting : found.settings) {
                std::string item = FileNamePart(setting.profileFolder) + "\\" + setting.line.name;
                if (!settings.contains(item)) order.push_back(item);
                settings.insert_or_assign(std::move(item), std::move(setting));
            }
            std::vector<AutostartEntry> entries;
            for (const std::string& item : order) entries.push_back({item, settings.at(item).line.value, {}});
            read_ = std::move(settings);
            stamp_ = std::move(stamp);
            entries_ = entries;
            return entries;
        } catch (const std::exception&) {
            LogCaught("browser preferences of Firefox");
            return std::nullopt;
        }
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t, const AutostartFinding& finding, bool) override {
        const auto found = read_.find(finding.entry.item);
        if (found == read_.end() || finding.change == AutostartChange::Vanished) return nullptr;
        const FirefoxPrefSetting& setting = found->second;
        auto warning = std::make_unique<BrowserPreferenceWarning>(kFirefox, setting.profile, setting.profileFolder,
                                                                  setting.line.name, setting.line.value,
                                                                  FileNamePart(setting.file), setting.line.kind);
        warning->PointId = id_;
        return warning;
    }

private:
    std::string firefoxFolder_;
    std::string id_ = "preferences Firefox";
    // The settings of the last reading, by entry item: what a finding's warning names.
    std::map<std::string, FirefoxPrefSetting> read_;
    std::string stamp_;  // the files' stamps at that reading, and its entries
    std::vector<AutostartEntry> entries_;
};

}  // namespace

std::unique_ptr<AutostartSource> MakeFirefoxPreferencesSource(const BrowserDataFolders& folders) {
    return std::make_unique<FirefoxPreferencesSource>(folders);
}

}  // namespace sentrel
