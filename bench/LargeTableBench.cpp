// What the table-walking monitors cost when their tables are large: for 1,000, 50,000 and
// 1,000,000 rows (generated in memory), the longest single tick and the time of a whole pass
// for the registry-entry pass (RegEntries), the watched-value pass (the watch list), the folder
// scan (Folders) and the cookie scan (Cookies, against a folder of 20 cookie files), each as a
// whole pass in one tick and as a pass in time-bounded slices. A sliced pass is driven tick
// after tick without the pause between them, so its pass time is the work alone. Prints
// figures; asserts nothing.
//
//   large_table_bench [--whole-up-to=N] [rows...]   (default 1000 50000 1000000)
// --whole-up-to leaves out the whole-pass runs of the registry and folder walks above N rows
// (under Wine a whole pass of 1,000,000 rows runs for minutes).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/DataBase.h"
#include "database/ShellFoldersWin.h"
#include "database/ThreatTables.h"
#include "monitors/CookieRules.h"
#include "monitors/RegistryMonitors.h"
#include "monitors/Scanners.h"
#include "monitors/SliceCursor.h"
#include "platform/Registry.h"

namespace {

using namespace sentrel;
using Clock = std::chrono::steady_clock;

constexpr const char* kBenchKey = "Software\\SentrelLargeTableBench";
constexpr int kVendorKeys = 100;
constexpr int kWatchedValues = 100;
constexpr int kCookieFiles = 20;

struct PassFigures {
    double longestTickMs = 0;
    double passMs = 0;
    int ticks = 0;
};

// Runs `tick` until it says the pass is over (true); a tick that returns false leaves the rest
// of the pass to the next one.
PassFigures MeasurePass(const std::function<bool()>& tick) {
    PassFigures figures;
    const auto start = Clock::now();
    for (bool done = false; !done;) {
        const auto tickStart = Clock::now();
        done = tick();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - tickStart).count();
        figures.longestTickMs = std::max(figures.longestTickMs, ms);
        ++figures.ticks;
    }
    figures.passMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    return figures;
}

void Print(const char* what, int rows, const PassFigures& figures) {
    std::printf("%-22s %9d rows  longest tick %10.1f ms  full pass %10.1f ms  (%d ticks)\n", what, rows,
                figures.longestTickMs, figures.passMs, figures.ticks);
    std::fflush(stdout);
}

std::unique_ptr<TTable> MakeTable(const char* name, std::initializer_list<const char*> columns) {
    auto table = std::make_unique<TTable>(name);
    for (const char* column : columns) table->AddColumn(std::make_unique<TColumn>(column));
    return table;
}

void SetLast(TTable& table, int column, const std::string& text) {
    table.GetColumn(column)->SetString(table.RowCount() - 1, text);
}

// RegEntries rows below the bench key: the vendor keys exist, the entries below them do not,
// so every row opens its parent and looks for a key and a value (the costliest row that
// reports nothing).
std::unique_ptr<TThreatTables> MakeTables(int rows) {
    auto registry = MakeTable("RegEntries", {"REG_PATH", "SPYWARE_REF"});
    auto folders = MakeTable("Folders", {"FILE_PATH", "CAN_BE_DELETED", "SPYWARE_REF"});
    auto cookies = MakeTable("Cookies", {"FILES_MASK", "SPYWARE_REF"});
    for (int i = 0; i < rows; ++i) {
        registry->AddRow();
        SetLast(*registry, 0, "HKEY_CURRENT_USER\\" + std::string(kBenchKey) + "\\Vendor" +
                                  std::to_string(i % kVendorKeys) + "\\Entry" + std::to_string(i));
        SetLast(*registry, 1, "1");
        folders->AddRow();
        SetLast(*folders, 0, "%2%\\Sentrel Bench Vendor " + std::to_string(i) + "\\");
        SetLast(*folders, 1, "1");
        SetLast(*folders, 2, "1");
        cookies->AddRow();
        SetLast(*cookies, 0, "*@tracker" + std::to_string(i) + "[*].txt");
        SetLast(*cookies, 1, "1");
    }
    auto dataBase = std::make_unique<TDataBase>("", false, "");
    dataBase->AddTable(std::move(registry));
    dataBase->AddTable(std::move(folders));
    dataBase->AddTable(std::move(cookies));
    return std::make_unique<TThreatTables>(std::move(dataBase));
}

// `count` watched values, cycling over the bench key's real string values (unchanged, so a
// pass reports nothing and reads every value).
void FillWatches(TRegistryWatches& watches, int count) {
    watches.ValueWatches.clear();
    watches.ValueWatches.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        TRegMonitor watch;
        watch.Kind = 'z';
        watch.Registry = RegistryRoot::CurrentUser;
        watch.KeyPath = std::string(kBenchKey) + "\\Watched";
        watch.FullKey = "HKCU\\" + watch.KeyPath;
        watch.ValueName = "Value" + std::to_string(i % kWatchedValues);
        watch.KnownRegString = "http://start.example/" + std::to_string(i % kWatchedValues);
        watches.ValueWatches.push_back(std::move(watch));
    }
}

void PrepareRegistry() {
    using platform::RegistryKey;
    RegDeleteTreeA(HKEY_CURRENT_USER, kBenchKey);
    for (int i = 0; i < kVendorKeys; ++i)
        RegistryKey::Create(HKEY_CURRENT_USER, std::string(kBenchKey) + "\\Vendor" + std::to_string(i));
    RegistryKey watched = RegistryKey::Create(HKEY_CURRENT_USER, std::string(kBenchKey) + "\\Watched");
    for (int i = 0; i < kWatchedValues; ++i)
        watched.WriteString("Value" + std::to_string(i), "http://start.example/" + std::to_string(i));
}

std::string PrepareCookies() {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "sentrel-large-table-cookies";
    CreateFolders(folder + "\\");
    for (int i = 0; i < kCookieFiles; ++i)
        WriteFileBytes(folder + "\\user@site" + std::to_string(i) + "[1].txt", std::vector<std::uint8_t>{'c'}, false);
    return folder;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    long long wholeUpTo = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.starts_with("--whole-up-to="))
            wholeUpTo = std::atoll(argument.c_str() + 14);
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) sizes = {1000, 50000, 1000000};

    PrepareRegistry();
    const std::string cookieFolder = PrepareCookies();
    const TMacroFolderSource& macros = MacroFolders();
    WarningQueue queue;

    for (const int rows : sizes) {
        const std::unique_ptr<TThreatTables> tables = MakeTables(rows);
        TRegistryWatches watches;
        FillWatches(watches, rows);
        TSliceCursor folderCursor;
        TCookieScan cookieScan;
        const auto slice = [] { return TimeBudget(kMonitorSliceTime); };
        const bool whole = wholeUpTo < 0 || rows <= wholeUpTo;

        std::printf("-- %d rows\n", rows);
        if (whole) Print("registry-entry whole", rows, MeasurePass([&] {
                  watches.RegistryTimerTimer(*tables, queue);
                  return true;
              }));
        Print("registry-entry sliced", rows,
              MeasurePass([&] { return watches.RegistryTimerSlice(*tables, queue, slice()); }));
        if (whole) Print("watched-value whole", rows, MeasurePass([&] {
                  watches.RegChangeTimerTimer(queue);
                  return true;
              }));
        Print("watched-value sliced", rows, MeasurePass([&] { return watches.RegChangeTimerSlice(queue, slice()); }));
        // Not a tick: what a browser-setting fix does on the main thread, once per click, when
        // it refreshes every watch, and when it refreshes the watches of the value it rewrote.
        if (whole) Print("refresh every watch", rows, MeasurePass([&] {
                  watches.RefreshKnownRegStrings();
                  return true;
              }));
        Print("refresh one value", rows, MeasurePass([&] {
                  watches.RefreshKnownRegString(RegistryRoot::CurrentUser, std::string(kBenchKey) + "\\Watched",
                                                "Value7");
                  return true;
              }));
        if (whole) Print("folder scan whole", rows, MeasurePass([&] {
                  TSliceCursor cursor;
                  return FoldersTimerSlice(*tables, queue, macros, cursor, WholePass());
              }));
        Print("folder scan sliced", rows,
              MeasurePass([&] { return FoldersTimerSlice(*tables, queue, macros, folderCursor, slice()); }));
        Print("cookie scan whole", rows, MeasurePass([&] {
                  TCookieScan scan;
                  return CookiesTimerSlice(*tables, queue, cookieFolder, scan, WholePass());
              }));
        Print("cookie scan sliced", rows,
              MeasurePass([&] { return CookiesTimerSlice(*tables, queue, cookieFolder, cookieScan, slice()); }));
    }
    std::printf("warnings queued during the run: %zu (expected 0)\n", static_cast<std::size_t>(queue.Count()));

    RegDeleteTreeA(HKEY_CURRENT_USER, kBenchKey);
    for (int i = 0; i < kCookieFiles; ++i) RemoveFile(cookieFolder + "\\user@site" + std::to_string(i) + "[1].txt");
    RemoveDirectoryA(cookieFolder.c_str());
    return 0;
}
