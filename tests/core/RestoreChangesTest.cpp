#include "core/RestoreChanges.h"

#include <gtest/gtest.h>

#include "common/Files.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel {
namespace {

using test::TempFolder;

std::vector<std::string> Descs(const TBackuper& backuper) {
    std::vector<std::string> descs;
    for (int i = 0; i < backuper.GetCount(); ++i) descs.push_back(backuper.GetString(i, kBackupDescKey));
    return descs;
}

TEST(RestoreChanges, UndoKeepsWhatItCannotUndoAndSaysWhy) {
    TempFolder program;
    TBackuper backuper(program.Path());
    backuper.NewBackup("TForeignWarning", "hand-made record");
    backuper.NewBackup("TKeyHookWarning", "hook record");
    int runs = 0;
    const auto problems = UndoBackups(backuper, WarningContext{}, {0, 1}, [&](const std::function<void()>& undo) {
        ++runs;
        undo();
    });
    ASSERT_EQ(problems.size(), 2u);
    // The last record first.
    EXPECT_NE(problems[0].find("\"hook record\" could not be undone"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("has no undo"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("\"hand-made record\" (backup 0)"), std::string::npos) << problems[1];
    EXPECT_NE(problems[1].find("\"TForeignWarning\""), std::string::npos) << problems[1];
    EXPECT_EQ(runs, 1) << "no undo runs for a kind nobody knows";
    EXPECT_EQ(Descs(backuper), (std::vector<std::string>{"hand-made record", "hook record"}));
}

std::vector<std::string> g_undone;

void UndoNoting(const BackupRecord& record, const WarningWorkerContext&) {
    g_undone.push_back(record.GetString(kBackupDescKey));
}

TEST(RestoreChanges, ARecordBeingUndoneRefusesASecondUndoAndADelete) {
    TempFolder program;
    TBackuper backuper(program.Path());
    backuper.NewBackup("TNoted", "first");
    const std::string code = backuper.NewBackup("TNoted", "second").code;
    const WarningKind kinds[] = {{.name = "TNoted", .hasUndo = true, .undo = &UndoNoting}};
    const WarningContext context{.worker = {.kinds = kinds}};
    g_undone.clear();

    const auto plan = PlannedUndo::Plan(backuper, context, {1});
    EXPECT_TRUE(backuper.BeingUndone(code));
    const auto again = PlannedUndo::Plan(backuper, context, {1});
    EXPECT_TRUE(again->Idle());
    const auto refused = again->Finish();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("\"second\" could not be undone"), std::string::npos) << refused[0];
    EXPECT_EQ(DeleteBackups(backuper, {1}).size(), 1u);
    EXPECT_TRUE(backuper.BeingUndone(code)) << "the refused plan left the first one's mark";

    // Another record goes meanwhile: the finish deletes the undone one by its code.
    EXPECT_TRUE(DeleteBackups(backuper, {0}).empty());
    plan->Act();
    EXPECT_TRUE(plan->Finish().empty());
    EXPECT_EQ(g_undone, (std::vector<std::string>{"second"}));
    EXPECT_EQ(backuper.GetCount(), 0);
    EXPECT_FALSE(backuper.BeingUndone(code));

    // A plan given up unfinished takes its marks off.
    backuper.NewBackup("TNoted", "third");
    PlannedUndo::Plan(backuper, context, {0}).reset();
    EXPECT_TRUE(DeleteBackups(backuper, {0}).empty());
}

TEST(RestoreChanges, DeleteRemovesEverySelectedRecordAndTellsTheListener) {
    TempFolder program;
    TBackuper backuper(program.Path());
    std::vector<std::string> codes;
    for (const char* desc : {"a", "b", "c", "d"}) codes.push_back(backuper.NewBackup("TFileWarning", desc).code);
    int changes = 0;
    backuper.SetChangeListener([&] { ++changes; });
    EXPECT_TRUE(DeleteBackups(backuper, {2, 0, 2}).empty());
    EXPECT_EQ(Descs(backuper), (std::vector<std::string>{"b", "d"}));
    EXPECT_FALSE(FolderExists(backuper.RecordFolder(codes[0])));
    EXPECT_FALSE(FolderExists(backuper.RecordFolder(codes[2])));
    EXPECT_TRUE(FolderExists(backuper.RecordFolder(codes[1])));
    EXPECT_EQ(changes, 2);

    // An index the store no longer has is reported, the others still go.
    const auto problems = DeleteBackups(backuper, {5, 0});
    EXPECT_EQ(problems.size(), 1u);
    EXPECT_EQ(Descs(backuper), (std::vector<std::string>{"d"}));
}

TEST(RestoreChanges, TheSelectionStaysInPlaceOrMovesToTheLastEntry) {
    EXPECT_EQ(SelectionAfterRemoval(0, 0), -1);  // the only entry went
    EXPECT_EQ(SelectionAfterRemoval(2, 2), 1);   // the last of three went
    EXPECT_EQ(SelectionAfterRemoval(0, 2), 0);   // the first went
    EXPECT_EQ(SelectionAfterRemoval(1, 3), 1);
}

}  // namespace
}  // namespace sentrel
