#pragma once
// The Task Scheduler's tasks, through its own interface (ITaskService): every task of every
// folder, a task deleted by its path, and a task registered again from its saved definition.
// COM is started on the calling thread when it is not yet. Failures throw Win32Error; a task or
// folder the user may not change gives the code ERROR_ACCESS_DENIED (a task of the machine
// needs administrator rights).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ITaskDefinition;

namespace sentrel::platform {

struct ScheduledTask {
    std::string path;     // "\Folder\Name", "\Name" in the root folder
    std::string command;  // each program the task starts: "path" arguments, joined by " & "
    std::string xml;      // the task's whole definition, as the Task Scheduler gives it
    bool enabled = false;
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

// Where a task lies: the folders on its path from the root ({"A", "B"} for "\A\B\Name") and its
// name. Repeated and trailing backslashes are dropped.
struct TaskLocation {
    std::vector<std::string> folders;
    std::string name;
    // "\" for the root, "\A\B" otherwise.
    std::string FolderPath() const;
};
TaskLocation SplitTaskPath(std::string_view path);

// The command lines of a definition's exec actions, joined by " & " (other actions start no
// program).
std::string TaskCommands(ITaskDefinition* definition);

// The command line that starts `program` with `arguments`: the program quoted when it holds a
// space and is not quoted yet (a task's action, a shortcut's target).
std::string ProgramCommandLine(std::string_view program, std::string_view arguments);

}  // namespace sentrel::platform
