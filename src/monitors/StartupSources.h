#pragma once
// Two sources of the autostart monitor that are no registry keys: the files of the Startup
// folders ("files" rows of the table) and the scheduled tasks ("tasks" rows).

#include <functional>
#include <memory>
#include <vector>

#include "monitors/AutostartMonitor.h"
#include "platform/ScheduledTasks.h"

namespace sentrel {

// The "files" rows: "Startup" is the user's Startup folder, "Common Startup" the folder of every
// user, each as the shell knows it and where the User Shell Folders value moved it. An entry is
// a file (by its path), shown with what it starts; a shortcut's entry keeps its target and
// arguments (ShortcutRaw), and their change is a finding.
std::unique_ptr<AutostartSource> MakeStartupFilesSource(const std::vector<AutostartPoint>& points);

// Starts `work` off the window thread and runs `finish` on it once the work has ended.
using AutostartRunner = std::function<void(std::function<void()> work, std::function<void()> finish)>;
// Lists every scheduled task (platform::ListScheduledTasks; throws Win32Error).
using TaskLister = std::function<std::vector<platform::ScheduledTask>()>;

// The tasks of the task store: the definitions the Task Scheduler keeps, one file per task, below
// `folder` (System32\Tasks), each task's path its file's path below the folder. A definition that
// cannot be read is left out; a store the user may not read, or none, holds no task. Other
// failures throw Win32Error.
std::vector<platform::ScheduledTask> ListTaskStore(const std::string& folder);
std::vector<platform::ScheduledTask> ListSystemTaskStore();  // the system's System32\Tasks

// The "tasks" rows: the tasks of the folder a row names ("\" every task), by their path, shown
// with their actions' command lines and keeping the actions (TaskActionsRaw), whose change of
// program or arguments is a finding. The Task Scheduler is another process: the tasks are listed
// by `runner` off the window thread, at most every `intervalMs`, and a reading counts only when
// no fix or undo held or accepted a point of `gate` while it was made. The task store is a second
// source of the same tasks, read (by `store`) only after the system reported a change below
// `storeFolder`: its tasks the listing lacks (one the user may not list, one whose registration
// was hidden) count too, and where the system cannot list tasks (the lister throws E_NOTIMPL, as
// on Wine) the store alone is read, which the diagnostic log says once.
std::unique_ptr<AutostartSource> MakeScheduledTasksSource(const std::vector<AutostartPoint>& points,
                                                          std::shared_ptr<const AutostartGate> gate,
                                                          AutostartRunner runner, unsigned intervalMs,
                                                          TaskLister lister = platform::ListScheduledTasks,
                                                          TaskLister store = ListSystemTaskStore,
                                                          std::string storeFolder = {});

}  // namespace sentrel
