#include "monitors/FilePointsSource.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/Sha256.h"
#include "database/Table.h"
#include "monitors/FilePoints.h"
#include "platform/Directory.h"
#include "platform/FolderWatch.h"
#include "platform/KnownFolders.h"
#include "warnings/FilePointWarnings.h"
#include "warnings/StartupWarnings.h"

namespace sentrel {

namespace {

bool IsStartupFolderRow(const AutostartPoint& point) {
    return SameNameIgnoringCase(point.path, "Startup") || SameNameIgnoringCase(point.path, "Common Startup");
}

class FilePointsSource final : public AutostartSource {
public:
    FilePointsSource(const std::vector<AutostartPoint>& points, std::string keptFolder)
        : keptFolder_(std::move(keptFolder)) {
        for (const AutostartPoint& point : points) {
            const bool folder = point.kind == AutostartPointKind::Files;
            if (!(folder && !IsStartupFolderRow(point)) && point.kind != AutostartPointKind::OneFile) continue;
            const std::optional<FilePlace> place = FilePlaceOf(point.path);
            if (!place) continue;  // the table's reader refused it already
            units_.push_back({point, *place, AutostartKindWord(point.kind) + " " + point.path, folder});
        }
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t point) const override {
        return units_[point].folder ? AutostartPointKind::Files : AutostartPointKind::OneFile;
    }
    bool RunsPrograms(std::size_t point) const override { return units_[point].folder; }
    // The shell's folders are asked again once a minute (a user may move Documents).
    void PassStarts() override {
        const ULONGLONG now = GetTickCount64();
        if (now - knownFoldersAt_ < kKnownFoldersLifetimeMs) return;
        knownFolders_.clear();
        knownFoldersAt_ = now;
    }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Unit& unit = units_[index];
        try {
            const std::optional<std::string> path = PathOf(unit.place);
            if (!path) return std::nullopt;
            // Looked at again only once the system reported a change in the folder (of the file).
            const std::string watched = unit.folder ? *path : FolderPart(*path);
            if (!unit.watch || !SameNameIgnoringCase(unit.watched, watched)) {
                unit.watch = std::make_unique<platform::FolderWatch>(watched, false);
                unit.watched = watched;
            }
            if (!unit.watch->Changed() && unit.read && unit.path == *path) return unit.entries;
            const std::optional<platform::TFileStamp> stamp = platform::QueryFileStamp(*path);
            unit.read = true;
            if (unit.path == *path && unit.stamp == stamp) return unit.entries;
            std::vector<AutostartEntry> entries;
            if (stamp && stamp->folder == unit.folder)
                entries = unit.folder ? ListFolder(*path) : std::vector<AutostartEntry>{ReadFile(unit, *path, *stamp)};
            unit.path = *path;
            unit.stamp = stamp;
            unit.entries = entries;
            return entries;
        } catch (const std::exception&) {
            LogCaught("autostart point " + unit.id);
            return std::nullopt;
        }
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding, bool) override {
        const Unit& unit = units_[index];
        if (unit.folder)
            return std::make_unique<StartupFileWarning>(unit.id, unit.point.name, finding.entry.item, finding.entry.data);
        auto warning = std::make_unique<WatchedFileWarning>(unit.id, unit.point.name, finding.entry.item);
        warning->FirstLines = finding.entry.data;
        warning->Sha256 = WatchedFileOfRaw(finding.entry.raw).value_or(WatchedFileState{}).sha256;
        warning->SystemFile = IsSystemPlace(unit.place);
        if (finding.change == AutostartChange::Changed && finding.before) {
            warning->Changed = true;
            warning->OldSha256 = WatchedFileOfRaw(finding.before->raw).value_or(WatchedFileState{}).sha256;
            if (!warning->OldSha256.empty() && FileExists(keptFolder_ + warning->OldSha256))
                warning->KeptCopy = keptFolder_ + warning->OldSha256;
        }
        return warning;
    }

private:
    struct Unit {
        AutostartPoint point;
        FilePlace place;
        std::string id;
        bool folder;
        // The last reading, taken again while the file or folder shows no change.
        std::string path;
        std::optional<platform::TFileStamp> stamp;
        std::vector<AutostartEntry> entries;
        std::unique_ptr<platform::FolderWatch> watch;  // of the folder, or the file's folder
        std::string watched;
        bool read = false;
        std::string digest;          // a file's content now
        std::string previousDigest;  // and before its last change
    };

    std::optional<std::string> PathOf(const FilePlace& place) {
        auto known = knownFolders_.find(place.folder);
        if (known == knownFolders_.end())
            known = knownFolders_.emplace(place.folder, platform::KnownFolderPath(place.folder)).first;
        if (!known->second) return std::nullopt;
        return place.relative.empty() ? *known->second : JoinPath(*known->second, place.relative);
    }

    static std::vector<AutostartEntry> ListFolder(const std::string& folder) {
        std::vector<AutostartEntry> entries;
        for (const platform::TDirectoryEntry& found : platform::ListDirectory(JoinPath(folder, "*"))) {
            if (found.IsFolder() || SameNameIgnoringCase(found.Name, "desktop.ini")) continue;
            const std::string path = JoinPath(folder, found.Name);
            entries.push_back({path, path, {}});
        }
        return entries;
    }

    AutostartEntry ReadFile(Unit& unit, const std::string& path, const platform::TFileStamp& stamp) {
        WatchedFileState state{static_cast<std::int64_t>(stamp.size), stamp.lastWrite, {}};
        std::string shown;
        if (stamp.size <= kWatchedFileReadLimit) {
            const std::string bytes = ReadFileText(path);
            state.size = static_cast<std::int64_t>(bytes.size());
            state.sha256 =
                Sha256Hex(Sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
            shown = FirstLinesShown(bytes);
            if (!IsSystemPlace(unit.place) && bytes.size() <= kKeptCopyLimit) Keep(state.sha256, bytes);
        }
        if (state.sha256 != unit.digest) {
            unit.previousDigest = unit.digest;
            unit.digest = state.sha256;
        }
        return {path, shown, WatchedFileRaw(state)};
    }

    // The content under its digest, written in one step; the oldest copies beyond the limit go.
    void Keep(const std::string& digest, const std::string& bytes) {
        const std::string copy = keptFolder_ + digest;
        if (FileExists(copy)) return;
        try {
            CreateFolders(keptFolder_);
            WriteFileAtomically(copy, bytes);
            PruneCopies();
        } catch (const std::exception&) {
            LogCaught("copy of a watched file");
        }
    }

    void PruneCopies() {
        std::set<std::string> inUse;
        for (const Unit& unit : units_) {
            if (!unit.digest.empty()) inUse.insert(unit.digest);
            if (!unit.previousDigest.empty()) inUse.insert(unit.previousDigest);
        }
        std::vector<std::pair<std::uint64_t, std::string>> copies;
        for (const platform::TDirectoryEntry& found : platform::ListDirectory(keptFolder_ + "*")) {
            if (found.IsFolder() || found.Name.size() != 64 || inUse.contains(found.Name)) continue;
            const auto stamp = platform::QueryFileStamp(keptFolder_ + found.Name);
            copies.emplace_back(stamp ? stamp->lastWrite : 0, found.Name);
        }
        const std::size_t kept = inUse.size();
        if (copies.size() + kept <= kKeptCopies) return;
        std::sort(copies.begin(), copies.end());
        const std::size_t surplus = copies.size() + kept - kKeptCopies;
        for (std::size_t i = 0; i < surplus && i < copies.size(); ++i) RemoveFile(keptFolder_ + copies[i].second);
    }

    std::string keptFolder_;
    std::vector<Unit> units_;
    static constexpr ULONGLONG kKnownFoldersLifetimeMs = 60000;
    std::map<platform::KnownFolder, std::optional<std::string>> knownFolders_;
    ULONGLONG knownFoldersAt_ = 0;
};

}  // namespace

std::unique_ptr<AutostartSource> MakeFilePointsSource(const std::vector<AutostartPoint>& points,
                                                      std::string keptFolder) {
    return std::make_unique<FilePointsSource>(points, std::move(keptFolder));
}

}  // namespace sentrel
