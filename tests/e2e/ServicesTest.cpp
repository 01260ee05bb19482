// Services and machine-wide autostart points, end to end at High: a service made while the shield
// runs is reported with its command, removed with a backup record and registered again exactly by
// Undo, and one whose command and library change is reported with both, put back and changed
// again by Undo; entries planted at machine points, in both registry views, are each reported by
// the point's plain name and put right by Shield me.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Files.h"
#include "e2e/AlertDriving.h"
#include "monitors/AutostartPoints.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/WideText.h"
#include "warnings/Backuper.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kService = "SentrelE2EService";
constexpr const char* kServiceDisplay = "E2E Helper Service";
constexpr const char* kServiceCommand = "\"C:\\e2e tools\\helper service.exe\" -service";
// A service written straight into the key, which the service control manager does not know.
constexpr const char* kKeyService = "SentrelE2EKeyService";
constexpr const char* kKeyServiceCommand = "C:\\e2e\\key service.exe";

std::string Baseline() {
    return AutostartBaselinePath();
}

std::string ServiceKey(const std::string& name) {
    return std::string(platform::kServicesKey) + "\\" + name;
}

// The command the service control manager runs for the service; empty when it does not know it.
std::string ManagerCommand(const std::string& name) {
    std::string command;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service =
        manager ? OpenServiceW(manager, platform::WideFromUtf8(name).c_str(), SERVICE_QUERY_CONFIG) : nullptr;
    DWORD size = 0;
    if (service && !QueryServiceConfigW(service, nullptr, 0, &size) && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<std::uint8_t> buffer(size);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (QueryServiceConfigW(service, config, size, &size) && config->lpBinaryPathName)
            command = platform::Utf8FromWide(config->lpBinaryPathName);
    }
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return command;
}

// Whether the service control manager knows the service.
bool Registered(const std::string& name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    const SC_HANDLE service = OpenServiceW(manager, platform::WideFromUtf8(name).c_str(), SERVICE_QUERY_CONFIG);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

void RemoveTestServices() {
    for (const char* name : {kService, kKeyService}) {
        platform::RemoveService(name, 0);
        platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey(name));
    }
}

// Every value of the service's key and of its Parameters key, as "key|name=type:data".
std::vector<std::string> KeyContents(const std::string& name) {
    std::vector<std::string> contents;
    for (const std::string& key : {ServiceKey(name), ServiceKey(name) + "\\Parameters"}) {
        const auto opened = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, key);
        if (!opened) continue;
        for (const platform::RegistryValue& value : opened->Values())
            contents.push_back(key + "|" + value.name + "=" + std::to_string(value.type) + ":" + value.data);
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

// A service made through the service control manager, then one written straight into the key
// while the shield runs: each is reported with its command, removed with a backup record (the
// manager's one through the manager) and put back exactly by Undo, the manager's one registered
// again; neither is reported again.
TEST(AutostartServices, ReportsANewServiceRemovesItAndRegistersItAgainExactly) {
    RemoveTestServices();
    DeleteFileA(Baseline().c_str());
    ShieldFolder folder(SecurityLevel::High);
    // Whether the baseline lists the service; false while it cannot be read.
    const auto known = [&](const std::string& name, bool listed) {
        try {
            return (ReadTextFile(Baseline()).find("\t" + name + "\t") != std::string::npos) == listed;
        } catch (const std::exception&) {
            return false;
        }
    };
    // The services are read a slice at a time: a service made before the last slice of the first
    // reading would be part of what the system had.
    const auto servicesRead = [&] {
        try {
            return ParseAutostartBaseline(ReadTextFile(Baseline()))
                .contains(std::string("services HKLM\\") + platform::kServicesKey);
        } catch (const std::exception&) {
            return false;
        }
    };
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    ASSERT_TRUE(Eventually(servicesRead)) << "no pass read the services";
    ASSERT_TRUE(known(kService, false));
    TBackuper backuper(folder.Path());

    const auto walk = [&](const std::string& name, const std::string& expected, bool throughManager) {
        const std::vector<std::string> before = KeyContents(name);
        const HWND alert = WaitForAlert(shield, 30s);
        ASSERT_NE(alert, nullptr) << "no alert for the new service " << name << "; " << WhatTheShieldSays(shield);
        ASSERT_NE(AllTexts(alert).find(expected), std::string::npos) << AllTexts(alert);
        ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
        ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 1; })) << WhatTheShieldSays(shield);
        EXPECT_TRUE(FileExists(backuper.RecordFolder(backuper.GetSectionName(0)) + "backup.reg"));
        EXPECT_FALSE(Registered(name));
        EXPECT_FALSE(platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKey(name)));
        EXPECT_TRUE(Eventually([&] { return known(name, false); }));  // the pass after the fix took the removal

        ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 1));
        EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; }));
        EXPECT_EQ(Registered(name), throughManager);
        EXPECT_EQ(KeyContents(name), before);
        EXPECT_TRUE(Eventually([&] { return known(name, true); })) << "the pass after the undo did not learn it";
        if (const HWND again = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);
        const HWND dialog = shield.WaitForWindow("TOptionsForm");
        Press(dialog, "&Cancel");
        ASSERT_TRUE(WaitForVisibility(dialog, false));
    };

    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    const SC_HANDLE made = CreateServiceW(manager, platform::WideFromUtf8(kService).c_str(),
                                          platform::WideFromUtf8(kServiceDisplay).c_str(), SERVICE_QUERY_STATUS,
                                          SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                          platform::WideFromUtf8(kServiceCommand).c_str(), nullptr, nullptr, nullptr,
                                          nullptr, nullptr);
    ASSERT_TRUE(made) << GetLastError();
    CloseServiceHandle(made);
    CloseServiceHandle(manager);
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, ServiceKey(kService)).WriteString("Description", "Helps the e2e walk");
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, ServiceKey(kService) + "\\Parameters").WriteDword("Mode", 7);
    ASSERT_NO_FATAL_FAILURE(walk(kService,
                                 std::string("A service was added to the system: ") + kService + " (" + kServiceDisplay +
                                     "), which runs " + kServiceCommand +
                                     ". It starts every time Windows starts. Click Shield me to remove it or Ignore "
                                     "to permit it.",
                                 true));

    auto direct = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, ServiceKey(kKeyService));
    direct.WriteString("ImagePath", kKeyServiceCommand, REG_EXPAND_SZ);
    direct.WriteDword("Start", SERVICE_DEMAND_START);
    direct.WriteDword("Type", SERVICE_WIN32_OWN_PROCESS);
    ASSERT_FALSE(Registered(kKeyService));
    ASSERT_NO_FATAL_FAILURE(walk(kKeyService,
                                 std::string("A service was added to the system: ") + kKeyService + ", which runs " +
                                     kKeyServiceCommand + ". It starts when a program asks for it.",
                                 false));

    // The first service changed: a library named in its Parameters (which alone the shield sees
    // only with the key's next change), then its command through the service control manager.
    const std::string servicesPoint = std::string("services HKLM\\") + platform::kServicesKey;
    const std::string parameters = ServiceKey(kService) + "\\Parameters";
    const std::string changedCommand = "C:\\e2e\\changed.exe -service";
    const std::string library = "C:\\e2e\\changed.dll";
    const auto runs = [&](const std::string& command, const std::optional<std::string>& dll) {
        const auto service = platform::ReadService(kService);
        const auto named = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, parameters);
        return service && service->imagePath == command && ManagerCommand(kService) == command &&
               (named ? named->ReadString("ServiceDll") : std::nullopt) == dll;
    };
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, parameters).WriteString("ServiceDll", library, REG_EXPAND_SZ);
    ASSERT_TRUE(platform::ChangeServiceCommand(kService, changedCommand));
    const HWND alert = WaitForAlert(shield, 30s);
    ASSERT_NE(alert, nullptr) << "no alert for the changed service; " << WhatTheShieldSays(shield);
    const std::string expected = std::string("The service ") + kService + " (" + kServiceDisplay +
                                 ") was changed: it started \"" + kServiceCommand + "\" before and starts \"" +
                                 changedCommand + "\" with \"" + library +
                                 "\" now. It starts every time Windows starts. Click Shield me to put its old command "
                                 "back or Ignore to permit it.";
    ASSERT_NE(AllTexts(alert).find(expected), std::string::npos) << AllTexts(alert);
    SaveWindowPicture(alert, ScreenshotPath("alert-service-changed.bmp"));
    ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 1; })) << WhatTheShieldSays(shield);
    EXPECT_TRUE(runs(kServiceCommand, std::nullopt));
    EXPECT_TRUE(Eventually([&] { return BaselineData(servicesPoint, kService) == kServiceCommand; }));
    if (const HWND again = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported after the fix: " << AllTexts(again);

    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 1));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << WhatTheShieldSays(shield);
    EXPECT_TRUE(runs(changedCommand, library));
    EXPECT_TRUE(Eventually([&] { return BaselineData(servicesPoint, kService) == changedCommand; }));
    if (const HWND again = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);
    Stop(shield);
    RemoveTestServices();
    DeleteFileA(Baseline().c_str());
}

// An entry planted at a machine point (a new subkey holding `value` where `subKey`), and the
// point's name the alert must show.
struct Planted {
    std::string key, value;
    REGSAM view;
    std::string data, pointName;
    bool subKey;
};

const Planted kMachinePlants[] = {
    {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run", "E2E Machine Run", KEY_WOW64_64KEY,
     "C:\\e2e\\machine run.exe", "the Run list of the Explorer policies for all users", false},
    {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Userinit", KEY_WOW64_64KEY,
     "C:\\windows\\system32\\userinit.exe,C:\\e2e\\logon.exe,", "the logon program for all users", false},
    {"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", "AppInit_DLLs", KEY_WOW64_32KEY, "C:\\e2e\\hook32.dll",
     "the libraries loaded into every program (AppInit_DLLs)", false},
    {"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{E2E00000-0000-0000-0000-000000000001}", "StubPath",
     KEY_WOW64_64KEY, "C:\\e2e\\stub.exe /install", "the Active Setup components", true},
    {"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\E2E Monitor", "Driver", KEY_WOW64_64KEY, "e2emon.dll",
     "the print monitors", true},
};

std::optional<std::string> PlantedData(const Planted& plant) {
    const auto key = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, plant.key, platform::RegistryAccess::Read, plant.view);
    const auto value = key ? key->ReadValue(plant.value) : std::nullopt;
    return value ? std::optional(value->data) : std::nullopt;
}

// Entries planted at machine points in both views while the shield runs: each is reported by its
// point's plain name and command, and Shield me leaves each point as it was before.
TEST(AutostartMachinePoints, ReportsEntriesPlantedInBothViewsByThePointsName) {
    std::vector<std::optional<std::string>> before;  // a value an earlier run left planted counts as none
    for (const Planted& plant : kMachinePlants) {
        const auto data = plant.subKey ? std::nullopt : PlantedData(plant);
        before.push_back(data && platform::StringFromRegistryData(*data) == plant.data ? std::nullopt : data);
    }
    const auto restore = [&] {
        for (std::size_t i = 0; i < std::size(kMachinePlants); ++i) {
            const Planted& plant = kMachinePlants[i];
            if (plant.subKey) {
                platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, plant.key, plant.view);
                continue;
            }
            auto key = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, plant.key, platform::RegistryAccess::ReadWrite,
                                                     plant.view);
            if (before[i]) key.WriteValue(plant.value, REG_SZ, *before[i]);
            else key.DeleteValue(plant.value);
        }
    };
    restore();
    const std::shared_ptr<void> restoreAtEnd(nullptr, [&](void*) { restore(); });
    DeleteFileA(Baseline().c_str());
    ShieldFolder folder(SecurityLevel::High);
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    ASSERT_TRUE(Eventually([] { return GetFileAttributesA(Baseline().c_str()) != INVALID_FILE_ATTRIBUTES; }));

    for (const Planted& plant : kMachinePlants)
        platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, plant.key, platform::RegistryAccess::ReadWrite, plant.view)
            .WriteString(plant.value, plant.data);
    std::vector<const Planted*> unseen;
    for (const Planted& plant : kMachinePlants) unseen.push_back(&plant);
    while (!unseen.empty()) {
        const HWND alert = WaitForAlert(shield, 30s);
        ASSERT_NE(alert, nullptr) << "not reported: " << unseen.front()->pointName << " and " << unseen.size() - 1
                                  << " more";
        const std::string texts = AllTexts(alert);
        const auto match = std::find_if(unseen.begin(), unseen.end(), [&](const Planted* plant) {
            return texts.find(plant->pointName) != std::string::npos && texts.find(plant->data) != std::string::npos;
        });
        ASSERT_NE(match, unseen.end()) << "an alert for none of the planted entries: " << texts;
        const std::string data = (*match)->data;
        unseen.erase(match);
        ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
        // The same window shows the next alert: it is read again once this one has gone.
        ASSERT_TRUE(Eventually([&] { return !IsWindowVisible(alert) || AllTexts(alert).find(data) == std::string::npos; }));
    }
    TBackuper backuper(folder.Path());
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == static_cast<int>(std::size(kMachinePlants)); }));
    for (std::size_t i = 0; i < std::size(kMachinePlants); ++i)
        EXPECT_EQ(PlantedData(kMachinePlants[i]), before[i]) << kMachinePlants[i].key;
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "one alert too many: " << AllTexts(alert);
    Stop(shield);
    DeleteFileA(Baseline().c_str());
}

}  // namespace
}  // namespace sentrel::e2e
