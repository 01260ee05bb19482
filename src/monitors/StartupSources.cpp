#include "monitors/StartupSources.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "monitors/SystemFolderRules.h"
#include "monitors/TaskDefinitions.h"
#include "database/Table.h"
#include "platform/Directory.h"
#include "platform/FolderWatch.h"
#include "platform/ProgramFolder.h"
#include "platform/ScheduledTasks.h"
#include "platform/StartupFolders.h"
#include "platform/Win32Error.h"
#include "warnings/StartupWarnings.h"

namespace sentrel {

namespace {

// --- Startup folders ---

class StartupFilesSource final : public AutostartSource {
public:
    explicit StartupFilesSource(const std::vector<AutostartPoint>& points) {
        for (AutostartPoint& point : AutostartPointsOfKind(points, AutostartPointKind::Files)) {
            const bool common = SameNameIgnoringCase(point.path, "Common Startup");
            // Other folders are a known folder's (monitors/FilePointsSource.h).
            if (!common && !SameNameIgnoringCase(point.path, "Startup")) continue;
            std::string id = "files " + point.path;
            units_.push_back({std::move(point), common, std::move(id)});
        }
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::Files; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Unit& unit = units_[index];
        try {
            std::vector<AutostartEntry> entries;
            std::map<std::string, AutostartEntry> shortcuts;
            for (const platform::StartupFolder& folder : platform::StartupFolders()) {
                if (folder.common != unit.common) continue;
                for (platform::StartupFile& file : platform::ListStartupFiles(folder.path)) {
                    // A shortcut keeps what it starts, which a fix of its change puts back. One that
                    // cannot be read this time (being written) is taken as last read, so that its
                    // change is not learned unseen.
                    AutostartEntry entry{file.path, file.command, {}};
                    if (!file.target.empty()) {
                        entry.raw = ShortcutRaw({file.target, file.arguments});
                        shortcuts[file.path] = entry;
                    } else if (const auto last = unit.shortcuts.find(file.path); last != unit.shortcuts.end()) {
                        entry = last->second;
                        shortcuts[file.path] = entry;
                    }
                    entries.push_back(std::move(entry));
                }
            }
            unit.shortcuts = std::move(shortcuts);
            return entries;
        } catch (const std::exception&) {
            LogCaught("autostart point " + unit.id);
            return std::nullopt;
        }
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding,
                                          bool knownProgram) override {
        const Unit& unit = units_[index];
        auto warning = std::make_unique<StartupFileWarning>(unit.id, unit.point.name, finding.entry.item,
                                                             finding.entry.data);
        warning->Raw = finding.entry.raw;
        if (finding.change == AutostartChange::Changed && finding.before) {
            warning->Changed = true;
            warning->OldCommand = finding.before->data;
            warning->OldRaw = finding.before->raw;
        }
        warning->KnownProgram = knownProgram;
        return warning;
    }

private:
    struct Unit {
        AutostartPoint point;
        bool common;
        std::string id;
        std::map<std::string, AutostartEntry> shortcuts;  // the last reading of each shortcut, by path
    };
    std::vector<Unit> units_;
};

// --- Scheduled tasks ---

// What the listings share with their finishes, which may outlive the source.
struct TaskListings {
    bool running = false;
    bool unsupported = false;  // this system cannot list tasks: the store alone is read
    bool failing = false;      // the last listing failed (logged once for a row of failures)
    bool storeFailing = false; // the last reading of the store failed (logged once likewise)
    // The store's tasks as last read; none while it was never read.
    std::optional<std::vector<platform::ScheduledTask>> stored;
    ULONGLONG startedAt = 0;
    // The last listing's tasks for each row, and the gate's count when it began; emptied row by
    // row as the rows take them.
    std::vector<std::optional<std::vector<AutostartEntry>>> results;
    std::uint64_t generation = 0;
};

// What a task runs, kept in its entry for a fix that puts a changed one back.
std::string ActionsRaw(const std::vector<platform::ExecAction>& actions) {
    std::vector<TaskAction> kept;
    for (const platform::ExecAction& action : actions)
        kept.push_back({action.program, action.arguments, action.folder});
    return TaskActionsRaw(kept);
}

// The task store is read only so far: a few levels of folders, a few thousand definitions of at
// most a megabyte (the Task Scheduler's own are a few kilobytes).
constexpr std::ptrdiff_t kMaxStoreDepth = 8;
constexpr std::size_t kMaxStoredTasks = 5000;
constexpr std::uint64_t kMaxStoredDefinition = 1024 * 1024;

bool InFolder(const std::string& taskPath, const std::string& folder) {
    if (folder.empty() || folder == "\\") return true;
    const std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
    return taskPath.size() > prefix.size() && SameNameIgnoringCase(std::string_view(taskPath).substr(0, prefix.size()), prefix);
}

class ScheduledTasksSource final : public AutostartSource {
public:
    ScheduledTasksSource(const std::vector<AutostartPoint>& points, std::shared_ptr<const AutostartGate> gate,
                         AutostartRunner runner, unsigned intervalMs, TaskLister lister, TaskLister store,
                         const std::string& storeFolder)
        : gate_(std::move(gate)),
          runner_(std::move(runner)),
          lister_(std::move(lister)),
          store_(std::move(store)),
          storeWatch_(storeFolder, true),
          intervalMs_(intervalMs) {
        try {
            windowsFolder_ = platform::WindowsFolder();
        } catch (const platform::Win32Error&) {
            LogCaught("Windows folder for its own tasks");
        }
        for (AutostartPoint& point : AutostartPointsOfKind(points, AutostartPointKind::Tasks)) {
            std::string id = "tasks " + point.path;
            units_.push_back({std::move(point), std::move(id)});
        }
        listings_->results.resize(units_.size());
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t) const override { return AutostartPointKind::Tasks; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        TaskListings& listings = *listings_;
        std::optional<std::vector<AutostartEntry>> entries = std::move(listings.results[index]);
        listings.results[index].reset();
        // A listing begun before a fix or an undo may miss its change: it is not used.
        if (entries && listings.generation != gate_->Generation()) {
            for (auto& result : listings.results) result.reset();
            entries.reset();
            storeChanged_ = true;  // read again, the store too, even where nothing says it changed
        }
        StartListing();
        return entries;
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding,
                                          bool knownProgram) override {
        if (!knownProgram && IsWindowsOwn(finding.entry)) {
            LogEvent("Windows' own task " + finding.entry.item + (finding.before ? " changed: " : " added: ") +
                     finding.entry.data);
            return nullptr;
        }
        auto warning = std::make_unique<ScheduledTaskWarning>(units_[index].id, finding.entry.item, finding.entry.data);
        warning->Raw = finding.entry.raw;
        if (finding.change == AutostartChange::Changed && finding.before) {
            warning->Changed = true;
            warning->OldCommand = finding.before->data;
            warning->OldRaw = finding.before->raw;
        }
        warning->KnownProgram = knownProgram;
        return warning;
    }

private:
    // Windows' own tasks come and change with its updates: logged, not asked.
    bool IsWindowsOwn(const AutostartEntry& entry) const {
        const std::optional<std::vector<TaskAction>> actions = TaskActionsOfRaw(entry.raw);
        if (!actions || windowsFolder_.empty()) return false;
        std::vector<std::string> programs;
        for (const TaskAction& action : *actions) programs.push_back(action.program);
        return IsWindowsOwnTask(windowsFolder_, entry.item, programs);
    }

    // A new listing when none runs, every row has taken the last one and the interval has passed.
    void StartListing() {
        TaskListings& listings = *listings_;
        if (storeWatch_.Changed()) storeChanged_ = true;
        if (listings.running) return;
        for (const auto& result : listings.results)
            if (result) return;
        const ULONGLONG now = GetTickCount64();
        if (listings.startedAt != 0 && now - listings.startedAt < intervalMs_) return;
        // Where only the store tells, nothing is read before it changed.
        if (listings.unsupported && !storeChanged_) return;

        struct Outcome {
            std::vector<platform::ScheduledTask> tasks;
            bool listed = false;
            bool cannotList = false;  // E_NOTIMPL
            std::optional<platform::Win32Error> error;
            std::string otherError;
            std::optional<std::vector<platform::ScheduledTask>> stored;
            std::string storeError;
        };
        auto outcome = std::make_shared<Outcome>();
        std::vector<std::string> folders;
        for (const Unit& unit : units_) folders.push_back(unit.point.path);
        listings.running = true;
        listings.startedAt = now;
        const bool readStore = storeChanged_ || !listings.stored;
        storeChanged_ = false;
        const std::uint64_t generation = gate_->Generation();
        auto work = [outcome, lister = listings.unsupported ? TaskLister{} : lister_, store = readStore ? store_ : TaskLister{}] {
            try {
                if (lister) {
                    outcome->tasks = lister();
                    outcome->listed = true;
                }
            } catch (const platform::Win32Error& error) {
                if (error.Code() == static_cast<DWORD>(E_NOTIMPL))
                    outcome->cannotList = true;
                else
                    outcome->error = error;
            } catch (const std::exception& error) {
                outcome->otherError = error.what();
            }
            try {
                if (store) outcome->stored = store();
            } catch (const std::exception& error) {
                outcome->storeError = error.what();
            }
        };
        auto finish = [shared = listings_, outcome, folders = std::move(folders), generation] {
            TaskListings& done = *shared;
            done.running = false;
            if (outcome->cannotList && !done.unsupported) {
                done.unsupported = true;
                LogEvent("scheduled tasks: this system cannot list them; the task store is read instead");
            }
            if (outcome->stored) {
                done.stored = std::move(outcome->stored);
                done.storeFailing = false;
            } else if (!outcome->storeError.empty()) {
                // The store as last read stands (none yet: nothing to compare where it alone tells).
                if (!done.storeFailing) LogEvent("the task store could not be read: " + outcome->storeError);
                done.storeFailing = true;
            }
            if (outcome->error || !outcome->otherError.empty()) {
                if (!done.failing)
                    LogEvent("scheduled tasks could not be listed: " +
                             (outcome->error ? std::string(outcome->error->what()) : outcome->otherError));
                done.failing = true;
                return;
            }
            done.failing = false;
            if (!outcome->listed && !done.stored) return;
            // The listing's tasks, and the store's it lacks.
            std::vector<platform::ScheduledTask> tasks = std::move(outcome->tasks);
            const std::size_t listed = tasks.size();
            if (done.stored) {
                for (const platform::ScheduledTask& task : *done.stored) {
                    const auto same = [&](const platform::ScheduledTask& other) { return SameNameIgnoringCase(other.path, task.path); };
                    if (std::none_of(tasks.begin(), tasks.begin() + static_cast<std::ptrdiff_t>(listed), same))
                        tasks.push_back(task);
                }
            }
            done.generation = generation;
            for (std::size_t row = 0; row < folders.size(); ++row) {
                std::vector<AutostartEntry> entries;
                for (const platform::ScheduledTask& task : tasks)
                    if (InFolder(task.path, folders[row]))
                        entries.push_back({task.path, task.command, ActionsRaw(task.actions)});
                done.results[row] = std::move(entries);
            }
        };
        try {
            runner_(std::move(work), std::move(finish));
        } catch (const std::exception&) {
            listings.running = false;
            LogCaught("scheduled task listing start");
        }
    }

    struct Unit {
        AutostartPoint point;
        std::string id;
    };
    std::vector<Unit> units_;
    std::shared_ptr<const AutostartGate> gate_;
    AutostartRunner runner_;
    TaskLister lister_;
    TaskLister store_;
    platform::FolderWatch storeWatch_;
    bool storeChanged_ = true;
    unsigned intervalMs_;
    std::string windowsFolder_;  // empty where the system could not tell: no task is Windows' own
    std::shared_ptr<TaskListings> listings_ = std::make_shared<TaskListings>();
};

}  // namespace

std::unique_ptr<AutostartSource> MakeStartupFilesSource(const std::vector<AutostartPoint>& points) {
    return std::make_unique<StartupFilesSource>(points);
}

std::vector<platform::ScheduledTask> ListTaskStore(const std::string& folder) {
    std::vector<platform::ScheduledTask> tasks;
    // Each folder below the store, with the task path it stands for.
    std::string top = folder;
    while (!top.empty() && top.back() == '\\') top.pop_back();
    std::vector<std::pair<std::string, std::string>> folders = {{top, ""}};
    for (std::size_t next = 0; next < folders.size() && tasks.size() < kMaxStoredTasks; ++next) {
        const auto [path, taskFolder] = folders[next];
        std::vector<platform::TDirectoryEntry> found;
        try {
            found = platform::ListDirectory(path + "\\*");
        } catch (const platform::Win32Error& error) {
            if (error.Code() == ERROR_ACCESS_DENIED) continue;  // the user may not read it: it holds nothing for the user
            throw;
        }
        for (const platform::TDirectoryEntry& entry : found) {
            if (entry.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            const std::string taskPath = taskFolder + "\\" + entry.Name;
            if (entry.IsFolder()) {
                if (std::count(taskPath.begin(), taskPath.end(), '\\') < kMaxStoreDepth)
                    folders.emplace_back(path + "\\" + entry.Name, taskPath);
                continue;
            }
            if (entry.Size > kMaxStoredDefinition || tasks.size() >= kMaxStoredTasks) continue;
            std::string bytes;
            try {
                bytes = ReadFileText(path + "\\" + entry.Name);
            } catch (const std::exception&) {
                continue;  // one the user may not read, or gone meanwhile
            }
            platform::ScheduledTask task;
            task.path = taskPath;
            for (const TaskAction& action : TaskDefinitionExecActions(TaskDefinitionText(bytes)))
                if (!action.program.empty()) task.actions.push_back({action.program, action.arguments, action.folder});
            task.command = platform::TaskCommands(task.actions);
            tasks.push_back(std::move(task));
        }
    }
    return tasks;
}

std::string SystemTaskStoreFolder() {
    return platform::WindowsFolder() + "\\System32\\Tasks";
}

std::vector<platform::ScheduledTask> ListSystemTaskStore() {
    return ListTaskStore(SystemTaskStoreFolder());
}

std::unique_ptr<AutostartSource> MakeScheduledTasksSource(const std::vector<AutostartPoint>& points,
                                                          std::shared_ptr<const AutostartGate> gate,
                                                          AutostartRunner runner, unsigned intervalMs,
                                                          TaskLister lister, TaskLister store, std::string storeFolder) {
    return std::make_unique<ScheduledTasksSource>(points, std::move(gate), std::move(runner), intervalMs,
                                                  std::move(lister), std::move(store),
                                                  storeFolder.empty() ? SystemTaskStoreFolder() : storeFolder);
}

}  // namespace sentrel
