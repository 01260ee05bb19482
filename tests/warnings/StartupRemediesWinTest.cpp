// The fix and undo of a scheduled task against Wine's Task Scheduler (which reads, deletes and
// registers a task by its path, though it cannot list tasks): the definition saved in the record,
// the task deleted, registered again exactly, the point held and accepted around each change;
// and an undo that finds a task at the path again refuses and keeps its record.
#include "warnings/RemedyFixture.h"

#include "platform/ScheduledTasks.h"
#include "warnings/StartupWarnings.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::test {
namespace {

constexpr const char* kTask = "\\SentrelTests\\Remedy задача";
constexpr const char* kPoint = "tasks \\";

std::string TaskXml(const std::string& arguments) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <Settings><Enabled>false</Enabled></Settings>\n"
           "  <Actions><Exec><Command>C:\\Тест\\запуск.exe</Command><Arguments>" + arguments +
           "</Arguments></Exec></Actions>\n"
           "</Task>\n";
}

class ScheduledTaskRemedyTest : public RemedyTest {
protected:
    ScheduledTaskRemedyTest() {
        context_.holdAutostartPoint = [this](const std::string& point) { events_.push_back("hold " + point); };
        context_.acceptAutostartPoint = [this](const std::string& point) { events_.push_back("accept " + point); };
    }
    ~ScheduledTaskRemedyTest() override {
        try {
            platform::DeleteScheduledTask(kTask);
        } catch (const std::exception&) {
        }
    }
    std::vector<std::string> events_;
};

TEST_F(ScheduledTaskRemedyTest, SavesDeletesAndRegistersTheTaskAgain) {
    platform::RegisterScheduledTask(kTask, TaskXml("--tray"));
    const auto planted = platform::ReadScheduledTask(kTask);
    ASSERT_TRUE(planted);

    TScheduledTaskWarning warning(kPoint, kTask, planted->command);
    Fix(warning);
    ExpectRecord(warning, {{"Task", kTask}, {"Point", kPoint}});
    EXPECT_EQ(warning.Texts().backupLine, std::string("Scheduled task ") + kTask + " was deleted");
    EXPECT_FALSE(platform::ReadScheduledTask(kTask));
    const std::string code = backuper_.GetSectionName(0);
    EXPECT_EQ(ReadAll(backuper_.RecordFolder(code) + "task.xml"), planted->xml);
    EXPECT_EQ(events_, (std::vector<std::string>{std::string("hold ") + kPoint, std::string("accept ") + kPoint}));
    // A second fix finds nothing to remove and makes no record.
    EXPECT_THROW(Fix(warning), ThreatGoneError);
    EXPECT_EQ(backuper_.GetCount(), 1);

    // Another task at the path meanwhile: the undo does not replace it, and the record stays.
    platform::RegisterScheduledTask(kTask, TaskXml("--other"));
    EXPECT_THROW(Undo(TScheduledTaskWarning::kClassName), std::runtime_error);
    EXPECT_EQ(backuper_.GetCount(), 1);
    platform::DeleteScheduledTask(kTask);

    Undo(TScheduledTaskWarning::kClassName);
    const auto restored = platform::ReadScheduledTask(kTask);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->xml, planted->xml);
    EXPECT_EQ(restored->enabled, planted->enabled);
    ExpectRecordGone(code);
    EXPECT_EQ(events_.back(), std::string("accept ") + kPoint);
}

}  // namespace
}  // namespace sentrel::test
