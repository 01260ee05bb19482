#include "common/Files.h"

#include <gtest/gtest.h>

#include "support/TempFolder.h"

namespace sentrel {
namespace {

TEST(Files, PathPartsSplitAtTheLastBackslashSlashOrColon) {
    EXPECT_EQ(FolderPart("C:\\Windows\\system32\\evil.dll"), "C:\\Windows\\system32\\");
    EXPECT_EQ(FileNamePart("C:\\Windows\\system32\\evil.dll"), "evil.dll");
    EXPECT_EQ(FolderPart("C:evil.dll"), "C:");
    EXPECT_EQ(FileNamePart("C:evil.dll"), "evil.dll");
    EXPECT_EQ(FolderPart("evil.dll"), "");
    EXPECT_EQ(FileNamePart("evil.dll"), "evil.dll");
    EXPECT_EQ(FileNamePart("C:\\folder\\"), "");
}

TEST(Files, PlainFileNamesStayInsideTheirFolder) {
    for (const char* name : {"cookie.txt", "user@ads[1].txt", ".hidden", "a b.c", "x.y.z"})
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    for (const char* name : {"", ".", "..", "...", ". .", "..\\secret.txt", "../secret.txt", "a\\b", "C:x", "x:y",
                             "name.", "name ", "*.*", "a?b", "a\tb", "a\"b", "a|b", "a<b", "a>b"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
}

TEST(Files, AtomicWriteReplacesTheWholeFileAndLeavesNoTemporary) {
    test::TempFolder folder;
    const std::string target = folder / "options.ini";
    WriteFileAtomically(target, std::string("first version, rather long\n"));
    WriteFileAtomically(target, std::string("second\n"));
    EXPECT_EQ(ReadFileText(target), "second\n");
    EXPECT_FALSE(FileExists(target + ".tmp"));
}

TEST(Files, AtomicWriteIntoAMissingFolderFailsAndLeavesTheTargetAlone) {
    test::TempFolder folder;
    EXPECT_THROW(WriteFileAtomically(folder / JoinPath("missing", "x.ini"), std::string("x")), FileError);
    EXPECT_THROW(ReadFileBytes(folder / "missing.bin"), FileError);
    EXPECT_TRUE(RemoveFile(folder / "missing.bin"));
}

TEST(Files, CreateFoldersMakesEveryMissingParent) {
    test::TempFolder folder;
    const std::string deep = folder / JoinPath(JoinPath("a", "b"), "c");
    CreateFolders(deep);
    EXPECT_TRUE(FolderExists(deep));
    CreateFolders(deep);  // already there: no error
    EXPECT_EQ(FileSize(deep + "-missing"), -1);
}

}  // namespace
}  // namespace sentrel
