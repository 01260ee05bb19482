// The portable decisions of the registry monitors: root prefixes and names, new autorun names,
// the shield's own autorun entries, registry data as text and RegEntries rows taken apart.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/PathParts.h"
#include "monitors/RegistryRules.h"

namespace sentrel {
namespace {

using Names = std::vector<std::string>;

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

TEST(RegistryRules, NewAutorunNamesIgnoreLetterCaseButTheDefaultValueIsAlwaysNew) {
    EXPECT_EQ(NewAutorunNames({"updater", "New", "Other"}, {"Updater", "OTHER"}), (Names{"New"}));
    EXPECT_EQ(NewAutorunNames({"", "a"}, {"", "a"}), (Names{""}));
    EXPECT_EQ(NewAutorunNames({"a", "b"}, {}), (Names{"a", "b"}));
    EXPECT_EQ(NewAutorunNames({}, {"a"}), Names{});
    // Order of the current names is kept.
    EXPECT_EQ(NewAutorunNames({"z", "known", "y"}, {"known"}), (Names{"z", "y"}));
}

TEST(RegistryRules, OnlyTheBareFileNamesOfTheShieldAndItsScannerAreOwnEntries) {
    const auto ownFile = [](std::string_view data) { return IsOwnAutorunFile(PathFileName(data)); };
    EXPECT_TRUE(ownFile("C:\\Program Files\\Sentrel 4\\Sentrel4.exe"));
    EXPECT_TRUE(ownFile("C:\\Tools\\Talvex4.exe"));
    EXPECT_TRUE(ownFile("Sentrel4.exe"));
    // Quotes or arguments stay in the file-name part, so these are reported.
    EXPECT_FALSE(ownFile("\"C:\\Program Files\\Sentrel 4\\Sentrel4.exe\""));
    EXPECT_FALSE(ownFile("C:\\Program Files\\Sentrel 4\\Sentrel4.exe /min"));
    EXPECT_FALSE(ownFile("C:\\Program Files\\Sentrel 4\\sentrel4.exe"));
    EXPECT_FALSE(ownFile("C:\\Tools\\agent.exe"));
    EXPECT_FALSE(ownFile(""));
}

TEST(RegistryRules, DataIsShownAsTheRegistryEditorShowsIt) {
    using namespace registry_type;
    using namespace std::string_literals;
    EXPECT_EQ(RegistryDataAsText(kString, "C:\\a.exe\0junk"s), "C:\\a.exe");
    EXPECT_EQ(RegistryDataAsText(kExpandString, "%SystemRoot%\\b.exe"), "%SystemRoot%\\b.exe");
    EXPECT_EQ(RegistryDataAsText(kDword, "\x2a\0\0\0"s), "0x0000002a (42)");
    EXPECT_EQ(RegistryDataAsText(kDword, "\xff\xff\xff\xff"s), "0xffffffff (4294967295)");
    EXPECT_EQ(RegistryDataAsText(kDwordBigEndian, "\0\0\0\x2a"s), "0x0000002a (42)");
    EXPECT_EQ(RegistryDataAsText(kQword, "\x01\0\0\0\x01\0\0\0"s), "0x0000000100000001 (4294967297)");
    EXPECT_EQ(RegistryDataAsText(kDword, "\x01\x02"s), "01 02");  // a DWORD of the wrong length
    EXPECT_EQ(RegistryDataAsText(kBinary, "\x01\xab\xff"s), "01 ab ff");
    EXPECT_EQ(RegistryDataAsText(kBinary, ""), "");
    EXPECT_EQ(RegistryDataAsText(kNone, "\x10"s), "10");
    EXPECT_EQ(RegistryDataAsText(99, "\x00\x7f"s), "00 7f");
    EXPECT_EQ(RegistryDataAsText(kMultiString, "a.exe\0b c.exe\0\0"s), "a.exe b c.exe");
    EXPECT_EQ(RegistryDataAsText(kMultiString, "unterminated"), "unterminated");
    EXPECT_EQ(RegistryDataAsText(kMultiString, ""), "");
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
