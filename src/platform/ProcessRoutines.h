#pragma once
// The process operations the process monitor and the remedies share: the modules every running
// process has loaded, the process that has a given file loaded, and terminating a process.
// Every call enumerates afresh and keeps no state; comparisons of paths and names are exact.
// The Windows version class chooses the walk: the process status functions on the NT family,
// tool-help snapshots otherwise.

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/WindowsVersion.h"

namespace sentrel {

// Appends to list the full path of every module of every process that can be opened, process by
// process, each process's executable first. The list is not cleared first.
void ListRunningModules(std::vector<std::string>& list);
void ListRunningModules(std::vector<std::string>& list, platform::WindowsVersionClass version);

// The process found by FindProcessByModule.
struct TFoundProcess {
    // On the NT family the file-name part of the executable's path; on the tool-help walk the
    // snapshot's szExeFile as it stands. This is the name KillProcessByName takes.
    std::string exeName;
    DWORD processId = 0;
};

// The first running process that has the file path loaded, as its executable or as any other
// module; std::nullopt when none has, and for an empty path.
std::optional<TFoundProcess> FindProcessByModule(const std::string& path);
std::optional<TFoundProcess> FindProcessByModule(const std::string& path, platform::WindowsVersionClass version);

// Terminates the first running process whose executable name (szExeFile) equals exeName, with
// the debug-privilege retry where access is refused. True when it was terminated, and true when
// no process has that name; false when the process could not be opened or terminated, or the
// processes could not be listed (the last error then tells why).
bool KillProcessByName(const std::string& exeName);

// Terminates the process with this identifier, with the same retry. Where FindProcessByModule has
// found the process, this ends that very process, not the first one that shares its name.
bool KillProcessById(DWORD processId);

}  // namespace sentrel
