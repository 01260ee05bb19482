// Start-up and idle of the shield beside a floor program (idle_program.exe: the same system
// libraries, a hidden window, a tray icon, one timer). Starts the floor and waits until its
// window answers messages (its tray icon is added before its message loop); then starts
// Sentrel4.exe at High with its window in the tray, from a copy of the program folder with the
// chosen database, and reads two moments from the shield's diagnostic log: "in the tray" (the
// tray icon was added) and "first pass of every monitor done". Prints both times from process
// start, then leaves the two programs idling for the caller to measure (Wine does not report
// another process's CPU time and memory to a Windows program, so scripts/idle-cost.sh reads them
// from /proc): it writes SIGNAL\ready, waits for SIGNAL\done (at most --idle-limit seconds) and
// closes both. Prints figures; asserts nothing.
//
//   idle_bench [--database=PATH] [--signal=FOLDER] [--idle-limit=SECONDS]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "config/Startup.h"
#include "platform/ProgramFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kShieldFolderName = "sentrel-idle-bench\\";
constexpr const char* kTrayLine = "in the tray";
constexpr const char* kFirstPassLine = "first pass of every monitor done";
constexpr int kStartLimitSeconds = 120;

struct Arguments {
    std::string database;
    std::string signal;
    int idleLimitSeconds = 600;
};

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const auto value = [&](std::string_view name) -> std::optional<std::string> {
            if (argument.substr(0, name.size()) != name) return std::nullopt;
            return std::string(argument.substr(name.size()));
        };
        if (auto database = value("--database=")) {
            arguments.database = *database;
        } else if (auto signal = value("--signal=")) {
            arguments.signal = *signal;
            if (!arguments.signal.empty() && arguments.signal.back() != '\\') arguments.signal += '\\';
        } else if (auto limit = value("--idle-limit=")) {
            arguments.idleLimitSeconds = std::atoi(limit->c_str());
        } else {
            std::fprintf(stderr, "usage: idle_bench [--database=PATH] [--signal=FOLDER] [--idle-limit=SECONDS]\n");
            std::exit(2);
        }
    }
    return arguments;
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

void CopyOrFail(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s to %s\n", from.c_str(), to.c_str());
        std::exit(1);
    }
}

// The files of one folder (no subfolders), as the installer lays them out.
void CopyFolder(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA found{};
    const HANDLE search = FindFirstFileA((from + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            CopyOrFail(from + found.cFileName, to + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// A program folder as installed, with `database` as its database and options that start the
// shield at High in the tray.
std::string PrepareShieldFolder(const std::string& bin, const std::string& database) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + kShieldFolderName;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"Sentrel4.exe", "keys_to_watch.ini"}) CopyOrFail(bin + name, folder + name);
    CopyOrFail(database, folder + "database.db");
    for (const char* name : {"graphics\\", "Help\\"}) CopyFolder(bin + name, folder + name);
    // What the last run left: the options, the database's working files, the backups.
    for (const char* name : {"options.ini", "database.db.bak", "database.db.new"})
        DeleteFileA((folder + name).c_str());
    sentrel::TOptions options("options.ini", folder);
    sentrel::WriteDefaultOptions(options);
    options.WriteBool("FirstRun", false);
    options.WriteBool("RunMinimized", true);
    options.WriteBool("Autorun", false);
    options.WriteInteger("Shield", 2);
    return folder;
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct FindContext {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM context) {
    auto* find = reinterpret_cast<FindContext*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != find->processId) return TRUE;
    find->found = window;
    return FALSE;
}

// Milliseconds from `start` until a top-level window of the process answers a message: its
// thread has reached its message loop. Negative when it did not within the limit.
double WaitUntilAnswering(const PROCESS_INFORMATION& process, Clock::time_point start) {
    while (MillisecondsSince(start) < kStartLimitSeconds * 1000.0) {
        FindContext find{process.dwProcessId, nullptr};
        EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&find));
        DWORD_PTR answer = 0;
        if (find.found && SendMessageTimeoutA(find.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 50, &answer))
            return MillisecondsSince(start);
        if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    return -1;
}

// Milliseconds of the local day.
double DayMilliseconds(const SYSTEMTIME& time) {
    return ((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds;
}

// The log's line "YYYY-MM-DD HH:MM:SS.mmm text" naming `text`, written after `offset`: the
// milliseconds of its local day, or nothing yet.
std::optional<double> LoggedAt(const std::string& log, std::int64_t offset, std::string_view text) {
    std::string lines;
    try {
        lines = sentrel::ReadFileText(log);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (offset > static_cast<std::int64_t>(lines.size())) offset = 0;  // a new file was started
    for (std::size_t at = static_cast<std::size_t>(offset); at < lines.size();) {
        const std::size_t end = std::min(lines.find('\n', at), lines.size());
        const std::string_view line(lines.data() + at, end - at);
        int hour = 0, minute = 0, second = 0, millis = 0;
        if (line.size() > 24 && line.substr(24, text.size()) == text &&
            std::sscanf(line.data() + 11, "%d:%d:%d.%d", &hour, &minute, &second, &millis) == 4)
            return ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millis;
        at = end + 1;
    }
    return std::nullopt;
}

struct ShieldStart {
    double trayMs = -1;
    double firstPassMs = -1;
};

ShieldStart WaitForShield(const PROCESS_INFORMATION& shield, const std::string& log, std::int64_t offset,
                          const SYSTEMTIME& started) {
    const auto since = [&](double logged) {
        double ms = logged - DayMilliseconds(started);
        if (ms < -12 * 3600 * 1000.0) ms += 24 * 3600 * 1000.0;  // past midnight
        return ms;
    };
    ShieldStart times;
    const auto limit = Clock::now() + std::chrono::seconds(kStartLimitSeconds);
    while (Clock::now() < limit && times.firstPassMs < 0) {
        if (times.trayMs < 0) {
            if (const auto at = LoggedAt(log, offset, kTrayLine)) times.trayMs = since(*at);
        }
        if (times.trayMs >= 0) {
            if (const auto at = LoggedAt(log, offset, kFirstPassLine)) times.firstPassMs = since(*at);
        }
        if (WaitForSingleObject(shield.hProcess, 5) == WAIT_OBJECT_0) break;
    }
    return times;
}

BOOL CALLBACK CloseWindowsOf(HWND window, LPARAM processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == static_cast<DWORD>(processId)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void Close(const PROCESS_INFORMATION& process) {
    EnumWindows(CloseWindowsOf, static_cast<LPARAM>(process.dwProcessId));
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
}

void Signal(const std::string& signal, const char* name) {
    if (signal.empty()) return;
    const HANDLE file = CreateFileA((signal + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// Waits for the caller's "done" (or for the limit when there is no caller).
void WaitForCaller(const std::string& signal, int limitSeconds) {
    const auto limit = Clock::now() + std::chrono::seconds(limitSeconds);
    if (signal.empty()) {
        Sleep(static_cast<DWORD>(limitSeconds) * 1000);
        return;
    }
    while (Clock::now() < limit && !sentrel::FileExists(signal + "done")) Sleep(100);
}

void PrintTime(const char* what, double ms) {
    if (ms < 0)
        std::printf("  %-44s not seen within %d s\n", what, kStartLimitSeconds);
    else
        std::printf("  %-44s %8.0f ms\n", what, ms);
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = Parse(argc, argv);
    const std::string bin = sentrel::platform::ProgramFolder();
    const std::string database = arguments.database.empty() ? bin + "database.db" : arguments.database;
    const std::string folder = PrepareShieldFolder(bin, database);
    const std::string log =
        sentrel::SettingsFolder(sentrel::platform::UserAppDataFolder()) + "Sentrel4.log";
    if (!arguments.signal.empty()) DeleteFileA((arguments.signal + "done").c_str());

    // One after the other, so that neither start-up competes with the other.
    const auto floorStart = Clock::now();
    const PROCESS_INFORMATION floor = Start(bin + "idle_program.exe", bin);
    const double floorMs = WaitUntilAnswering(floor, floorStart);

    const std::int64_t offset = std::max<std::int64_t>(sentrel::FileSize(log), 0);
    SYSTEMTIME started{};
    GetLocalTime(&started);
    const PROCESS_INFORMATION shield = Start(folder + "Sentrel4.exe", folder);
    const ShieldStart times = WaitForShield(shield, log, offset, started);

    std::printf("Start-up with %s (%lld bytes)\n", sentrel::FileNamePart(database).c_str(),
                static_cast<long long>(sentrel::FileSize(database)));
    PrintTime("floor program: window answers (tray icon)", floorMs);
    PrintTime("Sentrel4.exe: tray icon", times.trayMs);
    PrintTime("Sentrel4.exe: first pass of every monitor", times.firstPassMs);
    if (floorMs >= 0 && times.trayMs >= 0)
        std::printf("  %-44s %+8.0f ms\n", "tray icon after the floor's window", times.trayMs - floorMs);
    std::fflush(stdout);

    Signal(arguments.signal, "ready");
    WaitForCaller(arguments.signal, arguments.idleLimitSeconds);
    Close(shield);
    Close(floor);
    return 0;
}
