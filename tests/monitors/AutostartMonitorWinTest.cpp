// The autostart monitor against the real registry: the baseline, a finding kept for a later pass
// while the queue is full, and a removed value of another type than text put back exactly by the
// fix and taken away again by the undo, neither reported.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Files.h"
#include "monitors/AutostartMonitor.h"
#include "monitors/RegistryPointsSource.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningSink.h"

namespace sentrel {
namespace {

constexpr const char* kKey = "Software\\SentrelTest\\Autostart";

class Sink final : public WarningSink {
public:
    void QueueWarning(std::unique_ptr<TWarning> warning) override { warnings.push_back(std::move(warning)); }
    bool HasRoom() const override { return room; }
    std::vector<std::unique_ptr<TWarning>> warnings;
    bool room = true;
};

TEST(AutostartMonitor, ReportsOnceKeepsWhatAFullQueueRefusedAndAcceptsItsOwnFixAndUndo) {
    test::TempFolder folder;
    platform::DeleteKeyTree(HKEY_CURRENT_USER, kKey);
    const std::string multi("a\0b\0\0", 5);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kKey).WriteValue("Packages", REG_MULTI_SZ, multi);
    const std::vector<AutostartPoint> points = ParseAutostartPoints(
        std::string("value | HKCU\\") + kKey + " | Packages | the test packages\n" + "values | HKCU\\" + kKey +
            "\\Run | | the test list\n",
        {});
    AutostartMonitor monitor(folder / "baseline.txt", [](const std::string& path) { return path == "C:\\t\\tool.exe"; });
    monitor.AddSource(MakeRegistryPointsSource(points));
    Sink sink;
    ASSERT_TRUE(monitor.Slice(sink, WholePass()));
    EXPECT_TRUE(sink.warnings.empty());
    ASSERT_TRUE(FileExists(folder / "baseline.txt"));

    // A new entry while the queue is full waits for a pass with room, then comes once, known to
    // the threat database; the shield's own entry is never reported.
    platform::RegistryKey::Create(HKEY_CURRENT_USER, std::string(kKey) + "\\Run").WriteString("Tool", "\"C:\\t\\tool.exe\" /q");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, std::string(kKey) + "\\Run").WriteString("Own", "C:\\S\\Sentrel4.exe /min");
    sink.room = false;
    monitor.Slice(sink, WholePass());
    EXPECT_TRUE(sink.warnings.empty());
    sink.room = true;
    monitor.Slice(sink, WholePass());
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_TRUE(dynamic_cast<AutostartPointWarning&>(*sink.warnings[0]).KnownProgram);
    EXPECT_EQ(sink.warnings[0]->Name, "tool.exe");
    monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.warnings.size(), 1u);
    sink.warnings.clear();

    // The value removed is reported, also by a monitor started afresh from the baseline file.
    platform::RegistryKey::Open(HKEY_CURRENT_USER, kKey, platform::RegistryAccess::ReadWrite)->DeleteValue("Packages");
    AutostartMonitor restarted(folder / "baseline.txt", {});
    restarted.AddSource(MakeRegistryPointsSource(points));
    restarted.Slice(sink, WholePass());
    ASSERT_EQ(sink.warnings.size(), 1u);
    auto& warning = dynamic_cast<AutostartPointWarning&>(*sink.warnings[0]);
    EXPECT_EQ(warning.What, AutostartPointWarning::Change::Vanished);
    warning.MakeTexts();
    EXPECT_EQ(warning.GetDescription(),
              "Important startup setting was removed: the test packages (it was \"a b\"). Click Shield me to put it "
              "back or Ignore to permit it.");

    // Shield me puts it back exactly; Undo removes it again; the monitor reports neither.
    const WarningContext context{.worker = {
                                     .holdAutostartPoint =
                                         [gate = restarted.Gate()](const std::string& point) { gate->Hold(point); },
                                     .acceptAutostartPoint =
                                         [gate = restarted.Gate()](const std::string& point, const std::string& item) {
                                             gate->Accept(point, item);
                                         },
                                 }};
    TBackuper backuper(folder.Path());
    warning.Fix(backuper, context);
    const auto back = platform::RegistryKey::Open(HKEY_CURRENT_USER, kKey)->ReadValue("Packages");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(back->data, multi);
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(backuper.GetString(0, kBackupDescKey), "Startup setting was put back: the test packages to \"a b\"");
    restarted.Slice(sink, WholePass());
    ShieldWarningKind(AutostartPointWarning::kClassName).Undo(backuper, 0, context);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kKey)->ValueExists("Packages"));
    restarted.Slice(sink, WholePass());
    EXPECT_EQ(sink.warnings.size(), 1u);
    platform::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\SentrelTest\\Autostart");
}

// The autorun list's keys are points like any other: a value added while the shield was not
// running is reported at the next start as a new program of the autorun list, a value whose data
// now starts another program as a change; each fix and its undo go unreported.
TEST(AutostartMonitor, AutorunKeysReportWhatChangedWhileStoppedAndTheirFixesAndUndosGoUnreported) {
    test::TempFolder folder;
    const std::string run = std::string(kKey) + "\\Run";
    platform::DeleteKeyTree(HKEY_CURRENT_USER, kKey);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, run).WriteString("Helper", "C:\\t\\helper.exe");
    const std::vector<AutostartPoint> points =
        ParseAutostartPoints("autorun | HKCU\\" + run + " | | the test Run list\n", {});
    ASSERT_EQ(points.size(), 1u);
    Sink sink;
    {
        AutostartMonitor first(folder / "baseline.txt", {});
        first.AddSource(MakeRegistryPointsSource(points));
        first.Slice(sink, WholePass());
    }
    // While the shield is not running:
    platform::RegistryKey runKey = platform::RegistryKey::Create(HKEY_CURRENT_USER, run);
    runKey.WriteString("Updater", "C:\\Tools\\agent.exe /min");
    runKey.WriteString("Helper", "C:\\Other\\dropper.exe");
    AutostartMonitor monitor(folder / "baseline.txt", {});
    monitor.AddSource(MakeRegistryPointsSource(points));
    monitor.Slice(sink, WholePass());
    ASSERT_EQ(sink.warnings.size(), 2u);
    auto* changed = dynamic_cast<AutostartPointWarning*>(sink.warnings[0].get());
    auto* added = dynamic_cast<TAutorunAddWarning*>(sink.warnings[1].get());
    ASSERT_NE(changed, nullptr);
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(changed->What, AutostartPointWarning::Change::Changed);
    EXPECT_EQ(changed->OldCommand, "C:\\t\\helper.exe");
    EXPECT_EQ(added->Name, "agent.exe /min");
    EXPECT_EQ(added->Key, run);
    EXPECT_EQ(added->Value, "Updater");
    EXPECT_EQ(added->RegString, "C:\\Tools\\agent.exe /min");
    EXPECT_EQ(added->PointId, "autorun HKCU\\" + run);

    const WarningContext context{.worker = {
                                     .holdAutostartPoint = [gate = monitor.Gate()](const std::string& point) { gate->Hold(point); },
                                     .acceptAutostartPoint =
                                         [gate = monitor.Gate()](const std::string& point, const std::string& item) {
                                             gate->Accept(point, item);
                                         },
                                 }};
    TBackuper backuper(folder.Path());
    for (auto& warning : sink.warnings) warning->MakeTexts();
    added->Fix(backuper, context);
    changed->Fix(backuper, context);
    EXPECT_FALSE(runKey.ValueExists("Updater"));
    EXPECT_EQ(runKey.ReadString("Helper"), "C:\\t\\helper.exe");
    monitor.Slice(sink, WholePass());
    ASSERT_EQ(backuper.GetCount(), 2);
    ShieldWarningKind(TAutorunAddWarning::kClassName).Undo(backuper, 0, context);
    ShieldWarningKind(AutostartPointWarning::kClassName).Undo(backuper, 0, context);
    EXPECT_EQ(runKey.ReadString("Updater"), "C:\\Tools\\agent.exe /min");
    EXPECT_EQ(runKey.ReadString("Helper"), "C:\\Other\\dropper.exe");
    monitor.Slice(sink, WholePass());
    EXPECT_EQ(sink.warnings.size(), 2u);
    platform::DeleteKeyTree(HKEY_CURRENT_USER, "Software\\SentrelTest\\Autostart");
}

}  // namespace
}  // namespace sentrel
