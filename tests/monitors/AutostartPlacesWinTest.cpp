// Each place of the built-in table planted as a program of the user's plants it (the walks of
// tests/e2e drive the shield for one of each kind): reported once under the row's name, removed or
// put back by Shield me, restored by Undo, and neither reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "monitors/AutostartMonitor.h"
#include "monitors/RegistryPointsSource.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningSink.h"

namespace sentrel {
namespace {

class Sink final : public WarningSink {
public:
    void QueueWarning(std::unique_ptr<TWarning> warning) override { warnings.push_back(std::move(warning)); }
    bool HasRoom() const override { return true; }
    std::vector<std::unique_ptr<TWarning>> warnings;
};

// A value written below a row's key; `made` is the key the cleanup deletes (none: the value only).
struct Plant {
    HKEY root;
    std::string key;
    std::string name;
    std::string data;
    std::string point;  // the row's name in the alert
    std::string made;
};

std::optional<std::string> Read(const Plant& plant) {
    const auto key = platform::RegistryKey::Open(plant.root, plant.key);
    return key ? key->ReadString(plant.name) : std::nullopt;
}

const std::vector<Plant>& Plants() {
    const HKEY cu = HKEY_CURRENT_USER;
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const std::string classes = "Software\\Classes\\";
    const std::string install = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
                                "Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string logon = "Software\\Microsoft\\Windows\\CurrentVersion\\Group Policy\\Scripts\\Logon\\0";
    const std::string processors =
        "SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Print Processors\\E2E Processor";
    const std::string recycleBin = classes + "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shell\\E2E";
    static const std::vector<Plant> plants = {
        {lm, install, "E2E Install", "C:\\e2e\\install.exe", "the Run list of the remote desktop install mode", ""},
        {cu, logon + "\\0", "Script", "C:\\e2e\\logon.cmd", "your logon scripts of the group policies", logon},
        {lm, "SYSTEM\\CurrentControlSet\\Control\\SafeBoot", "AlternateShell", "C:\\e2e\\shell.exe",
         "the shell of safe mode with a command prompt", ""},
        {lm, processors, "Driver", "e2eproc.dll", "the print processors", processors},
        {lm, "SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\E2ETime", "DllName", "C:\\e2e\\time.dll",
         "the time providers", "SYSTEM\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\E2ETime"},
        {cu, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\E2E", "DllName", "C:\\e2e\\notify.dll",
         "your logon notification libraries", "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify\\E2E"},
        {lm, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\e2eat", "StartExe", "C:\\e2e\\at.exe",
         "the assistive technologies of the logon screen", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Accessibility\\ATs\\e2eat"},
        {cu, classes + "mscfile\\shell\\open\\command", "DelegateExecute", "", "the handler that opens management consoles",
         classes + "mscfile"},
        {cu, classes + "Drive\\shell\\E2E\\command", "", "C:\\e2e\\drive.exe \"%1\"", "the commands of drives",
         classes + "Drive\\shell\\E2E"},
        {cu, recycleBin + "\\command", "", "C:\\e2e\\bin.exe", "the commands of the Recycle Bin", recycleBin},
        {cu, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.js\\UserChoice", "ProgId", "E2E.JS",
         "your choice of the program that opens .js files", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.js"},
        {cu, "Software\\Microsoft\\Edge\\Extensions\\abcdabcdabcdabcdabcdabcdabcdabcd", "path", "C:\\e2e\\ext.crx",
         "the extensions installed into Edge by other programs", "Software\\Microsoft\\Edge\\Extensions\\abcdabcdabcdabcdabcdabcdabcdabcd"},
        {cu, "Software\\Microsoft\\Office\\15.0\\Excel\\Options", "OPEN1", "C:\\e2e\\addin.xla",
         "the add-ins Excel 2013 opens at its start", "Software\\Microsoft\\Office\\15.0"},
    };
    return plants;
}

void CleanUp() {
    for (const Plant& plant : Plants()) {
        if (!plant.made.empty()) {
            platform::DeleteKeyTree(plant.root, plant.made);
        } else if (auto key = platform::RegistryKey::Open(plant.root, plant.key, platform::RegistryAccess::ReadWrite)) {
            key->DeleteValue(plant.name);
        }
    }
}

TEST(AutostartPlaces, EachPlaceOfTheTableIsReportedFixedAndUndone) {
    CleanUp();
    test::TempFolder folder;
    AutostartMonitor monitor(folder / "baseline.txt", {});
    monitor.AddSource(MakeRegistryPointsSource(BuiltInAutostartPoints()));
    Sink sink;
    ASSERT_TRUE(monitor.Slice(sink, WholePass()));
    ASSERT_TRUE(sink.warnings.empty());

    for (const Plant& plant : Plants()) platform::RegistryKey::Create(plant.root, plant.key).WriteString(plant.name, plant.data);
    monitor.Slice(sink, WholePass());
    std::multiset<std::string> reported;
    for (const auto& warning : sink.warnings) reported.insert(dynamic_cast<const AutostartPointWarning&>(*warning).PointName);
    std::multiset<std::string> expected;
    for (const Plant& plant : Plants()) expected.insert(plant.point);
    EXPECT_EQ(reported, expected);

    const WarningContext context{.worker = {
                                     .holdAutostartPoint =
                                         [gate = monitor.Gate()](const std::string& point) { gate->Hold(point); },
                                     .acceptAutostartPoint =
                                         [gate = monitor.Gate()](const std::string& point, const std::string& item) {
                                             gate->Accept(point, item);
                                         },
                                 }};
    TBackuper backuper(folder.Path());
    for (const auto& warning : sink.warnings) {
        warning->MakeTexts();
        warning->Fix(backuper, context);
    }
    for (const Plant& plant : Plants()) EXPECT_NE(Read(plant), plant.data) << plant.point << " was not fixed";
    EXPECT_EQ(backuper.GetCount(), static_cast<int>(Plants().size()));
    const std::size_t before = sink.warnings.size();
    monitor.Slice(sink, WholePass());

    while (backuper.GetCount() > 0) ShieldWarningKind(AutostartPointWarning::kClassName).Undo(backuper, 0, context);
    for (const Plant& plant : Plants()) EXPECT_EQ(Read(plant), plant.data) << plant.point << " was not put back";
    monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.warnings.size(), before) << "a fix or an undo was reported";
    CleanUp();
}

}  // namespace
}  // namespace sentrel
