// The fix and undo of a scheduled task against Wine's Task Scheduler, which reads, deletes and
// registers a task by its path (though it cannot list tasks), and of a service against its
// service control manager.
#include "warnings/RemedyFixture.h"

#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/WideText.h"
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
