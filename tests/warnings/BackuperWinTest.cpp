#include "warnings/Backuper.h"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "common/Files.h"
#include "platform/UniqueHandle.h"
#include "support/FolderLink.h"
#include "support/TempFolder.h"
#include "warnings/FolderTree.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(BackuperWinTest, RecordFoldersLieInTheBackupFolderOfTheProgramFolder) {
    TempFolder program;
    TBackuper store(program.Path());
    const NewBackupResult made = store.NewBackup("TRegistyWarning", "Registry entry was deleted");
    EXPECT_EQ(made.folderPath, program.Path() + "backuped\\0\\");
    EXPECT_EQ(store.RecordFolder("12"), program.Path() + "backuped\\12\\");
    EXPECT_EQ(store.FileName(), program.Path() + "backups.ini");
    EXPECT_TRUE(FolderExists(made.folderPath));
}

// Read-only, hidden and system files and folders all go; one file that cannot be deleted (held
// open without delete sharing) stays with the folders above it, and everything else goes.
TEST(BackuperWinTest, DeleteBackupRemovesProtectedFilesAndGoesOnPastOneThatCannotGo) {
    TempFolder program;
    TBackuper store(program.Path());
    const std::string folder = store.NewBackup("TFolderWarning", "a").folderPath;
    const std::string sub = folder + "sub\\";
    const std::string locked = folder + "held\\deep\\";
    CreateFolders(sub + "deeper");
    CreateFolders(locked);
    const DWORD kinds[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN};
    const std::string files[] = {folder + "top.dll", sub + "mid.txt", sub + "deeper\\low.ini"};
    for (int i = 0; i < 3; ++i) {
        WriteTextFile(files[i], "x");
        ASSERT_TRUE(SetFileAttributesA(files[i].c_str(), kinds[i]));
    }
    ASSERT_TRUE(SetFileAttributesA((sub + "deeper").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
    WriteTextFile(locked + "busy.exe", "x");
    WriteTextFile(locked + "free.txt", "x");
    platform::UniqueFile busy(CreateFileA((locked + "busy.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(busy);

    store.DeleteBackup(0);
    EXPECT_EQ(store.GetCount(), 0);
    for (const std::string& file : files) EXPECT_FALSE(Exists(file)) << file;
    EXPECT_FALSE(Exists(sub));
    EXPECT_FALSE(Exists(locked + "free.txt"));
    EXPECT_TRUE(Exists(locked + "busy.exe"));

    busy.reset();
    EXPECT_TRUE(DeleteFolderTree(folder));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(FolderExists(program.Path() + "backuped"));
}

// A folder link inside a record's folder is removed, never followed into what it points at.
TEST(BackuperWinTest, FolderLinksAreRemovedNotFollowed) {
    TempFolder program;
    const std::string outside = program.Path() + "outside";
    CreateFolders(outside);
    WriteTextFile(outside + "\\keep.txt", "keep");
    TBackuper store(program.Path());
    const std::string folder = store.NewBackup("TFolderWarning", "a").folderPath;
    test::MakeFolderLink(folder + "link", outside);
    ASSERT_TRUE(platform::IsFolderLink(folder + "link"));

    store.DeleteBackup(0);
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(ReadFileText(outside + "\\keep.txt"), "keep");
    // Windows removes the link and then the folder; Wine cannot remove a Unix link through the
    // Windows calls, so there the link and its folder stay behind.
    if (!platform::IsFolderLink(folder + "link")) {
        EXPECT_FALSE(Exists(folder));
    }
}

}  // namespace
}  // namespace sentrel
