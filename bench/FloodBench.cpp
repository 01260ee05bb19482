// A flood of findings: 500 new autorun values and 200 known threat files appear within ten
// seconds while the real shield runs at High and asks about new threats. A driver answers each
// alert as a user swamped by them would ("Shield me" with "Do it always with all such threats").
// Prints the time from the last planted value to the moment every planted threat was settled
// (the queue drained), the longest time the main window and the alert took to answer a sent
// message meanwhile. Nothing is asserted. Wine does not tell a Windows program another process's
// memory: scripts/flood.sh samples the shield's private memory from the Linux side.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>
#include <string>
#include <thread>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "config/Startup.h"
#include "platform/ProgramFolder.h"
#include "e2e/ShieldProcess.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"  // WriteTextFile

namespace {

using namespace std::chrono;
using namespace sentrel;

constexpr int kValues = 500;
constexpr int kFiles = 200;
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string ValueName(int i) {
    return "Flood bench " + std::to_string(i);
}

// 4096 bytes the shipped database knows by their checksums (its test set).
std::string KnownThreatContent() {
    std::string content(4096, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((7 * i) % 251);
    return content;
}

// The longest answer of a window to WM_NULL, sampled on a thread of its own so that a busy shield
// never stalls the driver.
struct Sampler {
    HWND main = nullptr;
    HWND alert = nullptr;
    std::atomic<bool> measuring{false};
    std::atomic<bool> stop{false};
    std::atomic<long long> mainMaxUs{0};
    std::atomic<long long> alertMaxUs{0};
    std::atomic<int> slowAnswers{0};  // over 100 ms
    // The slowest answers with the local time they began (to find them in the shield's log).
    std::mutex slowestLock;
    std::vector<std::pair<long long, std::string>> slowest;

    void Note(long long us, const SYSTEMTIME& at, const char* window) {
        char text[64];
        std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d %s", at.wHour, at.wMinute, at.wSecond, at.wMilliseconds,
                      window);
        const std::lock_guard lock(slowestLock);
        slowest.emplace_back(us, text);
        std::sort(slowest.begin(), slowest.end(), std::greater<>());
        if (slowest.size() > 5) slowest.pop_back();
    }

    static long long AnswerUs(HWND window) {
        const auto start = steady_clock::now();
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        return duration_cast<microseconds>(steady_clock::now() - start).count();
    }
    static void Raise(std::atomic<long long>& max, long long value) {
        long long seen = max.load();
        while (value > seen && !max.compare_exchange_weak(seen, value)) {
        }
    }

    void Run() {
        while (!stop) {
            SYSTEMTIME mainAt{}, alertAt{};
            GetLocalTime(&mainAt);
            const long long mainUs = AnswerUs(main);
            GetLocalTime(&alertAt);
            const long long alertUs = AnswerUs(alert);
            if (measuring) {
                Raise(mainMaxUs, mainUs);
                Raise(alertMaxUs, alertUs);
                slowAnswers += (mainUs > 100000) + (alertUs > 100000);
                Note(mainUs, mainAt, "main window");
                Note(alertUs, alertAt, "alert");
            }
            std::this_thread::sleep_for(20ms);
        }
    }
};

// "Shield me" for all such threats on the alert, when it shows; posted, so the driver goes on.
int AnswerAlert(HWND alert) {
    if (!IsWindowVisible(alert)) return 0;
    const HWND allSuch = e2e::FindChildByText(alert, "Do it always with all such threats");
    const HWND shield = e2e::FindChildByText(alert, "shield");
    if (!allSuch || !shield || !IsWindowEnabled(shield)) return 0;
    SendMessageA(allSuch, BM_SETCHECK, BST_CHECKED, 0);
    PostMessageA(shield, BM_CLICK, 0, 0);
    e2e::WaitForVisibility(alert, false, 60s);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int limitSeconds = argc > 1 ? std::atoi(argv[1]) : 1200;
    // A folder of a fixed name, by which the script finds the shield's process.
    const std::string bin = e2e::BuildBinFolder();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "sentrel-flood-bench\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "graphics").c_str(), nullptr);
    for (const char* name : {"Sentrel4.exe", "database.db", "keys_to_watch.ini"})
        CopyFileA((bin + name).c_str(), (folder + name).c_str(), FALSE);
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((bin + "graphics\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            CopyFileA((bin + "graphics\\" + found.cFileName).c_str(), (folder + "graphics\\" + found.cFileName).c_str(),
                      FALSE);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    for (const char* name : {"options.ini", "backups.ini", "white_list.txt", "black_list.txt"})
        DeleteFileA((folder + name).c_str());
    {
        TOptions options("options.ini", folder);
        WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("RunMinimized", true);
        options.WriteBool("Autorun", false);
        options.WriteInteger("WhatDo", 0);
        options.WriteInteger("Shield", 2);
    }
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    // In the Windows folder itself, where a dropper puts them.
    const std::string files = std::string(windows) + "\\flood-bench-";
    platform::RegistryKey run = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey);

    // The shield's diagnostic log: what it told the user at the end of the burst.
    const std::string logPath = SettingsFolder(platform::UserAppDataFolder()) + "Sentrel4.log";
    const auto logText = [&] {
        try {
            return ReadFileText(logPath);
        } catch (const std::exception&) {
            return std::string();
        }
    };
    const std::size_t logStart = logText().size();
    e2e::ShieldProcess shield(folder + "Sentrel4.exe");
    if (!shield.WaitUntilStarted()) {
        std::fprintf(stderr, "the shield did not start\n");
        return 1;
    }
    Sampler sampler;
    sampler.main = shield.WaitForWindow("TMainForm");
    sampler.alert = shield.WaitForWindow("TAlertForm");
    std::thread sampling([&] { sampler.Run(); });

    // Planting: a value every 16 ms, a file with every other value up to 200: about 8 s.
    const std::string content = KnownThreatContent();
    const auto plantStart = steady_clock::now();
    sampler.measuring = true;
    int answered = 0;
    for (int i = 0; i < kValues; ++i) {
        run.WriteString(ValueName(i), "C:\\Program Files\\Flood\\tool" + std::to_string(i) + ".exe");
        if (i % 2 == 0 && i / 2 < kFiles) test::WriteTextFile(files + "threat" + std::to_string(i / 2) + ".dll", content);
        std::this_thread::sleep_for(16ms);
    }
    const auto lastPlanted = steady_clock::now();

    // Settled means gone: every value deleted and every file moved away by the fixes.
    const auto remaining = [&] {
        int left = 0;
        for (int i = 0; i < kValues; ++i) left += run.ReadValue(ValueName(i)).has_value() ? 1 : 0;
        for (int i = 0; i < kFiles; ++i)
            left += GetFileAttributesA((files + "threat" + std::to_string(i) + ".dll").c_str()) != INVALID_FILE_ATTRIBUTES;
        return left;
    };
    int left = kValues + kFiles;
    auto lastCheck = steady_clock::now() - 1s;
    while (steady_clock::now() - lastPlanted < seconds(limitSeconds)) {
        answered += AnswerAlert(sampler.alert);
        if (steady_clock::now() - lastCheck >= 500ms) {
            lastCheck = steady_clock::now();
            left = remaining();
            if (left == 0 && !IsWindowVisible(sampler.alert)) break;
        }
        std::this_thread::sleep_for(20ms);
    }
    const double drained = duration<double>(steady_clock::now() - lastPlanted).count();
    sampler.measuring = false;
    // The burst is told on the first dispatcher tick that finds the queue empty.
    std::string told;
    e2e::Eventually([&] {
        const std::string text = logText();
        const std::size_t at = text.find("burst settled: ", std::min(logStart, text.size()));
        if (at == std::string::npos) return false;
        told = text.substr(at, text.find('\n', at) - at);
        return true;
    }, 15s);
    sampler.stop = true;
    sampling.join();

    std::printf("Flood: %d autorun values and %d known files planted in %.1f s, Shield me for all such threats "
                "on %d alerts\n",
                kValues, kFiles, duration<double>(lastPlanted - plantStart).count(), answered);
    if (left == 0) {
        std::printf("  last planted value to an empty queue       %8.1f s\n", drained);
    } else {
        std::printf("  not drained after %d s: %d planted threats left\n", limitSeconds, left);
    }
    std::printf("  longest answer to a sent message, main window %6.1f ms\n", sampler.mainMaxUs / 1000.0);
    std::printf("  longest answer to a sent message, alert       %6.1f ms\n", sampler.alertMaxUs / 1000.0);
    std::printf("  answers over 100 ms (both windows)            %6d\n", sampler.slowAnswers.load());
    for (const auto& [us, when] : sampler.slowest) std::printf("    %7.1f ms from %s\n", us / 1000.0, when.c_str());
    std::printf("  told the user: %s\n", told.empty() ? "(nothing)" : told.c_str());

    for (int i = 0; i < kValues; ++i) run.DeleteValue(ValueName(i));
    for (int i = 0; i < kFiles; ++i) DeleteFileA((files + "threat" + std::to_string(i) + ".dll").c_str());
    PostMessageA(sampler.main, WM_CLOSE, 0, 0);
    shield.WaitForExit();
    return 0;
}
