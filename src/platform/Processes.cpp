#include "platform/Processes.h"

#include <algorithm>

#include <psapi.h>

#include "platform/WideText.h"
#include "platform/WindowsVersion.h"

namespace sentrel::platform {
namespace {

// The full path of one module of a process, however long; empty when it cannot be read.
std::string ModulePath(HANDLE process, HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameExW(process, module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size() - 1 || path.size() >= kMaxModulePath) {
            path.resize(length);
            return Utf8FromWide(path);
        }
        path.resize(path.size() * 4);  // cut to the buffer: ask again with room to spare
    }
}

UniqueHandle OpenForTermination(DWORD processId) {
    return UniqueHandle(OpenProcess(PROCESS_TERMINATE, FALSE, processId));
}

// The token whose privileges the retry adjusts: the thread's when it impersonates, the process's
// otherwise. Empty (with the last error kept) when neither opens.
UniqueHandle OpenAdjustableToken() {
    UniqueHandle token;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, FALSE, token.put())) return token;
    if (GetLastError() != ERROR_NO_TOKEN) return {};
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return token;
    return {};
}

UniqueHandle OpenWithDebugPrivilege(DWORD processId) {
    UniqueHandle token = OpenAdjustableToken();
    if (!token) return {};

    TOKEN_PRIVILEGES privilege = {};
    privilege.PrivilegeCount = 1;
    privilege.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_DEBUG_NAME, &privilege.Privileges[0].Luid)) return {};

    TOKEN_PRIVILEGES previous = {};
    DWORD previousSize = 0;
    if (!AdjustTokenPrivileges(token.get(), FALSE, &privilege, sizeof previous, &previous, &previousSize)) {
        const DWORD error = GetLastError();
        token.reset();
        SetLastError(error);
        return {};
    }
    if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
        token.reset();
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }

    UniqueHandle process = OpenForTermination(processId);
    const DWORD openError = GetLastError();
    AdjustTokenPrivileges(token.get(), FALSE, &previous, 0, nullptr, nullptr);
    token.reset();
    SetLastError(openError);
    return process;
}

}  // namespace

std::optional<std::vector<DWORD>> EnumProcessIds() {
    std::vector<DWORD> ids(kMaxProcessIds);
    DWORD bytes = 0;
    if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return std::nullopt;
    ids.resize(bytes / sizeof(DWORD));
    return ids;
}

std::optional<std::vector<std::string>> ProcessModulePaths(DWORD processId) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId));
    if (!process) return std::nullopt;

    std::vector<HMODULE> modules(kMaxModulesPerProcess);
    DWORD bytes = 0;
    // LIST_MODULES_ALL: this program is 64-bit, and a 32-bit process's own modules are only
    // listed when asked for.
    if (!EnumProcessModulesEx(process.get(), modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                              &bytes, LIST_MODULES_ALL))
        return std::nullopt;
    modules.resize(std::min<std::size_t>(bytes / sizeof(HMODULE), kMaxModulesPerProcess));

    std::vector<std::string> paths;
    paths.reserve(modules.size());
    for (HMODULE module : modules) paths.push_back(ModulePath(process.get(), module));
    return paths;
}

std::optional<std::vector<ProcessRecord>> SnapshotProcesses(DWORD flags) {
    UniqueFile snapshot(CreateToolhelp32Snapshot(flags, 0));
    if (!snapshot) return std::nullopt;
    std::vector<ProcessRecord> records;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        records.push_back({entry.th32ProcessID, Utf8FromWideField(entry.szExeFile)});
    return records;
}

std::vector<std::string> SnapshotModulePaths(DWORD processId) {
    // TH32CS_SNAPMODULE32 as well: the 32-bit modules of a 32-bit process, seen from 64 bits.
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
    std::vector<std::string> paths;
    if (!snapshot) return paths;
    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry))
        paths.push_back(Utf8FromWideField(entry.szExePath));
    return paths;
}

UniqueHandle OpenProcessToTerminate(DWORD processId) {
    UniqueHandle process = OpenForTermination(processId);
    if (process) return process;
    if (GetLastError() != ERROR_ACCESS_DENIED) return {};
    if (ReadWindowsVersionFacts().platform != WindowsVersionFacts::Platform::Nt) {
        SetLastError(ERROR_ACCESS_DENIED);
        return {};
    }
    return OpenWithDebugPrivilege(processId);
}

bool TerminateWithFailureCode(HANDLE process) {
    return TerminateProcess(process, static_cast<UINT>(-1)) != 0;
}

}  // namespace sentrel::platform
