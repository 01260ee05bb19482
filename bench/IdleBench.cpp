// What the shield costs while it waits: CPU time and private memory of Sentrel4.exe at the High
// level with its window in the tray, over one minute, beside a do-nothing Win32 program with
// one timer. Prints both and their ratio (nothing is asserted).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "config/Options.h"

namespace {

struct Cost {
    double cpuSeconds = 0;
    double privateMegabytes = 0;
};

std::string ThisFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return sentrel::FolderPart(path);
}

PROCESS_INFORMATION Start(const std::string& program, const std::string& folder) {
    std::string line = "\"" + program + "\"";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "cannot start %s\n", program.c_str());
        std::exit(1);
    }
    CloseHandle(info.hThread);
    return info;
}

Cost CostOf(HANDLE process) {
    FILETIME created{}, ended{}, kernel{}, user{};
    GetProcessTimes(process, &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               1e7;
    };
    PROCESS_MEMORY_COUNTERS_EX memory{};
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    return {seconds(kernel) + seconds(user), static_cast<double>(memory.PrivateUsage) / (1024.0 * 1024.0)};
}

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string bin = ThisFolder();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "sentrel-idle-bench\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"Sentrel4.exe", "database.db", "keys_to_watch.ini"})
        CopyFileA((bin + name).c_str(), (folder + name).c_str(), FALSE);
    DeleteFileA((folder + "options.ini").c_str());
    {
        sentrel::TOptions options("options.ini", folder);
        sentrel::WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("RunMinimized", true);
        options.WriteBool("Autorun", false);
        options.WriteInteger("Shield", 2);
    }

    const PROCESS_INFORMATION shield = Start(folder + "Sentrel4.exe", folder);
    const PROCESS_INFORMATION idle = Start(bin + "idle_program.exe", bin);
    // Start-up itself (the database load) is not idling: measure from when both wait.
    WaitForInputIdle(shield.hProcess, 30000);
    WaitForInputIdle(idle.hProcess, 30000);
    const Cost shieldStart = CostOf(shield.hProcess);
    const Cost idleStart = CostOf(idle.hProcess);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    const Cost shieldEnd = CostOf(shield.hProcess);
    const Cost idleEnd = CostOf(idle.hProcess);

    const double shieldCpu = shieldEnd.cpuSeconds - shieldStart.cpuSeconds;
    const double idleCpu = idleEnd.cpuSeconds - idleStart.cpuSeconds;
    std::printf("Idle cost over %d s at High, window in the tray\n", seconds);
    std::printf("  %-22s CPU %7.3f s (%5.2f%% of one core)   private memory %7.1f MB\n", "Sentrel4.exe", shieldCpu,
                100.0 * shieldCpu / seconds, shieldEnd.privateMegabytes);
    std::printf("  %-22s CPU %7.3f s (%5.2f%% of one core)   private memory %7.1f MB\n", "one-timer program", idleCpu,
                100.0 * idleCpu / seconds, idleEnd.privateMegabytes);
    std::printf("  ratio                  CPU %7.1fx                         private memory %7.1fx\n",
                idleCpu > 0 ? shieldCpu / idleCpu : 0.0,
                idleEnd.privateMegabytes > 0 ? shieldEnd.privateMegabytes / idleEnd.privateMegabytes : 0.0);

    EnumWindows(CloseWindowsOf, static_cast<LPARAM>(shield.dwProcessId));
    EnumWindows(CloseWindowsOf, static_cast<LPARAM>(idle.dwProcessId));
    WaitForSingleObject(shield.hProcess, 30000);
    WaitForSingleObject(idle.hProcess, 10000);
    CloseHandle(shield.hProcess);
    CloseHandle(idle.hProcess);
    return 0;
}
