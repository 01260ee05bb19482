#pragma once
// Which removals below the Windows folder are a critical change of the system: the file monitor's
// decision, apart from the system's own question (is the file protected by Windows?) so that it
// runs, and is tested, in both builds. Paths are Windows paths (backslashes) in both builds.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// Whether Windows protects the file (Windows Resource Protection); false where the system cannot
// tell.
using ProtectedSystemFile = std::function<bool(const std::string& path)>;

// Whether the removal of `path`, below `windowsFolder`, is a critical change: never below the
// folders Windows itself empties every day (Temp, Logs, Prefetch, SoftwareDistribution, WinSxS,
// Installer, ServiceProfiles, the system's own profile); a program, library or driver right in
// the Windows folder, System32, SysWOW64 or their drivers folders always; any other file when
// `isProtected` says Windows protects it. A path outside `windowsFolder` is none.
bool IsCriticalSystemRemoval(std::string_view windowsFolder, std::string_view path, const ProtectedSystemFile& isProtected);

// Whether `path` lies right in the Windows folder, System32, SysWOW64 or System32\drivers (named
// there, or with "%windir%" or "%SystemRoot%"), where only administrators and Windows write; no
// folder below them counts (anyone may write to some).
bool IsRightInSystemFolders(std::string_view windowsFolder, std::string_view path);

// Whether a scheduled task at `taskPath` that runs `programs` is one of Windows' own: below
// \Microsoft\Windows\ (where only administrators can make tasks), every program right in the
// system folders (IsRightInSystemFolders). A task that runs no program (a COM handler) is when
// below that folder.
bool IsWindowsOwnTask(std::string_view windowsFolder, std::string_view taskPath,
                      const std::vector<std::string>& programs);

}  // namespace sentrel
