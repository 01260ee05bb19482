// The fix and undo of a scheduled task against Wine's Task Scheduler, which reads, deletes and
// registers a task by its path (though it cannot list tasks, and keeps no actions), of a service
// against its service control manager, and of a changed shortcut.
#include "warnings/RemedyFixture.h"

#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "support/Shortcut.h"
#include "warnings/ServiceWarning.h"
#include "warnings/StartupWarnings.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::test {
namespace {

constexpr const char* kTask = "\\SentrelTests\\Remedy задача";
constexpr const char* kPoint = "tasks \\";

// Wine keeps no actions: the tasks differ by their switch.
std::string TaskXml(bool enabled) {
    return "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Settings><Enabled>" +
           std::string(enabled ? "true" : "false") +
           "</Enabled></Settings><Actions><Exec><Command>C:\\Тест\\запуск.exe</Command></Exec></Actions></Task>";
}

TEST_F(RemedyTest, AScheduledTaskIsSavedDeletedAndRegisteredAgainNeverOverAnother) {
    std::vector<std::string> events;
    context_.worker.holdAutostartPoint = [&](const std::string& point) { events.push_back("hold " + point); };
    context_.worker.acceptAutostartPoint = [&](const std::string& point, const std::string&) {
        events.push_back("accept " + point);
    };
    platform::RegisterScheduledTask(kTask, TaskXml(false));
    const auto planted = platform::ReadScheduledTask(kTask);
    ASSERT_TRUE(planted);

    ScheduledTaskWarning warning(kPoint, kTask, planted->command);
    Fix(warning);
    ExpectRecord(warning, {{"Task", kTask}, {"Point", kPoint}});
    EXPECT_FALSE(platform::ReadScheduledTask(kTask));
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(ReadAll(backuper_.RecordFolder(code) + "task.xml"), planted->xml);
    EXPECT_EQ(events, (std::vector<std::string>{std::string("hold ") + kPoint, std::string("accept ") + kPoint}));
    EXPECT_THROW(Fix(warning), ThreatGoneError);  // nothing left to remove, no second record
    EXPECT_EQ(backuper_.GetCount(), 1);

    // Another task at the path meanwhile: the undo leaves it, and the record stays.
    platform::RegisterScheduledTask(kTask, TaskXml(true));
    EXPECT_THROW(Undo(ScheduledTaskWarning::kClassName), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 1);
    EXPECT_TRUE(platform::ReadScheduledTask(kTask)->enabled);
    platform::DeleteScheduledTask(kTask);

    Undo(ScheduledTaskWarning::kClassName);
    const auto restored = platform::ReadScheduledTask(kTask);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->xml, planted->xml);
    ExpectRecordGone(code);
    platform::DeleteScheduledTask(kTask);
}

// A task whose actions changed: the fix acts only while the task is as reported, and only an
// undo of a task still as the fix left it goes ahead; where the Task Scheduler cannot change the
// actions, nothing is changed or recorded. (Wine keeps no actions and cannot count them, so what
// the task runs is neither read back nor changed here.)
TEST_F(RemedyTest, AChangedTaskGetsItsOldActionsBackOnlyWhileItIsAsReported) {
    const std::string path = std::string(kTask) + " changed";
    std::vector<std::string> events;
    context_.worker.holdAutostartPoint = [&](const std::string& point) { events.push_back("hold " + point); };
    context_.worker.acceptAutostartPoint = [&](const std::string& point, const std::string& item) {
        events.push_back("accept " + point + " " + item);
    };
    platform::RegisterScheduledTask(path, TaskXml(false));
    const auto planted = platform::ReadScheduledTask(path);
    ASSERT_TRUE(planted);
    std::vector<TaskAction> now;
    for (const platform::ExecAction& action : planted->actions)
        now.push_back({action.program, action.arguments, action.folder});

    ScheduledTaskWarning warning(kPoint, path, "C:\\evil.exe");
    warning.Changed = true;
    warning.Raw = TaskActionsRaw({{"C:\\evil.exe", "", ""}});
    warning.OldCommand = "C:\\old\\run.exe /o";
    warning.OldRaw = TaskActionsRaw({{"C:\\old\\run.exe", "/o", "C:\\old"}});
    EXPECT_THROW(Fix(warning), ThreatGoneError);  // it runs something else than reported by now
    EXPECT_TRUE(events.empty());

    warning.Raw = TaskActionsRaw(now);
    try {
        Fix(warning);
        EXPECT_EQ(platform::ReadScheduledTask(path)->command, "C:\\old\\run.exe /o");
        ExpectRecord(warning, {{"Task", path}, {"Point", kPoint}, {"Change", "1"}, {"ActionsBefore", warning.Raw},
                               {"ActionsAfter", warning.OldRaw}});
        backuper_.DeleteBackup(0);
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("nothing was changed"), std::string::npos) << error.what();
        EXPECT_EQ(platform::ReadScheduledTask(path)->xml, planted->xml);
    }
    EXPECT_EQ(backuper_.GetCount(), 0);
    // The monitor takes the task it wrote as known, and nothing else of the point.
    EXPECT_EQ(events,
              (std::vector<std::string>{std::string("hold ") + kPoint, std::string("accept ") + kPoint + " " + path}));

    // A record whose task was changed again since the fix: the undo leaves it, the record stays.
    const NewBackupResult reserved = backuper_.ReserveRecord();
    const std::vector<BackupValue> keys = {BackupString("Point", kPoint), BackupString("Task", path),
                                           BackupInteger("Change", 1), BackupString("ActionsBefore", warning.Raw),
                                           BackupString("ActionsAfter", TaskActionsRaw({{"C:\\gone.exe", "", ""}}))};
    backuper_.CommitRecord(reserved, ScheduledTaskWarning::kClassName, "line", keys);
    EXPECT_THROW(Undo(ScheduledTaskWarning::kClassName), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 1);
    platform::DeleteScheduledTask(path);
}

// A shortcut whose target changed: the fix writes the old target back only while the shortcut is
// as reported, keeping the changed one in the record's folder; the undo puts that one back byte
// for byte, and leaves a shortcut changed since.
TEST_F(RemedyTest, AChangedShortcutGetsItsOldTargetBackAndTheUndoPutsTheChangedOneBackExactly) {
    const std::string link = program_ / "Tool.lnk";
    test::SaveShortcut(link, "C:\\tools\\tool.exe", "-m");
    StartupFileWarning warning("files Startup", "your Startup folder", link, "C:\\evil.exe -x");
    warning.Changed = true;
    warning.Raw = ShortcutRaw({"C:\\evil.exe", "-x"});
    warning.OldCommand = "C:\\tools\\tool.exe -m";
    warning.OldRaw = ShortcutRaw({"C:\\tools\\tool.exe", "-m"});
    EXPECT_THROW(Fix(warning), ThreatGoneError);  // not the reported target (yet)
    EXPECT_EQ(backuper_.GetCount(), 0);

    platform::RewriteShortcut(link, "C:\\evil.exe", "-x");
    const std::string changed = ReadAll(link);
    Fix(warning);
    ExpectRecord(warning, {{"FilePath", link}, {"Point", "files Startup"}, {"Change", "1"}});
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(ReadAll(backuper_.RecordFolder(code) + "Tool.lnk"), changed);
    const platform::ShortcutTarget back = platform::ReadShortcut(link);
    EXPECT_EQ(back.target, "C:\\tools\\tool.exe");
    EXPECT_EQ(back.arguments, "-m");
    EXPECT_TRUE(Marked(link));

    platform::RewriteShortcut(link, "C:\\other.exe", "");
    EXPECT_THROW(Undo(StartupFileWarning::kClassName), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 1);
    platform::RewriteShortcut(link, "C:\\tools\\tool.exe", "-m");
    Undo(StartupFileWarning::kClassName);
    EXPECT_EQ(ReadAll(link), changed);
    ExpectRecordGone(code);
}

// Where the system refuses a change for want of rights, the administrator part is not asked (it
// writes no data): the alert says what an administrator is to set back, and nothing changes.
TEST_F(RemedyTest, AChangeOnlyAnAdministratorMayPutBackSaysWhatToSetBack) {
    context_.worker.refusedForRights = [](std::string_view) { return true; };
    const auto message = [&](TWarning& warning) {
        try {
            Fix(warning);
        } catch (const NeedsAdministratorError& error) {
            return std::string(error.what());
        }
        return std::string("no refusal");
    };
    ServiceWarning service("services", "SentrelChanged", "", "C:\\evil.exe", "", SERVICE_AUTO_START);
    service.Changed = true;
    service.OldCommand = "C:\\good.exe";
    EXPECT_NE(message(service).find("administrator part removes new entries only: it never writes data that a "
                                    "program could have chosen. As an administrator, set the value ImagePath of "
                                    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SentrelChanged back "
                                    "to \"C:\\good.exe\"."),
              std::string::npos)
        << message(service);
    ScheduledTaskWarning task(kPoint, kTask, "C:\\evil.exe");
    task.Changed = true;
    task.OldRaw = TaskActionsRaw({{"C:\\good.exe", "", ""}});
    EXPECT_NE(message(task).find("set its actions back to: the program \"C:\\good.exe\""), std::string::npos)
        << message(task);
    std::string common;
    for (const platform::StartupFolder& folder : platform::StartupFolders())
        if (folder.common) common = folder.path;
    StartupFileWarning shortcut("files Common Startup", "the Startup folder of all users", common + "\\Tool.lnk", "x");
    shortcut.Changed = true;
    shortcut.OldRaw = ShortcutRaw({"C:\\good.exe", ""});
    EXPECT_NE(message(shortcut).find("set its target back to \"C:\\good.exe\" with no arguments."), std::string::npos)
        << message(shortcut);
    EXPECT_EQ(backuper_.GetCount(), 0);
}

// Registers a demand-start service running `command`; false when the manager refused.
bool MakeService(const std::string& name, const std::string& command) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    const SC_HANDLE service =
        manager ? CreateServiceW(manager, platform::WideFromUtf8(name).c_str(), nullptr, SERVICE_QUERY_STATUS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                 platform::WideFromUtf8(command).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr)
                : nullptr;
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
    return service != nullptr;
}

TEST_F(RemedyTest, AServiceIsRemovedAndRegisteredAgainNeverOverAnother) {
    const std::string name = "SentrelRemedyService";
    const std::string command = "C:\\Тест\\служба.exe -run";
    platform::RemoveService(name, 0);
    ASSERT_TRUE(MakeService(name, command));

    ServiceWarning warning("services", name, "", command, "", SERVICE_DEMAND_START);
    Fix(warning);
    EXPECT_FALSE(platform::ReadService(name));
    EXPECT_EQ(platform::RemoveService(name, 0), platform::ServiceRemoval::NotRegistered);
    EXPECT_THROW(Fix(warning), ThreatGoneError);  // nothing left to remove, no second record
    EXPECT_EQ(backuper_.GetCount(), 1);

    // Another service of that name meanwhile: the undo leaves it, and the record stays.
    ASSERT_TRUE(MakeService(name, "C:\\other.exe"));
    EXPECT_THROW(Undo(ServiceWarning::kClassName), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 1);
    EXPECT_EQ(platform::ReadService(name)->imagePath, "C:\\other.exe");
    platform::RemoveService(name, 0);

    Undo(ServiceWarning::kClassName);
    EXPECT_EQ(backuper_.GetCount(), 0);
    EXPECT_EQ(platform::ReadService(name)->imagePath, command);
    EXPECT_EQ(platform::RemoveService(name, 0), platform::ServiceRemoval::Deleted);
}

}  // namespace
}  // namespace sentrel::test
