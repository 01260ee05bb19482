#include "platform/ProcessRoutines.h"

#include "platform/Processes.h"

namespace sentrel {
namespace {

using platform::WindowsVersionClass;

// The file-name part of an executable's path.
std::string ExeNameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

void ListModulesByStatusFunctions(std::vector<std::string>& list) {
    const auto ids = platform::EnumProcessIds();
    if (!ids) return;
    for (DWORD id : *ids) {
        const auto modules = platform::ProcessModulePaths(id);
        if (modules) list.insert(list.end(), modules->begin(), modules->end());
    }
}

void ListModulesBySnapshots(std::vector<std::string>& list) {
    const auto processes = platform::SnapshotProcesses(TH32CS_SNAPPROCESS);
    if (!processes) return;
    for (const auto& process : *processes) {
        const auto modules = platform::SnapshotModulePaths(process.processId);
        list.insert(list.end(), modules.begin(), modules.end());
    }
}

std::optional<TFoundProcess> FindByStatusFunctions(const std::string& path) {
    const auto ids = platform::EnumProcessIds();
    if (!ids) return std::nullopt;
    for (DWORD id : *ids) {
        const auto modules = platform::ProcessModulePaths(id);
        if (!modules || modules->empty()) continue;
        // The executable or any later module: the name is the executable's either way.
        for (const std::string& module : *modules) {
            if (module == path) return TFoundProcess{ExeNameOf(modules->front()), id};
        }
    }
    return std::nullopt;
}

std::optional<TFoundProcess> FindBySnapshots(const std::string& path) {
    const auto processes = platform::SnapshotProcesses(TH32CS_SNAPPROCESS);
    if (!processes) return std::nullopt;
    for (const auto& process : *processes) {
        for (const std::string& module : platform::SnapshotModulePaths(process.processId)) {
            if (module == path) return TFoundProcess{process.exeFile, process.processId};
        }
    }
    return std::nullopt;
}

}  // namespace

void ListRunningModules(std::vector<std::string>& list) {
    ListRunningModules(list, platform::CurrentWindowsVersion());
}

void ListRunningModules(std::vector<std::string>& list, WindowsVersionClass version) {
    if (platform::IsNtFamily(version))
        ListModulesByStatusFunctions(list);
    else
        ListModulesBySnapshots(list);
}

std::optional<TFoundProcess> FindProcessByModule(const std::string& path) {
    return FindProcessByModule(path, platform::CurrentWindowsVersion());
}

std::optional<TFoundProcess> FindProcessByModule(const std::string& path, WindowsVersionClass version) {
    // An empty path names no file; a process starting or ending can list a module whose path it
    // cannot give yet, which must not be taken for it.
    if (path.empty()) return std::nullopt;
    return platform::IsNtFamily(version) ? FindByStatusFunctions(path) : FindBySnapshots(path);
}

bool KillProcessByName(const std::string& exeName) {
    const auto processes = platform::SnapshotProcesses(TH32CS_SNAPALL);
    // A walk that could not be made has terminated nothing: that is a failure, not "no such
    // process".
    if (!processes) return false;
    for (const auto& process : *processes) {
        if (process.exeFile == exeName) return KillProcessById(process.processId);
    }
    return true;
}

bool KillProcessById(DWORD processId) {
    platform::UniqueHandle process = platform::OpenProcessToTerminate(processId);
    if (!process) return false;
    if (platform::TerminateWithFailureCode(process.get())) return true;
    // The caller reads why from the last error, which closing the handle must not change.
    const DWORD error = GetLastError();
    process.reset();
    SetLastError(error);
    return false;
}

}  // namespace sentrel
