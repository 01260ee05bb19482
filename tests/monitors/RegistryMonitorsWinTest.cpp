// The watched-value and registry-entry monitors against Wine's real registry, in a
// throw-away key under HKCU\Software\SentrelTests that is deleted before and after each test.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/WarningQueue.h"
#include "database/LookupTables.h"
#include "database/ThreatTables.h"
#include "monitors/RegistryMonitors.h"
#include "platform/Registry.h"
#include "support/TempFolder.h"
#include "support/WholePass.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using platform::DeleteKeyTree;
using platform::RegistryKey;
using test::MakeDataBase;
using test::MakeTable;
using test::RunWholePass;
using test::TempFolder;
using test::WriteTextFile;

struct Reported {
    std::string ClassName;
    std::string Name;
    std::string Key;
    std::string Value;
    std::string RegString;  // NewRegString for a browser setting
    std::string OldRegString;
    RegistryRoot Root = RegistryRoot::CurrentUser;
};

// Every queued warning, oldest first; the queue is emptied.
std::vector<Reported> Drain(WarningQueue& queue) {
    std::vector<Reported> found;
    while (!queue.Empty()) {
        TWarning* head = queue.Head();
        Reported item{std::string(head->ClassName()), head->Name, {}, {}, {}, {}, {}};
        if (auto* setting = dynamic_cast<TBrowserSettingWarning*>(head)) {
            item.Key = setting->Key;
            item.Value = setting->Value;
            item.RegString = setting->NewRegString;
            item.OldRegString = setting->OldRegString;
            item.Root = setting->RootKey;
        } else if (auto* autorun = dynamic_cast<TAutorunAddWarning*>(head)) {
            item.Key = autorun->Key;
            item.Value = autorun->Value;
            item.RegString = autorun->RegString;
            item.Root = autorun->RootKey;
        }
        found.push_back(item);
        queue.RemoveHead();
    }
    return found;
}

// One whole watched-value pass and one whole registry-entry pass, walked in slices as the
// shield's clock walks them.
void ValuePass(TRegistryWatches& watches, WarningSink& queue) {
    RunWholePass([&](const SliceBudget& budget) { return watches.RegChangeTimerSlice(queue, budget); });
}
void EntryPass(TRegistryWatches& watches, const TThreatTables& tables, WarningSink& queue) {
    RunWholePass([&](const SliceBudget& budget) { return watches.RegistryTimerSlice(tables, queue, budget); });
}

class RegistryMonitorsWinTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = "Software\\SentrelTests\\RegMon" + std::to_string(GetCurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        DeleteKeyTree(HKEY_CURRENT_USER, path_);
    }
    void TearDown() override { DeleteKeyTree(HKEY_CURRENT_USER, path_); }

    // The key below HKCU and its key text with the prefix.
    std::string Path(const std::string& sub) const { return path_ + "\\" + sub; }
    std::string KeyText(const std::string& sub) const { return "HKCU\\" + Path(sub); }
    RegistryKey Key(const std::string& sub) const { return RegistryKey::Create(HKEY_CURRENT_USER, Path(sub)); }

    std::string path_;
    WarningQueue queue_;
};

// Sets a key's access list: `readable` false gives it an empty list, which refuses everyone.
void SetKeyReadable(HKEY root, const std::string& path, bool readable) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key), ERROR_SUCCESS);
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    // Readable: no access list at all, which grants everything.
    SetSecurityDescriptorDacl(&descriptor, TRUE, readable ? nullptr : &empty, FALSE);
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(RegistryMonitorsWinTest, AWatchedValueThatCannotBeReadIsSkippedNotReportedAsEmptied) {
    Key("Locked").WriteString("Start Page", "A");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Locked"), "Start Page", 'z');
    ASSERT_EQ(watches.ValueWatches.size(), 1u);
    SetKeyReadable(HKEY_CURRENT_USER, Path("Locked"), false);
    HKEY probe = nullptr;
    const LONG refused = RegOpenKeyExA(HKEY_CURRENT_USER, Path("Locked").c_str(), 0, KEY_READ, &probe);
    if (probe) RegCloseKey(probe);
    if (refused != ERROR_ACCESS_DENIED) {
        SetKeyReadable(HKEY_CURRENT_USER, Path("Locked"), true);
        GTEST_SKIP() << "this registry does not refuse access to a key with an empty access list";
    }
    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    EXPECT_EQ(watches.ValueWatches[0].KnownRegString, "A");

    // Readable again and unchanged: still nothing; then a real change is reported from "A".
    SetKeyReadable(HKEY_CURRENT_USER, Path("Locked"), true);
    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    Key("Locked").WriteString("Start Page", "B");
    ValuePass(watches, queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].OldRegString, "A");
    EXPECT_EQ(found[0].RegString, "B");
}

TEST_F(RegistryMonitorsWinTest, WatchedValuePassReportsEveryChangeWithTheOldAndNewData) {
    RegistryKey main = Key("Main");
    main.WriteString("Start Page", "A");
    main.WriteString("Other", "P");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Main"), "Other", 'z');
    watches.AddRegWatch(KeyText("Main"), "Start Page", 'z');
    ASSERT_EQ(watches.ValueWatches.size(), 2u);
    EXPECT_EQ(watches.ValueWatches[1].KnownRegString, "A");

    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());

    main.WriteString("Start Page", "B");
    ValuePass(watches, queue_);
    auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].ClassName, "TBrowserSettingWarning");
    EXPECT_EQ(found[0].Key, Path("Main"));
    EXPECT_EQ(found[0].Value, "Start Page");
    EXPECT_EQ(found[0].OldRegString, "A");
    EXPECT_EQ(found[0].RegString, "B");

    main.WriteString("Start Page", "A");
    ValuePass(watches, queue_);
    found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].OldRegString, "B");
    EXPECT_EQ(found[0].RegString, "A");

    // Case matters.
    main.WriteString("Start Page", "a");
    ValuePass(watches, queue_);
    EXPECT_EQ(Drain(queue_).size(), 1u);

    // A value that turns into a number cannot be read as a string: no comparison at all (not
    // with the text of the watch before it), and the known data stays.
    main.WriteDword("Start Page", 7);
    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    EXPECT_EQ(watches.ValueWatches[1].KnownRegString, "a");
    main.WriteString("Start Page", "a");
    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());

    // Deleted: changed to empty; back: changed again.
    main.DeleteValue("Start Page");
    ValuePass(watches, queue_);
    found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].OldRegString, "a");
    EXPECT_EQ(found[0].RegString, "");
    main.WriteString("Start Page", "C");
    ValuePass(watches, queue_);
    found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].OldRegString, "");

    // A fix that rewrites the value itself refreshes the known data without a report.
    main.WriteString("Start Page", "D");
    watches.RefreshKnownRegStrings();
    ValuePass(watches, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    // Refreshed for that value alone (in any letter case), a change of another one still counts.
    main.WriteString("Start Page", "E");
    main.WriteString("Other", "Q");
    watches.RefreshKnownRegString(RegistryRoot::CurrentUser, Path("MAIN"), "start page");
    ValuePass(watches, queue_);
    found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Value, "Other");
    EXPECT_EQ(found[0].RegString, "Q");
}

TEST_F(RegistryMonitorsWinTest, ChangesAcceptedAsTheUsersOwnAreNotReportedButLaterOnesAre) {
    RegistryKey main = Key("Main");
    main.WriteString("Start Page", "A");
    main.WriteString("Search Page", "S");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Main"), "Start Page", 'z');
    watches.AddRegWatch(KeyText("Main"), "Search Page", 'z');

    // The undo puts the old start page back; another program changed the search page before
    // the undo began.
    main.WriteString("Search Page", "Hijacked");
    const TRegistrySnapshot before = watches.TakeSnapshot();
    main.WriteString("Start Page", "Old");
    watches.AcceptChangesSince(before);

    watches.RegChangeTimerTimer(queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Value, "Search Page");
    EXPECT_EQ(watches.ValueWatches[0].KnownRegString, "Old");

    // A later change of the same value is reported again.
    main.WriteString("Start Page", "New");
    watches.RegChangeTimerTimer(queue_);
    EXPECT_EQ(Drain(queue_).size(), 1u);
}

TEST_F(RegistryMonitorsWinTest, OnlyPlainStringValuesOfCurrentUserOrMachineKeysAreWatched) {
    RegistryKey main = Key("Main");
    main.WriteString("Plain", "x");
    main.WriteString("Expand", "%TEMP%", REG_EXPAND_SZ);
    main.WriteDword("Number", 1);
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Main"), "Expand", 'z');
    watches.AddRegWatch(KeyText("Main"), "Number", 'z');
    watches.AddRegWatch(KeyText("Main"), "Absent", 'z');
    watches.AddRegWatch(KeyText("NoSuchKey"), "Plain", 'z');
    watches.AddRegWatch("HKCR\\" + Path("Main"), "Plain", 'z');
    watches.AddRegWatch("hkcu\\" + Path("Main"), "Plain", 'z');
    watches.AddRegWatch(KeyText("Main"), "Plain", 'r');  // no other kind of watch is made
    EXPECT_TRUE(watches.ValueWatches.empty());
    watches.AddRegWatch(KeyText("Main"), "Plain", 'z');
    ASSERT_EQ(watches.ValueWatches.size(), 1u);
    EXPECT_EQ(watches.ValueWatches[0].Kind, 'z');
    EXPECT_EQ(watches.ValueWatches[0].Registry, RegistryRoot::CurrentUser);
}

TEST_F(RegistryMonitorsWinTest, WatchListFileNamesValuesAndAllTakesTheValuesOfTheMoment) {
    RegistryKey main = Key("Main");
    main.WriteString("Start Page", "http://home/");
    main.WriteString("Local Page", "%SystemRoot%\\blank.htm", REG_EXPAND_SZ);
    RegistryKey search = Key("Search");
    search.WriteString("p", "1");
    search.WriteString("q", "2");
    search.WriteDword("n", 3);
    TempFolder folder;
    const std::string ini = folder / "keys_to_watch.ini";
    WriteTextFile(ini, "[Count]\r\nCount=7\r\n"
                       "[0]\r\nKey=" + KeyText("Main") + "\r\nValue=Start Page\r\n"
                       "[1]\r\nKey=" + KeyText("Main") + "\r\nValue=Local Page\r\n"
                       "[2]\r\nKey=" + KeyText("Main") + "\r\nValue=Gone\r\n"
                       "[3]\r\nKey=" + KeyText("Search") + "\r\nValue=ALL\r\n"
                       "[4]\r\nKey=HKCR\\" + Path("Search") + "\r\nValue=ALL\r\n"
                       "[5]\r\nKey=" + KeyText("Search") + "\r\nValue=all\r\n"
                       "[05]\r\nKey=" + KeyText("Main") + "\r\nValue=Start Page\r\n"
                       "[7]\r\nKey=" + KeyText("Main") + "\r\nValue=Start Page\r\n");
    TRegistryWatches watches;
    watches.AddRegTimerWatches(ini);
    std::vector<std::string> watched;
    for (const TRegMonitor& watch : watches.ValueWatches) watched.push_back(watch.FullKey + "|" + watch.ValueName);
    EXPECT_EQ(watched, (std::vector<std::string>{KeyText("Main") + "|Start Page", KeyText("Search") + "|p",
                                                 KeyText("Search") + "|q"}));
    EXPECT_EQ(watches.ValueWatches[0].KnownRegString, "http://home/");

    // A value added to an "ALL" key later is not watched.
    search.WriteString("r", "new");
    search.WriteString("p", "changed");
    ValuePass(watches, queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Value, "p");

    // Without the file nothing is watched; without a Count 36 entries are read.
    TRegistryWatches none;
    none.AddRegTimerWatches(folder / "missing.ini");
    EXPECT_TRUE(none.ValueWatches.empty());
    WriteTextFile(ini, "[35]\r\nKey=" + KeyText("Main") + "\r\nValue=Start Page\r\n"
                       "[36]\r\nKey=" + KeyText("Search") + "\r\nValue=q\r\n");
    TRegistryWatches defaults;
    defaults.AddRegTimerWatches(ini);
    ASSERT_EQ(defaults.ValueWatches.size(), 1u);
    EXPECT_EQ(defaults.ValueWatches[0].ValueName, "Start Page");
}

TEST_F(RegistryMonitorsWinTest, ReadRegStringGivesEmptyForMissingAndThrowsForOtherTypes) {
    RegistryKey key = Key("Values");
    key.WriteString("s", "text");
    key.WriteString("e", "%TEMP%\\x", REG_EXPAND_SZ);
    key.WriteDword("d", 1);
    EXPECT_EQ(ReadRegString(RegistryRoot::CurrentUser, Path("Values"), "s"), "text");
    EXPECT_EQ(ReadRegString(RegistryRoot::CurrentUser, Path("Values"), "e"), "%TEMP%\\x");
    EXPECT_EQ(ReadRegString(RegistryRoot::CurrentUser, Path("Values"), "missing"), "");
    EXPECT_EQ(ReadRegString(RegistryRoot::CurrentUser, Path("NoKey"), "s"), "");
    EXPECT_THROW(ReadRegString(RegistryRoot::CurrentUser, Path("Values"), "d"), std::exception);
}

TEST_F(RegistryMonitorsWinTest, RegistryEntryPassReportsListedKeysAndValues) {
    Key("Vendor\\Toolbar");
    RegistryKey vendor = Key("Vendor");
    vendor.WriteString("Hook", "C:\\bad.dll");
    vendor.WriteDword("Counter", 5);
    vendor.WriteBinary("Blob", "abc");
    vendor.WriteString("Other", "o");
    const std::string root = "HKEY_CURRENT_USER\\" + path_ + "\\";
    auto tables = std::make_unique<TThreatTables>(MakeDataBase(MakeTable(
        "RegEntries", {{"REG_PATH",
                        {root + "Vendor\\Toolbar", root + "Vendor\\Hook", root + "Vendor\\Absent", root + "Gone\\Hook",
                         root + "Vendor\\Counter", root + "Vendor\\Blob", root + "Vendor", "HKEY_CURRENT_USER\\Software",
                         "NOT_A_ROOT\\" + path_ + "\\Vendor\\Other"}},
                       {"SPYWARE_REF", {"1", "2", "3", "4", "5", "6", "x", "8", "9"}}})));

    TRegistryWatches watches;
    EntryPass(watches, *tables, queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 6u);
    const std::string vendorKey = path_ + "\\Vendor\\";
    EXPECT_EQ(found[0].ClassName, "TRegistyWarning");
    EXPECT_EQ(found[0].Name, vendorKey + "Toolbar\\");
    EXPECT_EQ(found[0].Key, vendorKey + "Toolbar\\");
    EXPECT_EQ(found[0].Value, "");
    EXPECT_EQ(found[0].RegString, "");
    EXPECT_EQ(found[1].Name, vendorKey);
    EXPECT_EQ(found[1].Key, vendorKey);
    EXPECT_EQ(found[1].Value, "Hook");
    EXPECT_EQ(found[1].RegString, "C:\\bad.dll");
    EXPECT_EQ(found[2].Value, "Counter");
    EXPECT_EQ(found[2].RegString, "0x00000005 (5)");  // any type is reported, later rows go on
    EXPECT_EQ(found[3].Value, "Blob");
    EXPECT_EQ(found[3].RegString, "ab");
    // SPYWARE_REF is read but its value is not used: "x" does not skip the row.
    EXPECT_EQ(found[4].Name, vendorKey);
    EXPECT_EQ(found[4].Value, "");
    // "HKEY_CURRENT_USER\\Software" names a key right below the root: never offered for removal.
    // An unknown root name is read below the current user.
    EXPECT_EQ(found[5].Value, "Other");
    EXPECT_EQ(found[5].Root, RegistryRoot::CurrentUser);

    // Every existing entry is found again on the next pass; without the table nothing happens.
    EntryPass(watches, *tables, queue_);
    EXPECT_EQ(Drain(queue_).size(), 6u);
    // Walked one row per tick, a pass reports the same entries, each once.
    int ticks = 1;
    while (!watches.RegistryTimerSlice(*tables, queue_, [] { return false; })) ++ticks;
    EXPECT_EQ(ticks, 9);
    const auto sliced = Drain(queue_);
    ASSERT_EQ(sliced.size(), found.size());
    for (std::size_t i = 0; i < sliced.size(); ++i) EXPECT_EQ(sliced[i].Value, found[i].Value);
    // A row without a key below its root never names the root itself (whose fix would delete
    // the whole hive); a table without the REG_PATH column reads such empty paths.
    TThreatTables roots(MakeDataBase(MakeTable(
        "RegEntries", {{"REG_PATH", {"HKEY_CURRENT_USER\\", "HKEY_LOCAL_MACHINE", "", "\\"}},
                       {"SPYWARE_REF", {"1", "2", "3", "4"}}})));
    EntryPass(watches, roots, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    TThreatTables noPaths(MakeDataBase(MakeTable("RegEntries", {{"SPYWARE_REF", {"1", "2"}}})));
    EntryPass(watches, noPaths, queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    TThreatTables empty(MakeDataBase(MakeTable("Other", {{"REG_PATH", {root + "Vendor\\Hook"}}})));
    EntryPass(watches, empty, queue_);
    EXPECT_TRUE(queue_.Empty());

    // The sliced pass skips the rows whose parent was missing until something changes below the
    // key their path starts from: a key made after a pass is found by the next one.
    const std::string later = "Software\\SentrelTestsLater" + std::to_string(GetCurrentProcessId());
    DeleteKeyTree(HKEY_CURRENT_USER, later);
    TThreatTables laterRows(MakeDataBase(MakeTable(
        "RegEntries", {{"REG_PATH", {"HKEY_CURRENT_USER\\" + later + "\\Tool", "HKEY_CURRENT_USER\\" + later + "\\Bar"}},
                       {"SPYWARE_REF", {"1", "2"}}})));
    while (!watches.RegistryTimerSlice(laterRows, queue_, [] { return false; })) {
    }
    EXPECT_TRUE(Drain(queue_).empty());
    RegistryKey::Create(HKEY_CURRENT_USER, later + "\\Tool");
    RegistryKey::Create(HKEY_CURRENT_USER, later + "\\Bar");
    while (!watches.RegistryTimerSlice(laterRows, queue_, [] { return false; })) {
    }
    EXPECT_EQ(Drain(queue_).size(), 2u);
    DeleteKeyTree(HKEY_CURRENT_USER, later);

    // So are the rows whose key is there without their entry: a value set later is found.
    while (!watches.RegistryTimerSlice(*tables, queue_, [] { return false; })) {
    }
    EXPECT_EQ(Drain(queue_).size(), found.size());
    Key("Vendor").WriteString("Absent", "x");
    while (!watches.RegistryTimerSlice(*tables, queue_, [] { return false; })) {
    }
    const auto withAbsent = Drain(queue_);
    ASSERT_EQ(withAbsent.size(), found.size() + 1);
    EXPECT_EQ(withAbsent[2].Value, "Absent");
}

}  // namespace
}  // namespace sentrel
