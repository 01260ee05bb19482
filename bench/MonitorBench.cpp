// What each monitor costs per tick on the shipped database, measured on this machine: the
// process monitor (one module per tick, and a whole pass), the autorun, watched-value and
// registry-entry passes, the cookie and folder scans, and the lookup the system-folder monitor
// runs for each new file. Prints figures; asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include <windows.h>

#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/Cipher.h"
#include "database/Lookups.h"
#include "database/ThreatTables.h"
#include "monitors/ProcessMonitor.h"
#include "monitors/RegistryMonitors.h"
#include "monitors/Scanners.h"
#include "database/MappedFileAccessWin.h"
#include "database/ShellFoldersWin.h"

namespace {

using Clock = std::chrono::steady_clock;

// Mean time of one call over `runs` calls, in microseconds (best of three rounds).
double MicrosecondsPerCall(int runs, const std::function<void()>& call) {
    double best = 1e18;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < runs; ++i) call();
        best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count() / runs);
    }
    return best;
}

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return sentrel::FolderPart(path);
}

}  // namespace

int main() {
    using namespace sentrel;
    // The shipped database, loaded from a copy so its working files stay out of the build.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "sentrel-monitor-bench\\";
    CreateFolders(folder);
    WriteFileBytes(folder + "database.db", ReadFileBytes(ExeFolder() + "database.db"));
    TThreatTables tables(std::make_unique<TDataBase>(folder + "database.db", true, std::string(kDataBasePassPhrase)));
    WarningQueue queue;
    const TLookupSystem system{SystemFileAccess(), MacroFolders(), ExeFolder()};

    std::printf("Monitor ticks on the shipped database (%d tables)\n", tables.DataBase().TableCount());

    ProcessMonitor processes;
    processes.ProcessTimerTimer(tables, queue, system);  // takes the first list
    const int modules = static_cast<int>(processes.ProcessList().size());
    const double processTick = MicrosecondsPerCall(200, [&] { processes.ProcessTimerTimer(tables, queue, system); });
    std::printf("%-34s %10.1f us per tick (%d modules in a pass, one per 500 ms tick)\n", "process monitor", processTick,
                modules);

    // (The autorun keys are autostart points: autostart_bench times them with the others.)
    TRegistryWatches watches;
    watches.AddRegTimerWatches(ExeFolder() + kKeysToWatchFileName);
    std::printf("%-34s %10.1f us per tick (%zu values)\n", "watched-value pass",
                MicrosecondsPerCall(50, [&] { watches.RegChangeTimerTimer(queue); }), watches.ValueWatches.size());
    std::printf("%-34s %10.1f us per tick\n", "registry-entry pass",
                MicrosecondsPerCall(50, [&] { watches.RegistryTimerTimer(tables, queue); }));

    // A whole pass each: the rows walked in one slice.
    const std::string cookies = CookiesFolder();
    std::printf("%-34s %10.1f us per tick\n", "cookie scan", MicrosecondsPerCall(50, [&] {
                    TCookieScan scan;
                    CookiesTimerSlice(tables, queue, cookies, scan, WholePass());
                }));
    std::printf("%-34s %10.1f us per tick\n", "folder scan", MicrosecondsPerCall(50, [&] {
                    TSliceCursor cursor;
                    FoldersTimerSlice(tables, queue, MacroFolders(), cursor, WholePass());
                }));

    char system32[MAX_PATH] = {};
    GetSystemDirectoryA(system32, MAX_PATH);
    const std::string newFile = std::string(system32) + "\\kernel32.dll";
    std::printf("%-34s %10.1f us per new file (%s)\n", "system-folder lookup",
                MicrosecondsPerCall(200, [&] { (void)IsKnownSpywareFile(tables, system, newFile); }), newFile.c_str());
    std::printf("warnings queued during the run: %zu\n", static_cast<std::size_t>(queue.Count()));

    RemoveFile(folder + "database.db");
    RemoveDirectoryA(folder.c_str());
    return 0;
}
