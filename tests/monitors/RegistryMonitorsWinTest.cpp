// The autorun, watched-value and registry-entry monitors against Wine's real registry, in a
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

TEST_F(RegistryMonitorsWinTest, AutorunPassReportsEachNewValueOnceExceptTheShieldsOwn) {
    RegistryKey run = Key("Run");
    run.WriteString("Existing", "C:\\Old\\old.exe");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Run"), "", 'r');
    ASSERT_EQ(watches.AutorunWatches.size(), 1u);
    EXPECT_EQ(watches.AutorunWatches[0].KeyPath, Path("Run"));
    EXPECT_EQ(watches.AutorunWatches[0].FullKey, KeyText("Run"));
    EXPECT_EQ(watches.AutorunWatches[0].KnownNames, std::vector<std::string>{"Existing"});

    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty()) << "names known at registration are not new";

    run.WriteString("updater", "C:\\Tools\\agent.exe");
    watches.AutorunListTimerTimer(queue_);
    auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].ClassName, "TAutorunAddWarning");
    EXPECT_EQ(found[0].Name, "agent.exe");
    EXPECT_EQ(found[0].Key, Path("Run"));
    EXPECT_EQ(found[0].Value, "updater");
    EXPECT_EQ(found[0].RegString, "C:\\Tools\\agent.exe");
    EXPECT_EQ(found[0].Root, RegistryRoot::CurrentUser);
    EXPECT_EQ(watches.AutorunWatches[0].ValueName, "updater");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty()) << "a new value is reported on one pass only";

    // The shield's own entry raises nothing; quoted or with arguments it is someone else's.
    run.WriteString("Sentrel 4", "C:\\Program Files\\Sentrel 4\\Sentrel4.exe");
    run.WriteString("Talvex", "C:\\Program Files\\Talvex\\Talvex4.exe");
    run.WriteString("Quoted", "\"C:\\Program Files\\Sentrel 4\\Sentrel4.exe\"");
    run.WriteString("Args", "C:\\Program Files\\Sentrel 4\\Sentrel4.exe /min", REG_EXPAND_SZ);
    watches.AutorunListTimerTimer(queue_);
    found = Drain(queue_);
    ASSERT_EQ(found.size(), 2u);
    std::vector<std::string> names{found[0].Name, found[1].Name};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Sentrel4.exe /min", "Sentrel4.exe\""}));

    // A removed value raises nothing; one that comes back is new again.
    run.DeleteValue("updater");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    run.WriteString("updater", "C:\\Tools\\agent.exe");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_EQ(Drain(queue_).size(), 1u);
}

// A program the database knows: the warning is a known one, and the file follows it when it
// exists. A lookup that fails still reports the value, as an unknown program.
TEST_F(RegistryMonitorsWinTest, AutorunPassQueuesTheFileOfAKnownProgramBehindIt) {
    TempFolder folder;
    const std::string spy = folder / "spy.exe";
    const std::string gone = folder / "gone.exe";
    WriteTextFile(spy, "MZ");
    std::vector<std::string> looked;
    TRegistryWatches watches([&](const std::string& path) {
        looked.push_back(path);
        if (path == "C:\\broken.exe") throw std::runtime_error("malformed mask");
        return path == spy || path == gone;
    });
    watches.AddRegWatch(KeyText("Run"), "", 'r');
    RegistryKey run = Key("Run");
    run.WriteString("Spy", spy);
    run.WriteString("Gone", gone);
    run.WriteString("Broken", "C:\\broken.exe");
    watches.AutorunListTimerTimer(queue_);

    std::vector<std::string> queued;
    while (!queue_.Empty()) {
        queued.push_back(std::string(queue_.Head()->ClassName()) + " " + queue_.Head()->Name + ": " +
                         queue_.Head()->GetTitle());
        queue_.RemoveHead();
    }
    std::sort(looked.begin(), looked.end());
    EXPECT_EQ(looked, (std::vector<std::string>{"C:\\broken.exe", gone, spy}));
    // Values come in the key's order; the file is right behind its autorun warning.
    const auto at = std::find(queued.begin(), queued.end(), "TAutorunAddWarning spy.exe: Known malicious program");
    ASSERT_NE(at, queued.end());
    ASSERT_NE(at + 1, queued.end());
    EXPECT_EQ(at[1], "TFileWarning spy.exe: Known malicious program");
    EXPECT_EQ(std::count(queued.begin(), queued.end(), "TAutorunAddWarning gone.exe: Known malicious program"), 1);
    EXPECT_EQ(std::count(queued.begin(), queued.end(), "TAutorunAddWarning broken.exe: Change in autorun list"), 1);
    EXPECT_EQ(queued.size(), 4u);
}

TEST_F(RegistryMonitorsWinTest, AutorunPassKeepsWhatAFullQueueCannotTakeForALaterPass) {
    RegistryKey run = Key("Run");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Run"), "", 'r');
    for (std::size_t i = 1; i < WarningQueue::kCapacity; ++i)
        queue_.QueueWarning(std::make_unique<TCookieWarning>("filler" + std::to_string(i)));
    run.WriteString("first", "C:\\Tools\\first.exe");
    run.WriteString("second", "C:\\Tools\\second.exe");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_EQ(queue_.Count(), WarningQueue::kCapacity) << "one value fits";
    EXPECT_EQ(queue_.RefusedWhileFull(), 0u) << "the other was kept back, not refused";

    // Once the dispatcher has made room the next pass reports the value kept back, only it.
    queue_.RemoveHead();
    watches.AutorunListTimerTimer(queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), WarningQueue::kCapacity);
    EXPECT_NE(found[found.size() - 2].Value, found.back().Value);
    EXPECT_EQ(found.back().ClassName, "TAutorunAddWarning");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(queue_.Empty());
}

TEST_F(RegistryMonitorsWinTest, AutorunPassKnowsNamesInAnyCaseAndAlwaysReportsTheDefaultValue) {
    RegistryKey run = Key("Run");
    run.WriteString("Updater", "C:\\Tools\\agent.exe");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Run"), "", 'r');

    // The same name written in other letters counts as known.
    run.DeleteValue("Updater");
    run.WriteString("UPDATER", "C:\\Tools\\other.exe");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    EXPECT_EQ(watches.AutorunWatches[0].CurrentNames, std::vector<std::string>{"UPDATER"});

    // The key's default value (empty name) is new on every pass.
    run.WriteString("", "C:\\Bad\\default.exe");
    for (int pass = 0; pass < 2; ++pass) {
        watches.AutorunListTimerTimer(queue_);
        const auto found = Drain(queue_);
        ASSERT_EQ(found.size(), 1u) << "pass " << pass;
        EXPECT_EQ(found[0].Name, "default.exe");
        EXPECT_EQ(found[0].Value, "");
    }
}

TEST_F(RegistryMonitorsWinTest, AutorunPassReportsDataOfAnyTypeAndGoesOnToTheNextWatch) {
    RegistryKey first = Key("Run");
    RegistryKey second = Key("RunOnce");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Run"), "", 'r');
    watches.AddRegWatch(KeyText("RunOnce"), "", 'r');
    watches.AddRegWatch(KeyText("Missing"), "", 'r');  // watched before it exists
    ASSERT_EQ(watches.AutorunWatches.size(), 3u);
    EXPECT_TRUE(watches.AutorunWatches[2].KnownNames.empty());

    first.WriteDword("flag", 42);
    first.WriteBinary("blob", std::string("\x01\xab", 2));
    second.WriteString("later", "C:\\x\\later.exe");
    Key("Missing").WriteString("arrived", "C:\\x\\arrived.exe");
    watches.AutorunListTimerTimer(queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 4u);
    // The two values of the first key in the order the registry enumerates them.
    const Reported& flag = found[0].Value == "flag" ? found[0] : found[1];
    const Reported& blob = found[0].Value == "flag" ? found[1] : found[0];
    EXPECT_EQ(flag.Value, "flag");
    EXPECT_EQ(flag.Name, "0x0000002a (42)");
    EXPECT_EQ(flag.RegString, "0x0000002a (42)");
    EXPECT_EQ(blob.Value, "blob");
    EXPECT_EQ(blob.RegString, "01 ab");
    EXPECT_EQ(found[2].Name, "later.exe");
    EXPECT_EQ(found[3].Name, "arrived.exe");

    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty()) << "the odd-typed values are known after one report";

    // A key that goes away reads as empty; its values are new again when it comes back.
    DeleteKeyTree(HKEY_CURRENT_USER, Path("Missing"));
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty());
    Key("Missing").WriteString("arrived", "C:\\x\\arrived.exe");
    watches.AutorunListTimerTimer(queue_);
    EXPECT_EQ(Drain(queue_).size(), 1u);

    // A level change accepts whatever the last pass read.
    first.WriteString("new", "C:\\x\\new.exe");
    watches.AutorunWatches[0].CurrentNames.push_back("new");
    watches.ResyncAutorunWatches();
    watches.AutorunListTimerTimer(queue_);
    EXPECT_TRUE(Drain(queue_).empty());
}

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
    RegistryKey run = Key("Run");
    RegistryKey main = Key("Main");
    main.WriteString("Start Page", "A");
    TRegistryWatches watches;
    watches.AddRegWatch(KeyText("Run"), "", 'r');
    watches.AddRegWatch(KeyText("Main"), "Start Page", 'z');
    run.WriteString("removed", "C:\\Tools\\agent.exe");
    watches.AutorunListTimerTimer(queue_);
    ASSERT_EQ(Drain(queue_).size(), 1u);
    run.DeleteValue("removed");  // the fix
    watches.AutorunListTimerTimer(queue_);

    // The undo puts the value and the old start page back, between two passes; another program
    // adds its own entry at the same time, before the undo began.
    run.WriteString("intruder", "C:\\Bad\\bad.exe");
    const TRegistrySnapshot before = watches.TakeSnapshot();
    run.WriteString("removed", "C:\\Tools\\agent.exe");
    main.WriteString("Start Page", "Old");
    watches.AcceptChangesSince(before);

    watches.AutorunListTimerTimer(queue_);
    watches.RegChangeTimerTimer(queue_);
    const auto found = Drain(queue_);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Value, "intruder");
    EXPECT_EQ(watches.ValueWatches[0].KnownRegString, "Old");

    // Later changes of the same names are reported again.
    run.DeleteValue("removed");
    watches.AutorunListTimerTimer(queue_);
    run.WriteString("removed", "C:\\Tools\\agent.exe");
    main.WriteString("Start Page", "New");
    watches.AutorunListTimerTimer(queue_);
    watches.RegChangeTimerTimer(queue_);
    EXPECT_EQ(Drain(queue_).size(), 2u);
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
    watches.AddRegWatch("HKCR\\" + Path("Main"), "", 'r');
    watches.AddRegWatch("", "", 'r');
    EXPECT_TRUE(watches.ValueWatches.empty());
    EXPECT_TRUE(watches.AutorunWatches.empty());
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

TEST_F(RegistryMonitorsWinTest, StartupRegistrationCreatesAutorunWatchesTheHelperObjectWatchAndTheValues) {
    Key("Run").WriteString("a", "C:\\a.exe");
    Key("RunOnce");
    Key("BHO\\{11111111-0000-0000-0000-000000000000}");
    Key("BHO\\{22222222-0000-0000-0000-000000000000}");
    Key("Main").WriteString("Start Page", "http://home/");
    TempFolder folder;
    const std::string ini = folder / "keys_to_watch.ini";
    WriteTextFile(ini, "[Count]\r\nCount=1\r\n[0]\r\nKey=" + KeyText("Main") + "\r\nValue=Start Page\r\n");

    TRegistryWatches watches;
    RegisterStartupWatches(watches, {{KeyText("Run"), KeyText("RunOnce")}, KeyText("BHO")}, ini);
    ASSERT_EQ(watches.AutorunWatches.size(), 2u);
    EXPECT_EQ(watches.AutorunWatches[0].KnownNames, std::vector<std::string>{"a"});
    EXPECT_EQ(watches.AutorunWatches[1].FullKey, KeyText("RunOnce"));
    ASSERT_TRUE(watches.BrowserHelperObjects.has_value());
    EXPECT_EQ(watches.BrowserHelperObjects->Kind, 'b');
    auto helpers = watches.BrowserHelperObjects->KnownNames;
    std::sort(helpers.begin(), helpers.end());
    EXPECT_EQ(helpers, (std::vector<std::string>{"{11111111-0000-0000-0000-000000000000}",
                                                 "{22222222-0000-0000-0000-000000000000}"}));
    ASSERT_EQ(watches.ValueWatches.size(), 1u);

    const TStartupWatchKeys defaults = DefaultStartupWatchKeys();
    ASSERT_EQ(defaults.AutorunKeys.size(), 6u);
    EXPECT_EQ(defaults.AutorunKeys[0], "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(defaults.AutorunKeys[5], "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    TRegistryWatches real;
    RegisterStartupWatches(real, defaults, folder / "missing.ini");
    EXPECT_EQ(real.AutorunWatches.size(), 10u);  // the four machine keys in each registry view
    EXPECT_TRUE(real.BrowserHelperObjects.has_value());
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
