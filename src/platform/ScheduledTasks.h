#pragma once
// The Task Scheduler's tasks, through its own interface (ITaskService): every task of every
// folder, a task deleted by its path, a task registered again from its saved definition, and a
// task's actions replaced.
// COM is started on the calling thread when it is not yet. Failures throw Win32Error; a task or
// folder the user may not change gives the code ERROR_ACCESS_DENIED (a task of the machine
// needs administrator rights).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ITaskDefinition;

namespace sentrel::platform {

// An action of a task that starts a program (an exec action).
struct ExecAction {
    std::string program;    // its path, as the task names it
    std::string arguments;
    std::string folder;     // the working folder it starts in (empty: none named)
    bool operator==(const ExecAction&) const = default;
};

struct ScheduledTask {
    std::string path;     // "\Folder\Name", "\Name" in the root folder
    std::string command;  // each program the task starts: "path" arguments, joined by " & "
    std::string xml;      // the task's whole definition, as the Task Scheduler gives it
    bool enabled = false;
    std::vector<ExecAction> actions;  // the programs of `command`, each with its folder
};

// Every task the user can read, hidden ones included, folder by folder from the root (each
// folder's tasks, then its subfolders). A folder the user may not open is left out. Where the
// system cannot list a folder's tasks (Wine 8 has no task collections) it throws Win32Error with
// the code E_NOTIMPL rather than give a list without them.
std::vector<ScheduledTask> ListScheduledTasks();

// The task at `path`; std::nullopt when there is no such task or folder.
std::optional<ScheduledTask> ReadScheduledTask(std::string_view path);

// Deletes the task at `path` ("\Folder\Name"; the leading backslash may be left out). Its folder
// stays.
void DeleteScheduledTask(std::string_view path);

// Registers the task at `path` from its XML definition, creating the folders on its path where
// missing and replacing a task already there. The task runs as its definition says (its
// principal's user and logon type).
void RegisterScheduledTask(std::string_view path, std::string_view xml);

// Replaces the exec actions of the task at `path` with `actions`, in their order after the
// task's other actions (which stay), through the task's own definition registered again with
// the user and logon type it names. Throws Win32Error (a task that is not there gives
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND).
void SetTaskExecActions(std::string_view path, const std::vector<ExecAction>& actions);

// Where a task lies: the folders on its path from the root ({"A", "B"} for "\A\B\Name") and its
// name. Repeated and trailing backslashes are dropped.
struct TaskLocation {
    std::vector<std::string> folders;
    std::string name;
    // "\" for the root, "\A\B" otherwise.
    std::string FolderPath() const;
};
TaskLocation SplitTaskPath(std::string_view path);

// A definition's exec actions (other actions start no program), and their command lines joined
// by " & ".
std::vector<ExecAction> TaskExecActions(ITaskDefinition* definition);
std::string TaskCommands(const std::vector<ExecAction>& actions);

// The command line that starts `program` with `arguments`: the program quoted when it holds a
// space and is not quoted yet (a task's action, a shortcut's target).
std::string ProgramCommandLine(std::string_view program, std::string_view arguments);

}  // namespace sentrel::platform
