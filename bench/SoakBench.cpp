// The shield left running for a long time at High, asking about new threats, while a driver
// plants threats of every kind it detects on a schedule and answers each alert as a user would:
// mostly Ignore, every fifth Shield me, and every second fix undone again from the restore page.
// Every minute it samples the shield's handle count, GDI and USER objects and windows; at the end
// it prints them with the threats planted against the warnings raised and settled, the fixes
// against the backup records, and the longest time the main window took to answer a sent
// message. Nothing is asserted. Wine does not tell a Windows program another process's memory:
// scripts/soak.sh samples the shield's private memory from the Linux side meanwhile.
//   soak_bench.exe [MINUTES]   (default 30)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ShieldDriver.h"
#include "common/Files.h"
#include "platform/CookiesFolder.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"  // WriteTextFile
#include "warnings/Backuper.h"

namespace {

using namespace sentrel;
using namespace std::chrono;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kBrowserKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kThreatKey = "Software\\SentrelTest\\ThreatKey";
constexpr auto kPlantEvery = 12s;

// One planted threat: the text by which its alert names it and how the driver takes it away.
struct Planted {
    std::string kind;
    std::string token;
    std::function<void()> remove;
    int raised = 0;
    int removalTold = 0;  // alerts about its removal by the driver (after an Ignore)
    int asProgram = 0;    // alerts that named it as a running program
    std::vector<std::string> alerts;  // the lines of its alerts that name it
};

struct Kind {
    const char* name;
    std::function<Planted(int)> plant;
};

// One sample of the shield's objects.
struct Objects {
    DWORD handles = 0, gdi = 0, user = 0;
    int windows = 0;
};

int CountWindows(DWORD processId) {
    struct Count {
        DWORD processId;
        int windows;
    } count{processId, 0};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* c = reinterpret_cast<Count*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != c->processId) return TRUE;
            ++c->windows;
            EnumChildWindows(
                window, [](HWND, LPARAM d) -> BOOL { return ++*reinterpret_cast<int*>(d), TRUE; },
                reinterpret_cast<LPARAM>(&c->windows));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// The process's handles from the system's handle list: Wine answers GetProcessHandleCount for
// another process with 0.
DWORD HandlesInSystemList(DWORD processId) {
    struct Entry {
        void* object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG access;
        USHORT backTrace, type;
        ULONG attributes, reserved;
    };
    struct List {
        ULONG_PTR count, reserved;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    constexpr int kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<ULONG_PTR> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        const LONG status = query(kExtendedHandleInformation, buffer.data(), size, &needed);
        if (status == kLengthMismatch && buffer.size() < (1u << 26)) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed / sizeof(ULONG_PTR) + 1024));
            continue;
        }
        if (status < 0) return 0;
        break;
    }
    const auto* list = reinterpret_cast<const List*>(buffer.data());
    DWORD count = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i) count += list->entries[i].processId == processId;
    return count;
}

Objects Sample(DWORD processId) {
    Objects objects;
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process) {
        if (!GetProcessHandleCount(process, &objects.handles)) objects.handles = 0;
        objects.gdi = GetGuiResources(process, GR_GDIOBJECTS);
        objects.user = GetGuiResources(process, GR_USEROBJECTS);
        CloseHandle(process);
    }
    if (objects.handles == 0) objects.handles = HandlesInSystemList(processId);
    objects.windows = CountWindows(processId);
    return objects;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) joined += text + "\n";
    return joined;
}

// Undoes the newest change on the restore page of the options dialog, opened from the main
// window's Undo picture. True when the list lost the entry.
bool UndoNewest(const e2e::ShieldProcess& shield, HWND mainWindow) {
    e2e::Press(mainWindow, "undo");
    const HWND dialog = shield.WaitForWindow("TOptionsForm", 10s);
    if (!dialog || !e2e::WaitForVisibility(dialog, true, 10s)) return false;
    const HWND page = e2e::FindChildByText(dialog, "Restore Changes");
    const HWND list = page ? FindWindowExA(page, nullptr, "ListBox", nullptr) : nullptr;
    bool undone = false;
    if (list) {
        const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        if (count > 0) {
            SendMessageA(list, LB_SETSEL, FALSE, -1);
            SendMessageA(list, LB_SETSEL, TRUE, count - 1);
            SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(count - 1), FALSE);
            e2e::Press(page, "&Undo");
            undone = e2e::Eventually([&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) < count; }, 20s);
        }
    }
    e2e::Press(dialog, "&Cancel");
    e2e::WaitForVisibility(dialog, false, 10s);
    return undone;
}

}  // namespace

int main(int argc, char** argv) {
    // The process a known module runs in: a copy of this program under a name the database knows.
    if (argc > 1 && std::string(argv[1]) == "--linger") {
        Sleep(INFINITE);
        return 0;
    }
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const std::string folder = bench::PrepareShieldFolder("sentrel-soak-bench", [](TOptions& options) {
        options.WriteBool("FirstRun", false);
        options.WriteBool("RunMinimized", true);
        options.WriteBool("Autorun", false);
        options.WriteInteger("WhatDo", 0);
        options.WriteInteger("Shield", 2);
    });
    char windowsFolder[MAX_PATH] = {};
    GetWindowsDirectoryA(windowsFolder, MAX_PATH);
    const std::string windows = std::string(windowsFolder) + "\\";
    const std::string content = bench::KnownThreatContent();
    platform::RegistryKey run = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey);
    // A watched browser value is one that exists when the shield starts.
    platform::RegistryKey browser = platform::RegistryKey::Create(HKEY_CURRENT_USER, kBrowserKey);
    const auto startPage = browser.ReadValue("Start Page");
    browser.WriteString("Start Page", "http://www.sentrel.example/start");
    const std::string cookies = CookiesFolder() + "\\";
    const std::string knownFolder = platform::UserAppDataFolder() + "\\SentrelTestFolder";
    const std::string processFolder = windows + "SentrelTest";
    const std::string processPath = processFolder + "\\sentrel_test_threat.exe";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::vector<HANDLE> lingering;

    const std::vector<Kind> kinds = {
        {"autorun value", [&](int n) {
             const std::string name = "Soak " + std::to_string(n), program = "soak-tool-" + std::to_string(n) + ".exe";
             run.WriteString(name, "C:\\Program Files\\Soak\\" + program);
             return Planted{"", program, [&run, name] { run.DeleteValue(name); }};
         }},
         {"known file in the Windows folder", [&](int n) {
             const std::string name = "soak-" + std::to_string(n) + ".dll";
             test::WriteTextFile(windows + name, content);
             return Planted{"", name, [path = windows + name] { DeleteFileA(path.c_str()); }};
         }},
         {"watched browser value", [&](int n) {
             const std::string page = "http://soak-" + std::to_string(n) + ".example/";
             browser.WriteString("Start Page", page);
             return Planted{"", page, [] {}};
         }},
         {"registry entry in the database", [&](int) {
             platform::RegistryKey::Create(HKEY_CURRENT_USER, kThreatKey).WriteString("Part", "1");
             return Planted{"", "ThreatKey", [] { platform::DeleteKeyTree(HKEY_CURRENT_USER, kThreatKey); }};
         }},
         {"tracking cookie", [&](int n) {
             const std::string name = "soak" + std::to_string(n) + "@sentrel-test-tracker[1].txt";
             CreateDirectoryA(cookies.c_str(), nullptr);
             test::WriteTextFile(cookies + name, "soak\n1\nsentrel-test-tracker.example/\n");
             return Planted{"", name, [path = cookies + name] { DeleteFileA(path.c_str()); }};
         }},
         {"known folder", [&](int) {
             CreateDirectoryA(knownFolder.c_str(), nullptr);
             test::WriteTextFile(knownFolder + "\\settings.dat", "soak");
             return Planted{"", "SentrelTestFolder", [knownFolder] {
                                DeleteFileA((knownFolder + "\\settings.dat").c_str());
                                RemoveDirectoryA(knownFolder.c_str());
                            }};
         }},
         {"process with a known module", [&](int) {
             CreateDirectoryA(processFolder.c_str(), nullptr);
             CopyFileA(self, processPath.c_str(), FALSE);
             std::string line = "\"" + processPath + "\" --linger";
             STARTUPINFOA startup{sizeof startup};
             PROCESS_INFORMATION info{};
             if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
                 CloseHandle(info.hThread);
                 lingering.push_back(info.hProcess);
             }
             const HANDLE process = info.hProcess;
             return Planted{"", "sentrel_test_threat.exe", [process, processPath] {
                                if (process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                                    TerminateProcess(process, 0);
                                    WaitForSingleObject(process, 10000);
                                }
                                DeleteFileA(processPath.c_str());
                            }};
         }},
    };

    e2e::ShieldProcess shield(folder + "Sentrel4.exe");
    if (!shield.WaitUntilStarted()) {
        std::fprintf(stderr, "the shield did not start\n");
        return 1;
    }
    bench::Sampler sampler;
    sampler.main = shield.WaitForWindow("TMainForm");
    sampler.alert = shield.WaitForWindow("TAlertForm");
    sampler.measuring = true;
    std::thread sampling([&] { sampler.Run(); });

    std::vector<Planted> planted;
    std::vector<Objects> samples{Sample(shield.Id())};
    int otherAlerts = 0, answered = 0, settled = 0, ignored = 0, fixes = 0, undoTries = 0, undone = 0;
    std::string firstOther;
    std::vector<std::string> fixedKinds;
    std::printf("Soak: %d minutes at High, a threat planted every %lld s\n", minutes,
                static_cast<long long>(kPlantEvery.count()));
    std::printf("  minute  handles  GDI  USER  windows\n");
    std::printf("  %6d  %7lu %4lu %5lu %8d\n", 0, samples.back().handles, samples.back().gdi, samples.back().user,
                samples.back().windows);
    std::fflush(stdout);
    const auto start = steady_clock::now(), end = start + minutes * 1min;
    auto nextPlant = start + 5s, nextSample = start + 1min;
    while (steady_clock::now() < end && shield.IsRunning()) {
        const auto now = steady_clock::now();
        if (now >= nextSample) {
            nextSample += 1min;
            const Objects s = Sample(shield.Id());
            samples.push_back(s);
            std::printf("  %6zu  %7lu %4lu %5lu %8d\n", samples.size() - 1, s.handles, s.gdi, s.user, s.windows);
            std::fflush(stdout);
        }
        if (now >= nextPlant) {
            nextPlant += kPlantEvery;
            const int n = static_cast<int>(planted.size());
            const Kind& kind = kinds[static_cast<std::size_t>(n) % kinds.size()];
            Planted item = kind.plant(n);
            item.kind = kind.name;
            planted.push_back(std::move(item));
        }
        if (IsWindowVisible(sampler.alert)) {
            const std::string texts = Joined(e2e::ChildTexts(sampler.alert));
            Planted* match = nullptr;
            for (auto it = planted.rbegin(); it != planted.rend() && !match; ++it)
                if (texts.find(it->token) != std::string::npos) match = &*it;
            const bool removal = texts.find("was deleted from the system folder by unknown program") != std::string::npos;
            if (match) {
                ++(removal ? match->removalTold : match->raised);
                match->asProgram += texts.find("Malicious program is found in processes") != std::string::npos;
                for (const std::string& line : e2e::ChildTexts(sampler.alert))
                    if (line.find(match->token) != std::string::npos) match->alerts.push_back(line);
            }
            else if (otherAlerts++ == 0) firstOther = texts;
            ++answered;
            const bool shieldMe = match && !removal && answered % 5 == 0;
            const HWND button = e2e::FindChildByText(sampler.alert, shieldMe ? "shield" : "ignore");
            if (button) {
                e2e::Eventually([&] { return IsWindowEnabled(button) != FALSE; }, 10s);
                PostMessageA(button, BM_CLICK, 0, 0);
            }
            if (e2e::WaitForVisibility(sampler.alert, false, 60s)) ++settled;
            if (shieldMe) {
                ++fixes;
                fixedKinds.push_back(match->kind);
                if (fixes % 2 == 0) {
                    ++undoTries;
                    undone += UndoNewest(shield, sampler.main) ? 1 : 0;
                }
            } else {
                ++ignored;
            }
            // The driver takes away what it planted once the shield has told of it.
            if (match && !removal) match->remove();
            continue;
        }
        std::this_thread::sleep_for(100ms);
    }
    sampler.measuring = false;
    sampler.stop = true;
    sampling.join();
    const bool survived = shield.IsRunning();
    PostMessageA(sampler.main, WM_CLOSE, 0, 0);
    shield.WaitForExit();
    if (shield.IsRunning()) {
        e2e::RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
        shield.WaitForExit();
    }
    TBackuper backuper(folder);
    const int records = backuper.GetCount();

    std::printf("Threats planted and alerts answered (%s)\n", survived ? "the shield ran to the end" : "THE SHIELD ENDED");
    for (const Kind& kind : kinds) {
        int count = 0, once = 0, more = 0, removals = 0, asProgram = 0;
        for (const Planted& item : planted) {
            if (item.kind != kind.name) continue;
            ++count;
            once += item.raised == 1;
            more += item.raised > 1;
            removals += item.removalTold;
            asProgram += item.asProgram;
        }
        std::printf("  %-34s planted %4d, raised once %4d, more than once %3d, never %3d; its removal told %3d; "
                    "told as a running program %3d\n",
                    kind.name, count, once, more, count - once - more, removals, asProgram);
        // What the alerts said of one of them (one raised more than once, if any).
        const Planted* shown = nullptr;
        for (const Planted& item : planted)
            if (item.kind == kind.name && item.raised > 0 && (!shown || (shown->raised < 2 && item.raised > 1)))
                shown = &item;
        if (shown)
            for (const std::string& line : shown->alerts) std::printf("      %.150s\n", line.c_str());
    }
    std::printf("  alerts answered %d (Ignore %d, Shield me %d), settled (alert closed) %d, naming no planted threat %d\n",
                answered, ignored, fixes, settled, otherAlerts);
    std::string fixedList;
    for (const std::string& kind : fixedKinds) fixedList += (fixedList.empty() ? "" : ", ") + kind;
    std::printf("  fixed: %s\n", fixedList.c_str());
    if (!firstOther.empty()) std::printf("    the first of them: %s", firstOther.c_str());
    std::printf("  fixes %d, undone from the restore page %d of %d tried, backup records left %d (expected %d)\n", fixes,
                undone, undoTries, records, fixes - undone);
    for (int i = 0; i < records; ++i) std::printf("    record: %s\n", backuper.GetString(i, "Desc").c_str());
    DWORD minHandles = samples.front().handles, maxHandles = 0;
    for (const Objects& s : samples) {
        minHandles = std::min(minHandles, s.handles);
        maxHandles = std::max(maxHandles, s.handles);
    }
    std::printf("  handles from %lu to %lu (first %lu, last %lu)%s\n", minHandles, maxHandles, samples.front().handles,
                samples.back().handles,
                samples.back().gdi == 0 && samples.back().user == 0 ? "; GDI and USER counts: not reported by Wine" : "");
    std::printf("  longest answer to a sent message, main window %6.1f ms\n", sampler.mainMaxUs / 1000.0);
    std::printf("  longest answer to a sent message, alert       %6.1f ms\n", sampler.alertMaxUs / 1000.0);
    std::printf("  answers over 100 ms (both windows)            %6d\n", sampler.slowAnswers.load());
    for (const auto& [us, when] : sampler.slowest) std::printf("    %7.1f ms from %s\n", us / 1000.0, when.c_str());

    for (Planted& item : planted) item.remove();
    for (const HANDLE process : lingering) CloseHandle(process);
    RemoveDirectoryA(processFolder.c_str());
    if (startPage) browser.WriteValue("Start Page", startPage->type, startPage->data);
    else browser.DeleteValue("Start Page");
    return 0;
}
