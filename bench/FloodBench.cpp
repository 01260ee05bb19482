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
#include "ShieldDriver.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"  // WriteTextFile

namespace {

using namespace std::chrono;
using namespace sentrel;
using bench::KnownThreatContent;
using bench::Sampler;

constexpr int kValues = 500;
constexpr int kFiles = 200;
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string ValueName(int i) {
    return "Flood bench " + std::to_string(i);
}

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
    const std::string folder = bench::PrepareShieldFolder("sentrel-flood-bench", [](TOptions& options) {
        options.WriteBool("FirstRun", false);
        options.WriteBool("RunMinimized", true);
        options.WriteBool("Autorun", false);
        options.WriteInteger("WhatDo", 0);
        options.WriteInteger("Shield", 2);
    });
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
