#include "warnings/FolderTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;

// A link inside a record's folder (a moved malicious folder may hold one) is removed, never
// followed: what it points at stays whole.
TEST(FolderTreeNativeTest, RemovesLinksWithoutFollowingThem) {
    TempFolder root;
    const std::string outside = root / "outside";
    CreateFolders(outside + "/inner");
    WriteTextFile(outside + "/inner/keep.txt", "keep");
    const std::string tree = root / "tree";
    CreateFolders(tree + "/locked");
    ASSERT_EQ(::symlink(outside.c_str(), (tree + "/to-folder").c_str()), 0);
    ASSERT_EQ(::symlink((outside + "/inner/keep.txt").c_str(), (tree + "/locked/to-file").c_str()), 0);
    ::chmod((tree + "/locked").c_str(), S_IRUSR | S_IXUSR);
    ASSERT_EQ(::symlink(outside.c_str(), (root / "top-link").c_str()), 0);

    EXPECT_TRUE(DeleteFolderTree(tree + "/"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tree)));
    EXPECT_TRUE(DeleteFolderTree(root / "top-link"));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(root / "top-link")));
    EXPECT_EQ(ReadFileText(outside + "/inner/keep.txt"), "keep");

    EXPECT_TRUE(DeleteFolderTree(root / "never-there"));
    WriteTextFile(root / "a-file", "x");
    EXPECT_FALSE(DeleteFolderTree(root / "a-file"));
    EXPECT_TRUE(FileExists(root / "a-file"));
}

}  // namespace
}  // namespace sentrel
