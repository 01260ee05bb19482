// A warning kind added as the next ones are: its class, its functions and its row. Here the row
// sits in a table of the test's own; in the shield it joins warnings/WarningKinds.cpp and the
// class's constructor names it by ShieldWarningKind(kClassName).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/Files.h"
#include "config/Options.h"
#include "core/CategoryActions.h"
#include "core/ColorList.h"
#include "core/Dispatcher.h"
#include "core/RestoreChanges.h"
#include "core/WarningQueue.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

// --- The addition ---

// A program dropped into a watched folder; its fix keeps it in the backup record's folder.
class DropWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "DropWarning";
    DropWarning(std::string name, std::string filePath);

    std::string FilePath;
};

WarningTexts DropTexts(const TWarning& warning) {
    return {.title = "Dropped program",
            .description = "Program " + warning.Name + " was dropped into a watched folder",
            .picture = "bug",
            .backupLine = "Program " + warning.Name + " was taken away"};
}

void FixDrop(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome, const WarningWorkerContext&) {
    const auto& drop = WarningAs<DropWarning>(warning);
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString("FilePath", drop.FilePath)};
    std::filesystem::rename(drop.FilePath, record.folderPath + drop.Name);
}

void UndoDrop(const BackupRecord& record, const WarningWorkerContext&) {
    const std::string path = record.GetString("FilePath");
    std::filesystem::rename(record.folderPath + FileNamePart(path), path);
}

constexpr WarningKind kDropKind{.name = DropWarning::kClassName,
                                .categories = {kFilesCategory},
                                .hasUndo = true,
                                .fix = &FixDrop,
                                .undo = &UndoDrop,
                                .texts = &DropTexts};

DropWarning::DropWarning(std::string name, std::string filePath)
    : TWarning(kDropKind, std::move(name)), FilePath(std::move(filePath)) {}

// --- Its walk: queued, shown, fixed, undone ---

TEST(AddedWarningKind, IsQueuedShownFixedAndUndoneThroughItsRow) {
    test::TempFolder program;
    test::TempFolder watched;
    const std::string dropped = watched / "dropper.exe";
    test::WriteTextFile(dropped, "MZ");
    const WarningKind kinds[] = {kDropKind};
    const WarningContext context{.worker = {.kinds = kinds}};
    TBackuper backuper(program.Path());
    TOptions options("options.ini", program.Path());
    options.WriteInteger(kWhatDoKey, static_cast<int>(NewThreatMode::Ask));
    TColorList whiteList(program / "white_list.txt");
    TColorList blackList(program / "black_list.txt");
    WarningQueue queue(context);
    std::vector<AlertTexts> shown;
    TDispatcher dispatcher({queue, whiteList, blackList, options, backuper,
                            [&](const AlertTexts& texts) { shown.push_back(texts); }});

    queue.QueueWarning(std::make_unique<DropWarning>("dropper.exe", dropped));
    dispatcher.MainTimerTimer();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Dropped program");
    EXPECT_EQ(shown[0].description, "Program dropper.exe was dropped into a watched folder");

    // "Shield me", for all such threats.
    SetCategoryAction(*queue.Current(), static_cast<int>(CategoryAction::SolveAlways), options);
    EXPECT_EQ(options.ReadInteger(kFilesCategory, 0), 1);
    queue.StartFix(*queue.Current(), backuper, [&](const FixResult& result) {
        EXPECT_FALSE(result.error);
        queue.RemoveHead();
    });
    EXPECT_FALSE(FileExists(dropped));
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(backuper.GetString(0, kBackupTypeKey), "DropWarning");
    EXPECT_EQ(backuper.GetString(0, kBackupDescKey), "Program dropper.exe was taken away");

    const auto problems = UndoBackups(backuper, context, {0}, [](const std::function<void()>& undo) { undo(); });
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_TRUE(FileExists(dropped));
    EXPECT_EQ(backuper.GetCount(), 0);
}

}  // namespace
}  // namespace sentrel
