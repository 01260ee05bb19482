#include "monitors/BrowserShortcutsSource.h"

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <utility>

#include "browsers/BrowserLaunch.h"
#include "common/DiagnosticLog.h"
#include "database/PathParts.h"
#include "database/Table.h"
#include "platform/Directory.h"
#include "platform/FolderWatch.h"
#include "platform/ScheduledTasks.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "warnings/AutostartEntryData.h"
#include "warnings/StartupWarnings.h"

namespace sentrel {

namespace {

// Folders below a folder of shortcuts deeper than this, and shortcuts beyond this many, are not
// read: the Start menu holds a few levels and a few hundred.
constexpr int kMaxDepth = 6;
constexpr std::size_t kMaxShortcuts = 10000;

struct ShortcutFolder {
    std::string path;  // empty: the system has no such folder
    bool subtree = false;
};

ShortcutFolder FolderOfRow(const std::string& name) {
    struct Known {
        const char* name;
        const KNOWNFOLDERID* id;
        bool subtree;
    };
    static const Known kFolders[] = {
        {"Desktop", &FOLDERID_Desktop, false},
        {"Common Desktop", &FOLDERID_PublicDesktop, false},
        {"Start Menu", &FOLDERID_StartMenu, true},
        {"Common Start Menu", &FOLDERID_CommonStartMenu, true},
        {"Quick Launch", &FOLDERID_QuickLaunch, true},
    };
    for (const Known& known : kFolders) {
        if (!SameNameIgnoringCase(name, known.name)) continue;
        PWSTR path = nullptr;
        ShortcutFolder folder{{}, known.subtree};
        if (SUCCEEDED(SHGetKnownFolderPath(*known.id, KF_FLAG_DONT_VERIFY, nullptr, &path)))
            folder.path = platform::Utf8FromWide(path);
        CoTaskMemFree(path);
        while (!folder.path.empty() && folder.path.back() == '\\') folder.path.pop_back();
        return folder;
    }
    return {};
}

// The browser shortcuts of a folder (and of its subfolders, no links followed), each with what it
// starts and its target and arguments.
void ListBrowserShortcuts(const std::string& folder, bool subtree, int depth, std::vector<AutostartEntry>& entries) {
    for (const platform::StartupFile& file : platform::ListStartupFiles(folder)) {
        if (entries.size() >= kMaxShortcuts) return;
        if (file.target.empty() || !IsBrowserProgram(PathFileName(file.target))) continue;
        entries.push_back({file.path, file.command, ShortcutRaw({file.target, file.arguments})});
    }
    if (!subtree || depth >= kMaxDepth) return;
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(folder + "\\*")) {
        if (!entry.IsFolder() || (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        ListBrowserShortcuts(folder + "\\" + entry.Name, subtree, depth + 1, entries);
    }
}

// What the last reading of a row found, shared with its finish, which may outlive the source.
struct Reading {
    bool running = false;
    bool failing = false;  // logged once for a row of failures
    std::optional<std::vector<AutostartEntry>> result;
    std::uint64_t generation = 0;  // the gate's count when the reading began
};

class BrowserShortcutsSource final : public AutostartSource {
public:
    BrowserShortcutsSource(const std::vector<AutostartPoint>& points, std::shared_ptr<const AutostartGate> gate,
                           AutostartRunner runner)
        : gate_(std::move(gate)), runner_(std::move(runner)) {
        for (const AutostartPoint& point : points) {
            if (point.kind != AutostartPointKind::BrowserShortcuts) continue;
            ShortcutFolder folder = FolderOfRow(point.path);
            if (folder.path.empty()) {
                LogEvent("autostart points: the folder of shortcuts \"" + point.path + "\" is not known here");
                continue;
            }
            Unit unit{point, "shortcuts " + point.path, folder.path, {}, std::make_shared<Reading>()};
            unit.watch = std::make_unique<platform::FolderWatch>(folder.path, folder.subtree);
            unit.subtree = folder.subtree;
            units_.push_back(std::move(unit));
        }
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::BrowserShortcuts; }
    bool RunsPrograms(std::size_t) const override { return false; }  // a browser, by what it is

    // A reading that has come in, once; nothing while none has (or one begun before a fix or an
    // undo changed a point: it may miss that change, and the folder is read again).
    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Unit& unit = units_[index];
        if (unit.watch->Changed()) unit.dirty = true;
        Reading& reading = *unit.reading;
        std::optional<std::vector<AutostartEntry>> entries;
        if (!reading.running && reading.result) {
            entries = std::exchange(reading.result, std::nullopt);
            if (reading.generation != gate_->Generation()) {
                entries.reset();
                unit.dirty = true;
            }
        }
        if (unit.dirty && !reading.running) StartReading(unit);
        return entries;
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding, bool) override {
        const Unit& unit = units_[index];
        const std::optional<ShortcutLink> link = ShortcutOfRaw(finding.entry.raw);
        if (!link) return nullptr;
        BrowserLaunchConcerns concerns = LaunchConcernsOf(link->arguments);
        auto warning = std::make_unique<BrowserShortcutWarning>(unit.id, unit.point.name, finding.entry.item,
                                                                finding.entry.data);
        warning->Raw = finding.entry.raw;
        if (finding.change == AutostartChange::Changed && finding.before) {
            const std::optional<ShortcutLink> old = ShortcutOfRaw(finding.before->raw);
            if (!old) return nullptr;
            concerns = concerns.Beyond(LaunchConcernsOf(old->arguments));
            warning->OldCommand = finding.before->data;
            warning->OldRaw = finding.before->raw;
        } else {
            // A new shortcut is to keep starting the browser, without what was added to it.
            const ShortcutLink cleaned{link->target, ArgumentsWithoutConcerns(link->arguments)};
            warning->NewShortcut = true;
            warning->OldCommand = platform::ProgramCommandLine(cleaned.target, cleaned.arguments);
            warning->OldRaw = ShortcutRaw(cleaned);
        }
        if (!concerns.Any()) return nullptr;
        warning->Concerns = LaunchConcernsText(concerns);
        return warning;
    }

private:
    struct Unit {
        AutostartPoint point;
        std::string id;
        std::string folder;
        std::unique_ptr<platform::FolderWatch> watch;
        std::shared_ptr<Reading> reading;
        bool subtree = false;
        bool dirty = true;
    };

    void StartReading(Unit& unit) {
        Reading& reading = *unit.reading;
        struct Outcome {
            std::vector<AutostartEntry> entries;
            std::string error;
        };
        auto outcome = std::make_shared<Outcome>();
        reading.running = true;
        unit.dirty = false;
        const std::uint64_t generation = gate_->Generation();
        auto work = [outcome, folder = unit.folder, subtree = unit.subtree] {
            try {
                ListBrowserShortcuts(folder, subtree, 0, outcome->entries);
            } catch (const std::exception& error) {
                outcome->error = error.what();
            }
        };
        auto finish = [shared = unit.reading, outcome, generation, id = unit.id] {
            Reading& done = *shared;
            done.running = false;
            if (!outcome->error.empty()) {
                if (!done.failing) LogEvent(id + " could not be read: " + outcome->error);
                done.failing = true;
                return;
            }
            done.failing = false;
            done.result = std::move(outcome->entries);
            done.generation = generation;
        };
        try {
            runner_(std::move(work), std::move(finish));
        } catch (const std::exception&) {
            reading.running = false;
            unit.dirty = true;
            LogCaught("browser shortcut reading start");
        }
    }

    std::vector<Unit> units_;
    std::shared_ptr<const AutostartGate> gate_;
    AutostartRunner runner_;
};

}  // namespace

std::unique_ptr<AutostartSource> MakeBrowserShortcutsSource(const std::vector<AutostartPoint>& points,
                                                            std::shared_ptr<const AutostartGate> gate,
                                                            AutostartRunner runner) {
    return std::make_unique<BrowserShortcutsSource>(points, std::move(gate), std::move(runner));
}

}  // namespace sentrel
