// The portable decisions of the registry monitors: root prefixes and names, new autorun names,
// the shield's own autorun entries, registry data as text and RegEntries rows taken apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/PathParts.h"
#include "monitors/AutostartPoints.h"
#include "monitors/RegistryRules.h"

namespace sentrel {
namespace {


TEST(RegistryRules, RootFromPrefixReadsExactlyTheFirstFourCharacters) {
    EXPECT_EQ(RootFromPrefix("HKLM\\SOFTWARE\\Run"), RegistryRoot::LocalMachine);
    EXPECT_EQ(RootFromPrefix("HKCU\\Software"), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootFromPrefix("HKCR\\CLSID"), RegistryRoot::ClassesRoot);
    EXPECT_EQ(RootFromPrefix("HKCUx"), RegistryRoot::CurrentUser);  // only four characters count
    EXPECT_FALSE(RootFromPrefix("hklm\\SOFTWARE").has_value());
    EXPECT_FALSE(RootFromPrefix("HKU\\.DEFAULT").has_value());
    EXPECT_FALSE(RootFromPrefix("HKL").has_value());
    EXPECT_FALSE(RootFromPrefix("").has_value());

    EXPECT_EQ(KeyPathOfWatch("HKCU\\Software\\Microsoft"), "Software\\Microsoft");
    EXPECT_EQ(KeyPathOfWatch("HKCU\\"), "");
    EXPECT_EQ(KeyPathOfWatch(""), "");
}

TEST(RegistryRules, RootFromNameKnowsTheSevenRootsExactlyAndFallsBackToTheCurrentUser) {
    EXPECT_EQ(RootFromName("HKEY_CLASSES_ROOT"), RegistryRoot::ClassesRoot);
    EXPECT_EQ(RootFromName("HKEY_CURRENT_USER"), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootFromName("HKEY_LOCAL_MACHINE"), RegistryRoot::LocalMachine);
    EXPECT_EQ(RootFromName("HKEY_USERS"), RegistryRoot::Users);
    EXPECT_EQ(RootFromName("HKEY_PERFORMANCE_DATA"), RegistryRoot::PerformanceData);
    EXPECT_EQ(RootFromName("HKEY_CURRENT_CONFIG"), RegistryRoot::CurrentConfig);
    EXPECT_EQ(RootFromName("HKEY_DYN_DATA"), RegistryRoot::DynData);
    EXPECT_EQ(static_cast<std::uint32_t>(RootFromName("HKEY_LOCAL_MACHINE")), 0x80000002u);

    EXPECT_EQ(RootFromName("HKLM"), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootFromName(""), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootFromName("hkey_local_machine"), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootFromName("HKEY_LOCAL_MACHINE "), RegistryRoot::CurrentUser);
}

TEST(RegistryRules, TheShieldAndItsScannerAreOwnEntriesWhereverTheirCommandPutsThem) {
    const auto ownFile = [](std::string_view data) { return IsOwnAutorunFile(PathFileName(CommandProgram(data))); };
    EXPECT_TRUE(ownFile("C:\\Program Files\\Sentrel 4\\Sentrel4.exe"));
    EXPECT_TRUE(ownFile("C:\\Tools\\Talvex4.exe"));
    EXPECT_TRUE(ownFile("\"C:\\Program Files\\Sentrel 4\\Sentrel4.exe\" /hidden"));
    EXPECT_TRUE(ownFile("C:\\Program Files\\Sentrel 4\\Sentrel4.exe /min"));
    // The name itself is compared exactly: another letter case, or another program, is reported.
    EXPECT_FALSE(ownFile("C:\\Program Files\\Sentrel 4\\sentrel4.exe"));
    EXPECT_FALSE(ownFile("C:\\Tools\\agent.exe Sentrel4.exe"));
    EXPECT_FALSE(ownFile(""));
}

TEST(RegistryRules, DataIsShownAsTheRegistryEditorShowsIt) {
    using namespace std::string_literals;
    EXPECT_EQ(RegistryDataAsText(kRegSz, "C:\\a.exe\0junk"s), "C:\\a.exe");
    EXPECT_EQ(RegistryDataAsText(kRegExpandSz, "%SystemRoot%\\b.exe"), "%SystemRoot%\\b.exe");
    EXPECT_EQ(RegistryDataAsText(kRegDword, "\x2a\0\0\0"s), "0x0000002a (42)");
    EXPECT_EQ(RegistryDataAsText(kRegDword, "\xff\xff\xff\xff"s), "0xffffffff (4294967295)");
    EXPECT_EQ(RegistryDataAsText(kRegDwordBigEndian, "\0\0\0\x2a"s), "0x0000002a (42)");
    EXPECT_EQ(RegistryDataAsText(kRegQword, "\x01\0\0\0\x01\0\0\0"s), "0x0000000100000001 (4294967297)");
    EXPECT_EQ(RegistryDataAsText(kRegDword, "\x01\x02"s), "01 02");  // a DWORD of the wrong length
    EXPECT_EQ(RegistryDataAsText(kRegBinary, "\x01\xab\xff"s), "01 ab ff");
    EXPECT_EQ(RegistryDataAsText(kRegBinary, ""), "");
    EXPECT_EQ(RegistryDataAsText(kRegNone, "\x10"s), "10");
    EXPECT_EQ(RegistryDataAsText(99, "\x00\x7f"s), "00 7f");
    EXPECT_EQ(RegistryDataAsText(kRegMultiSz, "a.exe\0b c.exe\0\0"s), "a.exe b c.exe");
    EXPECT_EQ(RegistryDataAsText(kRegMultiSz, "unterminated"), "unterminated");
    EXPECT_EQ(RegistryDataAsText(kRegMultiSz, ""), "");
}

TEST(RegistryRules, RegEntryRowsNameAKeyOrTheLastComponentAsAValue) {
    TRegEntryTarget target = RegEntryTargetOf("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Toolbar");
    EXPECT_EQ(target.Root, RegistryRoot::LocalMachine);
    EXPECT_EQ(target.Parent, "SOFTWARE\\Vendor\\");
    EXPECT_EQ(target.KeyText, "SOFTWARE\\Vendor\\Toolbar\\");
    EXPECT_EQ(target.Last, "Toolbar");

    // Two components name the key itself.
    target = RegEntryTargetOf("HKEY_CURRENT_USER\\Software");
    EXPECT_EQ(target.Root, RegistryRoot::CurrentUser);
    EXPECT_EQ(target.Parent, "Software\\");
    EXPECT_EQ(target.KeyText, "Software\\");
    EXPECT_EQ(target.Last, "");

    // A trailing backslash is dropped before the last component is taken.
    target = RegEntryTargetOf("HKEY_USERS\\.DEFAULT\\Software\\Bad\\");
    EXPECT_EQ(target.Root, RegistryRoot::Users);
    EXPECT_EQ(target.Parent, ".DEFAULT\\Software\\");
    EXPECT_EQ(target.KeyText, ".DEFAULT\\Software\\Bad\\");
    EXPECT_EQ(target.Last, "Bad");

    // An unknown root name falls back to the current user.
    target = RegEntryTargetOf("HKLM\\Software\\Bad");
    EXPECT_EQ(target.Root, RegistryRoot::CurrentUser);
    EXPECT_EQ(target.Parent, "Software\\");
    EXPECT_EQ(target.Last, "Bad");
}

}  // namespace
}  // namespace sentrel
