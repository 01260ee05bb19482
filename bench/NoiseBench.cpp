// A week of an ordinary desktop, played in a few minutes against the real shield at High that
// asks about every new finding: Windows replaces the instances of a per-user service at each
// sign-in, two updaters move to new versions twice (their service, task and Run value), a browser
// switches its start with Windows off and on, and Windows fills and empties its Temp, Logs and
// SoftwareDistribution folders. None of it should raise an alert. Two controls must: a new
// program in the Run key and a library removed from System32. Prints every alert it saw (and
// answered with Ignore); nothing is asserted.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "config/Options.h"
#include "e2e/ShieldProcess.h"
#include "ShieldDriver.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"  // WriteTextFile

namespace {

using namespace std::chrono;
using namespace sentrel;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kServices = "SYSTEM\\CurrentControlSet\\Services\\";

std::string WindowsFolder() {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return windows;
}

void WriteService(const std::string& name, DWORD type, const std::string& imagePath) {
    platform::RegistryKey key = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, kServices + name);
    key.WriteDword("Type", type);
    key.WriteDword("Start", SERVICE_AUTO_START);
    key.WriteString("ImagePath", imagePath);
}

void DeleteService(const std::string& name) {
    platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, kServices + name);
}

// A task as the Task Scheduler stores it: its definition below System32\Tasks.
std::string TaskFile(const std::string& name) {
    return WindowsFolder() + "\\System32\\Tasks\\" + name;
}

void WriteTask(const std::string& name, const std::string& command, const std::string& arguments) {
    test::WriteTextFile(TaskFile(name),
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                        "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
                        "  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>\r\n"
                        "  <Actions Context=\"Author\"><Exec><Command>" + command + "</Command><Arguments>" +
                            arguments + "</Arguments></Exec></Actions>\r\n</Task>\r\n");
}

// The alerts the shield raised: each one's texts, answered with Ignore.
struct AlertWatch {
    HWND alert = nullptr;
    std::vector<std::string> seen;

    void Answer() {
        if (!alert || !IsWindowVisible(alert)) return;
        const HWND ignore = e2e::FindChildByText(alert, "ignore");
        if (!ignore || !IsWindowEnabled(ignore)) return;
        std::string texts;
        for (const std::string& text : e2e::ChildTexts(alert))
            if (!text.empty() && text != "Do it always" && text != "Do it always with all such threats" &&
                text != "shield" && text != "ignore" && text != "close3" && !text.ends_with(" waiting"))
                texts += (texts.empty() ? "" : " | ") + text;
        if (!seen.empty() && seen.back() == texts) return;  // still the one answered
        seen.push_back(texts);
        PostMessageA(ignore, BM_CLICK, 0, 0);
        e2e::WaitForVisibility(alert, false, 10s);
    }

    // Answers what comes until `done` holds (or `limit` passes); whether it held.
    bool Until(const std::function<bool()>& done, milliseconds limit = 60s) {
        const auto start = steady_clock::now();
        while (steady_clock::now() - start < limit) {
            Answer();
            if (done()) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }
};

}  // namespace

int main() {
    const std::string folder = bench::PrepareShieldFolder("sentrel-noise-bench", [](TOptions& options) {
        options.WriteBool("FirstRun", false);
        options.WriteBool("RunMinimized", true);
        options.WriteBool("Autorun", false);
        options.WriteInteger("WhatDo", 0);  // ask about every new finding
        options.WriteInteger("Shield", 2);  // High
    });
    const std::string windows = WindowsFolder();
    const std::string local = [] {
        char path[MAX_PATH] = {};
        GetEnvironmentVariableA("LOCALAPPDATA", path, MAX_PATH);
        return std::string(path);
    }();
    platform::RegistryKey run = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey);
    const std::string baseline = e2e::AutostartBaselinePath();
    const auto baselineHas = [&](const std::string& text) {
        try {
            return ReadFileText(baseline).find(text) != std::string::npos;
        } catch (const std::exception&) {
            return false;
        }
    };
    const auto versionA = [](const char* version) { return "C:\\Program Files\\NoiseA\\" + std::string(version); };
    const auto appB = [&](const char* version) {
        return "\"" + local + "\\NoiseB\\app-" + version + "\\NoiseB.exe\" --process-start-args \"--startup\"";
    };
    const std::string browser = "\"C:\\Program Files\\NoiseBrowser\\Application\\browser.exe\" --no-startup-window";
    const std::string systemLibrary = windows + "\\System32\\noise-control.dll";

    // What the desktop holds before the shield's first start.
    e2e::ForgetAutostartBaseline();
    WriteService("NoiseUserSvc", 0x50, "C:\\Windows\\System32\\svchost.exe -k NoiseUserSvcGroup");
    WriteService("NoiseUserSvc_1a2b3", 0xD0, "C:\\Windows\\System32\\svchost.exe -k NoiseUserSvcGroup");
    WriteService("NoiseAUpdaterService1.2.3", 0x10, "\"" + versionA("1.2.3") + "\\updater.exe\" /svc");
    WriteTask("NoiseA Updater 1.2.3", versionA("1.2.3") + "\\updater.exe", "/check");
    WriteTask("NoiseB Update {0A1B2C3D-1111-4222-8333-444455556666}", local + "\\NoiseB\\Update.exe", "--update");
    run.WriteString("NoiseA", "\"" + versionA("1.2.3") + "\\agent.exe\" --tray");
    run.WriteString("NoiseB", appB("2.0.1"));
    run.WriteString("NoiseBrowserAutoLaunch_5E1A9C3F", browser);
    test::WriteTextFile(systemLibrary, "MZ a library of the system");
    for (const char* made : {"\\Logs", "\\Logs\\CBS", "\\SoftwareDistribution", "\\SoftwareDistribution\\Download"})
        CreateDirectoryA((windows + made).c_str(), nullptr);

    e2e::ShieldProcess shield(folder + "Sentrel4.exe");
    if (!shield.WaitUntilStarted()) {
        std::fprintf(stderr, "the shield did not start\n");
        return 1;
    }
    AlertWatch watch;
    watch.alert = shield.WaitForWindow("TAlertForm");
    const auto start = steady_clock::now();
    std::vector<std::string> late;  // steps the shield did not take in within their time
    const auto step = [&](const char* what, const std::function<bool()>& taken) {
        if (!watch.Until(taken)) late.push_back(what);
    };
    step("the first pass", [&] { return baselineHas("NoiseA Updater 1.2.3"); });

    // A week: three sign-ins, two updates of each updater, the browser's start off and on.
    const char* instances[] = {"NoiseUserSvc_1a2b3", "NoiseUserSvc_4c5d6", "NoiseUserSvc_7e8f9", "NoiseUserSvc_a0b1c"};
    for (int signIn = 1; signIn <= 3; ++signIn) {
        DeleteService(instances[signIn - 1]);
        WriteService(instances[signIn], 0xD0, "C:\\Windows\\System32\\svchost.exe -k NoiseUserSvcGroup");
        // An instance is never in the baseline: a pass and a bit (the passes are 6 s apart).
        watch.Until([] { return false; }, 8s);
    }
    const char* versionsA[] = {"1.2.3", "1.2.4", "1.3.0"};
    const char* versionsB[] = {"2.0.1", "2.1.0", "2.2.7"};
    const char* guidsB[] = {"{0A1B2C3D-1111-4222-8333-444455556666}", "{9F8E7D6C-5555-4666-8777-888899990000}",
                            "{13579BDF-2468-4ACE-8BDF-0123456789AB}"};
    for (int update = 1; update <= 2; ++update) {
        const std::string was = versionA(versionsA[update - 1]);
        const std::string is = versionA(versionsA[update]);
        DeleteService("NoiseAUpdaterService" + std::string(versionsA[update - 1]));
        WriteService("NoiseAUpdaterService" + std::string(versionsA[update]), 0x10, "\"" + is + "\\updater.exe\" /svc");
        DeleteFileA(TaskFile("NoiseA Updater " + std::string(versionsA[update - 1])).c_str());
        WriteTask("NoiseA Updater " + std::string(versionsA[update]), is + "\\updater.exe", "/check");
        run.WriteString("NoiseA", "\"" + is + "\\agent.exe\" --tray");
        run.WriteString("NoiseB", appB(versionsB[update]));
        DeleteFileA(TaskFile("NoiseB Update " + std::string(guidsB[update - 1])).c_str());
        WriteTask("NoiseB Update " + std::string(guidsB[update]), local + "\\NoiseB\\Update.exe", "--update");
        step("an update", [&] {
            return baselineHas("NoiseAUpdaterService" + std::string(versionsA[update])) &&
                   baselineHas("NoiseA Updater " + std::string(versionsA[update])) && baselineHas(versionsB[update]) &&
                   baselineHas(guidsB[update]);
        });
    }
    run.DeleteValue("NoiseBrowserAutoLaunch_5E1A9C3F");
    step("the browser's start off", [&] { return baselineHas("removed\tautorun HKCU\\"); });
    run.WriteString("NoiseBrowserAutoLaunch_5E1A9C3F", browser);
    step("the browser's start on", [&] { return baselineHas("NoiseBrowserAutoLaunch_5E1A9C3F"); });

    // Windows' own housekeeping: a thousand files made and removed where it keeps its scratch.
    const std::string churned[] = {windows + "\\Temp\\noise-", windows + "\\Logs\\CBS\\noise-",
                                   windows + "\\SoftwareDistribution\\Download\\noise-"};
    for (int i = 0; i < 1000; ++i) test::WriteTextFile(churned[i % 3] + std::to_string(i) + ".dll", "MZ scratch");
    for (int i = 0; i < 1000; ++i) DeleteFileA((churned[i % 3] + std::to_string(i) + ".dll").c_str());
    watch.Until([] { return false; }, 15s);
    const std::size_t noise = watch.seen.size();

    // The controls: each must raise an alert.
    run.WriteString("NoiseControl", "\"C:\\Users\\Public\\noise\\helper.exe\" /quiet");
    DeleteFileA(systemLibrary.c_str());
    step("the controls", [&] { return watch.seen.size() >= noise + 2; });
    const double took = duration<double>(steady_clock::now() - start).count();

    std::printf("Noise: a week of an ordinary desktop in %.0f s: 3 sign-ins, 2 updaters moved twice (service, "
                "task, Run value), a start with Windows off and on, 1000 files made and removed below Temp, Logs "
                "and SoftwareDistribution\n",
                took);
    std::printf("  alerts raised by the noise (goal: none)       %zu\n", noise);
    for (std::size_t i = 0; i < noise; ++i) std::printf("    %s\n", watch.seen[i].c_str());
    std::printf("  alerts raised by the 2 controls (goal: 2)     %zu\n", watch.seen.size() - noise);
    for (std::size_t i = noise; i < watch.seen.size(); ++i) std::printf("    %s\n", watch.seen[i].c_str());
    for (const std::string& what : late) std::printf("  not taken in within a minute: %s\n", what.c_str());

    PostMessageA(shield.WaitForWindow("TMainForm"), WM_CLOSE, 0, 0);
    shield.WaitForExit();
    for (const char* name : {"NoiseUserSvc", "NoiseUserSvc_a0b1c", "NoiseAUpdaterService1.3.0"}) DeleteService(name);
    DeleteFileA(TaskFile("NoiseA Updater 1.3.0").c_str());
    DeleteFileA(TaskFile("NoiseB Update " + std::string(guidsB[2])).c_str());
    for (const char* name : {"NoiseA", "NoiseB", "NoiseBrowserAutoLaunch_5E1A9C3F", "NoiseControl"}) run.DeleteValue(name);
    return 0;
}
