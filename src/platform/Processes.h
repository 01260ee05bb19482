#pragma once
// Processes and their modules, two ways: the process status functions (PSAPI) and tool-help
// snapshots. Paths are UTF-8, read through the wide functions so that no name is lost to a code
// page or cut to a byte buffer. Processes that cannot be opened or listed are answers (std::nullopt or
// an empty list), not errors: other users' and protected processes are that way.

#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <tlhelp32.h>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

// The fixed limits of the process walk.
inline constexpr std::size_t kMaxProcessIds = 1024;
inline constexpr std::size_t kMaxModulesPerProcess = 1024;
inline constexpr std::size_t kMaxModulePath = 32768;  // UTF-16 units, the longest path Windows has

// --- Process status functions ---

// The identifiers of the running processes (at most kMaxProcessIds); std::nullopt when
// EnumProcesses fails.
std::optional<std::vector<DWORD>> EnumProcessIds();

// The full paths of a process's modules, the executable first (at most kMaxModulesPerProcess);
// std::nullopt when the process cannot be opened for query and read or its modules cannot be
// listed. 32-bit modules of 32-bit processes are listed too.
std::optional<std::vector<std::string>> ProcessModulePaths(DWORD processId);

// --- Tool-help snapshots ---

struct ProcessRecord {
    DWORD processId = 0;
    std::string exeFile;  // szExeFile as the snapshot gives it (the file name on NT)
};

// The process records of a snapshot (flags as CreateToolhelp32Snapshot takes them, e.g.
// TH32CS_SNAPPROCESS or TH32CS_SNAPALL); std::nullopt when the snapshot cannot be taken.
std::optional<std::vector<ProcessRecord>> SnapshotProcesses(DWORD flags = TH32CS_SNAPPROCESS);

// The module paths (szExePath) of one process's module snapshot; empty when the snapshot cannot
// be taken.
std::vector<std::string> SnapshotModulePaths(DWORD processId);

// --- Termination ---

// OpenProcess with terminate access; when the system refuses access on NT, again with the
// debug privilege enabled for the moment of the open (then put back as it was). An empty
// handle when both fail; the last error then tells why (ERROR_ACCESS_DENIED where the
// privilege could not be had).
UniqueHandle OpenProcessToTerminate(DWORD processId);

// TerminateProcess with exit code -1 (all bits set); on failure false with the last error kept.
bool TerminateWithFailureCode(HANDLE process);

}  // namespace sentrel::platform
