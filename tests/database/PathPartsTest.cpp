// Splitting Windows paths: file name and folder, the folder above, REG_PATH parts.
#include <gtest/gtest.h>

#include "database/PathParts.h"

namespace sentrel {
namespace {

TEST(PathParts, FileNameAndFolderEndAtTheLastBackslashOrColon) {
    EXPECT_EQ(PathFileName("C:\\WINDOWS\\system32\\evil.dll"), "evil.dll");
    EXPECT_EQ(PathFolder("C:\\WINDOWS\\system32\\evil.dll"), "C:\\WINDOWS\\system32\\");
    EXPECT_EQ(PathFileName("C:evil.dll"), "evil.dll");
    EXPECT_EQ(PathFolder("C:evil.dll"), "C:");
    EXPECT_EQ(PathFileName("evil.dll"), "evil.dll");
    EXPECT_EQ(PathFolder("evil.dll"), "");
    EXPECT_EQ(PathFileName("C:\\folder\\"), "");
    EXPECT_EQ(PathFolder("C:\\folder\\"), "C:\\folder\\");
    // A forward slash is part of the name here, as it is for the program.
    EXPECT_EQ(PathFileName("C:\\a/b.exe"), "a/b.exe");
}

TEST(PathParts, ParentFolderOf) {
    EXPECT_EQ(ParentFolderOf("C:\\Documents and Settings\\user\\Application Data"),
              "C:\\Documents and Settings\\user\\");
    EXPECT_EQ(ParentFolderOf("C:\\Documents and Settings\\user\\Application Data\\"),
              "C:\\Documents and Settings\\user\\");
    EXPECT_EQ(ParentFolderOf("C:\\a"), "C:\\");
    EXPECT_EQ(ParentFolderOf("C:\\"), "");  // the backslash goes, then "C:" has none left
    EXPECT_EQ(ParentFolderOf("\\"), "\\");   // one character: nothing dropped
    EXPECT_EQ(ParentFolderOf("abc"), "");
    EXPECT_EQ(ParentFolderOf(""), "");
}

TEST(PathParts, SplitFirstAndLastComponent) {
    std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Gator.com\\Trickler";
    EXPECT_EQ(SplitFirstPathComponent(path), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(path, "SOFTWARE\\Gator.com\\Trickler");
    EXPECT_EQ(SplitLastPathComponent(path), "Trickler");
    EXPECT_EQ(path, "SOFTWARE\\Gator.com");

    path = "NoBackslash";
    EXPECT_EQ(SplitFirstPathComponent(path), "");
    EXPECT_EQ(path, "NoBackslash");
    EXPECT_EQ(SplitLastPathComponent(path), "");
    EXPECT_EQ(path, "NoBackslash");

    path = "\\lead";
    EXPECT_EQ(SplitFirstPathComponent(path), "");
    EXPECT_EQ(path, "lead");

    // One trailing backslash is dropped first, and stays dropped.
    path = "Software\\Key\\";
    EXPECT_EQ(SplitLastPathComponent(path), "Key");
    EXPECT_EQ(path, "Software");
    path = "Key\\";
    EXPECT_EQ(SplitLastPathComponent(path), "");
    EXPECT_EQ(path, "Key");
    path = "a\\\\";
    EXPECT_EQ(SplitLastPathComponent(path), "");
    EXPECT_EQ(path, "a");
    path = "";
    EXPECT_EQ(SplitLastPathComponent(path), "");
    EXPECT_EQ(path, "");
}

}  // namespace
}  // namespace sentrel
