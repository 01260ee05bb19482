#pragma once
// What the benchmarks that drive the real shield share: a program folder of a fixed name (by
// which the scripts find the shield's process from the Linux side), a file the shipped database
// knows, and a sampler of how long the shield's windows take to answer a sent message.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/OptionKeys.h"
#include "config/Options.h"
#include "e2e/ShieldProcess.h"

namespace sentrel::bench {

using namespace std::chrono;

// %TEMP%\<name>\ with a copy of the built shield, its database, watch list and pictures, and
// fresh options (the defaults changed by `options`). Returns the folder, ending in a backslash.
inline std::string PrepareShieldFolder(const std::string& name, const std::function<void(TOptions&)>& options) {
    const std::string bin = e2e::BuildBinFolder();
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + name + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "graphics").c_str(), nullptr);
    for (const char* file : {"Sentrel4.exe", "database.db", "keys_to_watch.ini"})
        CopyFileA((bin + file).c_str(), (folder + file).c_str(), FALSE);
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((bin + "graphics\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            CopyFileA((bin + "graphics\\" + found.cFileName).c_str(), (folder + "graphics\\" + found.cFileName).c_str(),
                      FALSE);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    for (const char* file : {"options.ini", "backups.ini", "white_list.txt", "black_list.txt"})
        DeleteFileA((folder + file).c_str());
    TOptions written("options.ini", folder);
    WriteDefaultOptions(written);
    options(written);
    return folder;
}

// 4096 bytes the shipped database knows by their checksums (its test set).
inline std::string KnownThreatContent() {
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

}  // namespace sentrel::bench
