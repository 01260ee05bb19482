// The table of autostart points, the baseline file and the comparison that makes findings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuiltInAutostartPoints.h"
#include "monitors/AutostartPoints.h"
#include "warnings/AutostartEntryData.h"

namespace sentrel {
namespace {

TEST(AutostartPoints, ParsesEachKindAndSkipsBadRowsWithALogLine) {
    const std::string table =
        "\xEF\xBB\xBF; comment\r\n"
        "\n"
        "values  | HKCU\\Software\\Run\\ |  | the Run list \r\n"
        "value   | HKLM\\SOFTWARE\\Winlogon | Shell | the shell\n"
        "value   | hkcu\\Software\\Classes\\exefile\\shell\\open\\command | @ | the open command\n"
        "subkeys | HKLM\\SOFTWARE\\IFEO | Debugger, GlobalFlag ,>HKLM\\SOFTWARE\\Classes\\ | the debuggers\n"
        "files   | Startup | | your Startup folder\n"
        "# bad rows:\n"
        "values  | HKCU\\Software\\Run | | \n"             // no name
        "value   | HKCR\\exefile | @ | a root not watched\n"
        "values  | HKCU\\Software\\Run | O*PEN | a star inside a name\n"
        "drivers | HKLM\\SYSTEM\\Services | | no such kind\n"
        "values  | HKCU\\ | | a root alone\n"
        "values  | HKCU\\Software\\Run | the Run list\n";  // three fields
    std::vector<std::string> log;
    const std::vector<AutostartPoint> points =
        ParseAutostartPoints(table, [&](const std::string& line) { log.push_back(line); });

    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].kind, AutostartPointKind::KeyValues);
    EXPECT_EQ(points[0].root, RegistryRoot::CurrentUser);
    EXPECT_EQ(points[0].path, "Software\\Run");
    EXPECT_TRUE(points[0].values.empty());
    EXPECT_EQ(points[0].name, "the Run list");
    EXPECT_EQ(points[1].root, RegistryRoot::LocalMachine);
    EXPECT_EQ(points[1].values, std::vector<std::string>{"Shell"});
    EXPECT_EQ(points[2].values, std::vector<std::string>{""});  // "@": the default value
    EXPECT_EQ(points[3].kind, AutostartPointKind::SubKeys);
    EXPECT_EQ(points[3].values, (std::vector<std::string>{"Debugger", "GlobalFlag"}));
    EXPECT_EQ(points[3].shadowsRoot, RegistryRoot::LocalMachine);
    EXPECT_EQ(points[3].shadowsPath, "SOFTWARE\\Classes");
    EXPECT_EQ(points[4].kind, AutostartPointKind::Files);
    EXPECT_FALSE(points[4].IsRegistry());

    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], "autostart_points.ini line 9 skipped: it gives the point no name");
    EXPECT_NE(log[5].find("line 14 skipped: it has 3 fields"), std::string::npos) << log[5];
}

TEST(AutostartPoints, AValuesRowMayNameTheValuesThatCount) {
    const std::vector<AutostartPoint> points = ParseAutostartPoints(
        "values | HKCU\\Software\\Excel\\Options | OPEN*, Extra | the add-ins\n"
        "values | HKCU\\Software\\Excel\\Options | | every option\n",
        {});
    ASSERT_EQ(points.size(), 2u);
    for (const char* name : {"OPEN", "open2", "Extra"}) EXPECT_TRUE(AutostartPointCounts(points[0], name)) << name;
    for (const char* name : {"OPTIONS", "Extra2", "", "XOPEN"}) EXPECT_FALSE(AutostartPointCounts(points[0], name)) << name;
    EXPECT_TRUE(AutostartPointCounts(points[1], "OPTIONS"));
    EXPECT_FALSE(SameAutostartPoint(points[0], points[1]));
    EXPECT_NE(RegistryPointId(points[0], RegistryView::Bits64), RegistryPointId(points[1], RegistryView::Bits64));
}

TEST(AutostartPoints, TheProgramFolderTableOnlyAddsToTheBuiltInRows) {
    const std::vector<AutostartPoint> builtIn = ParseAutostartPoints(
        "value   | HKCU\\Software\\Winlogon | Shell | the shell\n"
        "subkeys | HKLM\\SOFTWARE\\IFEO | Debugger,>HKLM\\SOFTWARE\\Classes | the debuggers\n"
        "autorun | HKCU\\SOFTWARE\\RunServices | | the RunServices list\n",
        {});
    ASSERT_EQ(builtIn.size(), 3u);
    const std::string added =
        "value   | hkcu\\software\\winlogon\\ | shell | another name, the same point\n"
        "value   | HKLM\\Software\\Winlogon | Shell | the shell for all users\n"
        "subkeys | HKLM\\SOFTWARE\\IFEO | Debugger | the debuggers, any key\n"
        "values  | HKCU\\Software\\Added | | a bad row: two values | x\n"
        "value   | HKLM\\Software\\Winlogon | Shell | the shell again\n"
        "values  | HKCU\\Software\\RunServices | | an older table's row of an autorun key\n";
    std::vector<std::string> problems;
    const std::vector<AutostartPoint> points =
        MergeAutostartPoints(builtIn, added, [&](const std::string& line) { problems.push_back(line); });
    ASSERT_EQ(points.size(), 5u);
    EXPECT_EQ(points[0].name, "the shell");  // a duplicate keeps the built-in row
    EXPECT_EQ(points[3].name, "the shell for all users");
    EXPECT_EQ(points[4].name, "the debuggers, any key");  // another shadowed key: another point
    EXPECT_FALSE(points[4].shadowsRoot);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "autostart_points.ini line 4 skipped: it has 5 fields instead of 4");

    // The built-in table is read whole, and a program folder that still has the full table an
    // earlier version shipped watches nothing twice.
    problems.clear();
    const auto note = [&](const std::string& line) { problems.push_back(line); };
    EXPECT_EQ(ParseAutostartPoints(kBuiltInAutostartPoints, note).size(), BuiltInAutostartPoints().size());
    EXPECT_GT(BuiltInAutostartPoints().size(), 100u);
    EXPECT_EQ(MergeAutostartPoints(BuiltInAutostartPoints(), kBuiltInAutostartPoints, note).size(),
              BuiltInAutostartPoints().size());
    EXPECT_EQ(problems, std::vector<std::string>{});
}

TEST(AutostartPoints, BaselineTextKeepsEveryByteAndEmptyPoints) {
    const AutostartBaseline baseline = {
        {"value HKCU\\Software\\A|Shell", {{"Shell", "a\tb\\c\r\nd \xE2\x82\xAC", "1:61 00"}}},
        {"values HKLM\\Run (32-bit)", {}},
    };
    EXPECT_EQ(ParseAutostartBaseline(AutostartBaselineText(baseline)), baseline);
    EXPECT_TRUE(ParseAutostartBaseline("garbage\nentry\tonly two\n").empty());
}

TEST(AutostartPoints, ComparesByKindItemsInAnyCase) {
    const std::vector<AutostartEntry> known = {{"Shell", "explorer.exe", "1:65"}, {"Old", "old.exe", "1:6f"}};
    const std::vector<AutostartEntry> now = {{"SHELL", "evil.exe", "1:66"}, {"New", "new.exe", "1:6e"}};

    const auto value = CompareAutostartEntries(AutostartPointKind::OneValue, known, now);
    ASSERT_EQ(value.size(), 3u);
    EXPECT_EQ(value[0].change, AutostartChange::Changed);
    EXPECT_EQ(value[0].before->data, "explorer.exe");
    EXPECT_EQ(value[1].change, AutostartChange::Added);
    EXPECT_EQ(value[1].entry.item, "New");
    EXPECT_EQ(value[2].change, AutostartChange::Vanished);
    EXPECT_EQ(value[2].entry.item, "Old");

    // A key's values: a removed value is no finding.
    EXPECT_EQ(CompareAutostartEntries(AutostartPointKind::KeyValues, known, now).size(), 2u);
    // Subkeys: only new ones.
    const auto subKeys = CompareAutostartEntries(AutostartPointKind::SubKeys, known, now);
    ASSERT_EQ(subKeys.size(), 1u);
    EXPECT_EQ(subKeys[0].entry.item, "New");
    EXPECT_TRUE(CompareAutostartEntries(AutostartPointKind::OneValue, known, known).empty());
}

// Where data decides what runs: a service's command or library, a task's programs or arguments
// and a shortcut's target or arguments are Changed; what else changes there is learned quietly,
// and so is an entry of an older version's baseline, which kept nothing to put back.
TEST(AutostartPoints, AChangeOfWhatAServiceATaskOrAShortcutRunsIsAChange) {
    const auto service = [](const char* command, unsigned start, const char* name, const char* dll) {
        return AutostartEntry{"Helper", command, ServiceEntryRaw({start, name, dll})};
    };
    const auto changes = [](AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after) {
        const auto findings = CompareAutostartEntries(kind, {before}, {after});
        for (const AutostartFinding& finding : findings) {
            EXPECT_EQ(finding.change, AutostartChange::Changed);
            EXPECT_EQ(finding.before, before);
            EXPECT_EQ(finding.entry, after);
        }
        return findings.size() == 1;
    };
    const AutostartEntry helper = service("C:\\h\\helper.exe", 2, "Helper", "");
    EXPECT_TRUE(changes(AutostartPointKind::Services, helper, service("C:\\x\\evil.exe", 2, "Helper", "")));
    EXPECT_TRUE(changes(AutostartPointKind::Services, service("svchost.exe -k n", 2, "H", "C:\\a.dll"),
                        service("svchost.exe -k n", 2, "H", "C:\\evil.dll")));
    EXPECT_FALSE(changes(AutostartPointKind::Services, helper, service("C:\\h\\helper.exe", 4, "Renamed", "")));

    const std::string actions = TaskActionsRaw({{"C:\\t\\run.exe", "/a", "C:\\t"}});
    const AutostartEntry task{"\\Updater", "C:\\t\\run.exe /a", actions};
    const AutostartEntry otherArguments{"\\Updater", "C:\\t\\run.exe /evil",
                                        TaskActionsRaw({{"C:\\t\\run.exe", "/evil", "C:\\t"}})};
    EXPECT_TRUE(changes(AutostartPointKind::Tasks, task, otherArguments));
    EXPECT_FALSE(changes(AutostartPointKind::Tasks, task,
                         {"\\Updater", task.data, TaskActionsRaw({{"C:\\t\\run.exe", "/a", "C:\\elsewhere"}})}));

    const AutostartEntry shortcut{"C:\\S\\a.lnk", "C:\\a.exe -m", ShortcutRaw({"C:\\a.exe", "-m"})};
    EXPECT_TRUE(changes(AutostartPointKind::Files, shortcut,
                        {"C:\\S\\a.lnk", "C:\\evil.exe -m", ShortcutRaw({"C:\\evil.exe", "-m"})}));
    EXPECT_FALSE(changes(AutostartPointKind::Files, {"C:\\S\\a.cmd", "C:\\S\\a.cmd", ""},
                         {"C:\\S\\a.cmd", "C:\\S\\b.cmd", ""}));  // no shortcut: no finding, as before

    // An older version's baseline kept no actions or target: an entry of it is learned again, even
    // where what it shows differs (an older reading of a task or a shortcut).
    EXPECT_FALSE(changes(AutostartPointKind::Tasks, {"\\Updater", "C:\\t\\run.exe", ""}, otherArguments));
    EXPECT_FALSE(changes(AutostartPointKind::Files, {"C:\\S\\a.lnk", "C:\\a.exe", ""}, shortcut));
    const AutostartBaseline old =
        ParseAutostartBaseline("point\ttasks \\\\\nentry\ttasks \\\\\t\\\\Updater\tC:\\\\t\\\\run.exe /a\t\n");
    ASSERT_EQ(old.at("tasks \\").size(), 1u);
    EXPECT_TRUE(CompareAutostartEntries(AutostartPointKind::Tasks, old.at("tasks \\"), {otherArguments}).empty());

    // What a fix needs survives the baseline's text whole.
    const std::vector<TaskAction> odd = {{"C:\\Тест\\a b.exe", "x\ty\nz", ""}, {"b.exe", "", "%TEMP%"}};
    const AutostartBaseline kept =
        ParseAutostartBaseline(AutostartBaselineText({{"tasks \\", {{"\\T", "", TaskActionsRaw(odd)}}}}));
    EXPECT_EQ(TaskActionsOfRaw(kept.at("tasks \\").at(0).raw), odd);
    EXPECT_EQ(ShortcutOfRaw(ShortcutRaw({"C:\\a.exe", ""})), (ShortcutLink{"C:\\a.exe", ""}));
    EXPECT_FALSE(ShortcutOfRaw(actions));
    EXPECT_FALSE(TaskActionsOfRaw("actions:6100"));  // one text, no action
}

TEST(AutostartPoints, AnUpdateMovesTheSameProgramToAnotherVersionAndNothingElse) {
    EXPECT_EQ(WithoutVersions("C:\\App\\1.2.3\\app.exe v2 x64 {6A1F0C2E-0000-4000-8000-000000000001}"),
              "C:\\App\\#\\app.exe v2 x64 #");
    EXPECT_EQ(WithoutVersions("CDPUserSvc_3a8f2 UpdaterService10.0.19045.1.7 face_cafe 2024"),
              "CDPUserSvc_# UpdaterService#.7 face_cafe 2024");

    const AutostartEntry run{"Chat", "\"C:\\L\\Chat\\app-1.2.3\\Chat.exe\" --hidden", "1:00"};
    const auto update = [&](AutostartPointKind kind, const AutostartEntry& after) {
        return IsAutostartUpdate(kind, run, after);
    };
    EXPECT_TRUE(update(AutostartPointKind::AutorunValues, {"Chat", "\"C:\\L\\Chat\\app-1.3\\chat.EXE\" --hidden", ""}));
    EXPECT_FALSE(update(AutostartPointKind::AutorunValues, {"Chat", "\"C:\\L\\Temp\\app-1.3\\Chat.exe\" --hidden", ""}));
    EXPECT_FALSE(update(AutostartPointKind::AutorunValues, {"Chat", "\"C:\\L\\Chat\\app-1.3\\Chat2.exe\" --hidden", ""}));
    EXPECT_FALSE(update(AutostartPointKind::AutorunValues, {"Chat", "\"C:\\L\\Chat\\app-1.3\\Chat.exe\" --evil", ""}));
    EXPECT_FALSE(update(AutostartPointKind::AutorunValues, {"Other", "\"C:\\L\\Chat\\app-1.3\\Chat.exe\" --hidden", ""}));
    EXPECT_FALSE(update(AutostartPointKind::AutorunValues, run));
    EXPECT_FALSE(update(AutostartPointKind::SubKeys, {"Chat", "\"C:\\L\\Chat\\app-1.3\\Chat.exe\" --hidden", ""}));

    // A service whose name carries its version, replaced by the next one's: one Updated finding
    // that names what it replaced; the same with its library moved elsewhere is new.
    const auto service = [](const char* name, const char* command, const char* dll) {
        return AutostartEntry{name, command, ServiceEntryRaw({2, name, dll})};
    };
    const AutostartEntry old = service("XUpdaterService1.2.4", "\"C:\\P\\X\\1.2.4\\up.exe\" /svc", "");
    const auto findings = CompareAutostartEntries(
        AutostartPointKind::Services, {old}, {service("XUpdaterService1.2.5", "\"C:\\P\\X\\1.2.5\\up.exe\" /svc", "")});
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].change, AutostartChange::Updated);
    EXPECT_EQ(findings[0].before, old);
    const AutostartEntry host = service("Helper", "svchost.exe -k n", "C:\\P\\H\\2.0\\h.dll");
    EXPECT_TRUE(IsAutostartUpdate(AutostartPointKind::Services, host,
                                  service("Helper", "svchost.exe -k n", "C:\\P\\H\\2.1\\h.dll")));
    EXPECT_FALSE(IsAutostartUpdate(AutostartPointKind::Services, host,
                                   service("Helper", "svchost.exe -k n", "C:\\Users\\u\\2.1\\h.dll")));
    // A list line naming the facts holds across updates, and stays one line.
    EXPECT_EQ(AutostartListFacts("values X", "Chat 1.2\r\n", "C:\\a\\1.2.3\\c.exe"),
              "autostart | values X | Chat #   | C:\\a\\#\\c.exe");
    const auto value = CompareAutostartEntries(AutostartPointKind::OneValue, {run}, {{"Chat", "C:\\evil.exe", ""}});
    ASSERT_EQ(value.size(), 1u);
    EXPECT_EQ(value[0].change, AutostartChange::Changed);
}

// What went is remembered a week and survives the baseline's file; an update may follow the
// entry it replaces within an hour.
TEST(AutostartPoints, RemovedEntriesAreRememberedAWeek) {
    const AutostartEntry sync{"Sync 1.0", "C:\\Sync\\1.0\\sync.exe", "1:00"};
    const AutostartEntry other{"Other", "C:\\o.exe", "1:01"};
    std::vector<RemovedAutostartEntry> removed;
    EXPECT_TRUE(RememberRemovals(removed, {sync, other}, {other}, 1000));
    EXPECT_FALSE(RememberRemovals(removed, {other}, {other}, 2000));
    ASSERT_EQ(removed, (std::vector<RemovedAutostartEntry>{{sync, 1000}}));

    const auto back = [&](const AutostartEntry& entry, std::int64_t time) {
        return RemovedEntryBroughtBack(AutostartPointKind::AutorunValues, removed, entry, time) != nullptr;
    };
    const AutostartEntry updated{"Sync 2.0", "C:\\Sync\\2.0\\sync.exe", "1:02"};
    EXPECT_TRUE(back(sync, 1000 + kRemovalMemorySeconds));
    EXPECT_FALSE(back(sync, 1001 + kRemovalMemorySeconds));
    EXPECT_FALSE(back({"Sync 1.0", sync.data, "1:09"}, 2000));  // other bytes: written otherwise
    EXPECT_TRUE(back(updated, 1000 + kUpdateGapSeconds));
    EXPECT_FALSE(back(updated, 1001 + kUpdateGapSeconds));

    const AutostartRemovals removals = {{"values HKCU\\Run", removed}, {"p\tq", {{{"a\nb", "", ""}, -5}}}};
    const std::string text = AutostartBaselineText({{"values HKCU\\Run", {other}}}) + AutostartRemovalsText(removals);
    EXPECT_EQ(ParseAutostartRemovals(text), removals);
    EXPECT_EQ(ParseAutostartBaseline(text).size(), 1u);
    EXPECT_TRUE(ParseAutostartRemovals("removed\tp\ta\tb\tc\tsoon\n").empty());

    // Back in the point, or older than a week: forgotten; never more than 64.
    EXPECT_TRUE(RememberRemovals(removed, {}, {sync}, 3000));
    EXPECT_TRUE(removed.empty());
    RememberRemovals(removed, {sync}, {}, 0);
    RememberRemovals(removed, {}, {}, 1 + kRemovalMemorySeconds);
    EXPECT_TRUE(removed.empty());
    std::vector<AutostartEntry> many;
    for (int i = 0; i < 100; ++i) many.push_back({"v" + std::to_string(i), "x.exe", ""});
    RememberRemovals(removed, many, {}, 0);
    ASSERT_EQ(removed.size(), 64u);
    EXPECT_EQ(removed.back().entry.item, "v99");
}

TEST(AutostartPoints, CommandProgramFindsTheProgramOfACommandLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Program Files\\A B\\run.exe\" /silent", "C:\\Program Files\\A B\\run.exe"},
        {"C:\\Program Files\\A B\\run.exe /silent", "C:\\Program Files\\A B\\run.exe"},
        {"C:\\x\\tool.exe.bak.exe", "C:\\x\\tool.exe.bak.exe"},
        {"rundll32.exe C:\\x\\evil.dll,Start", "C:\\x\\evil.dll"},
        {"\"C:\\Windows\\rundll32.exe\" \"C:\\x y\\evil.dll\",Start", "C:\\x y\\evil.dll"},
        {"  notepad  ", "notepad"},
        {"", ""},
    };
    for (const auto& [command, program] : cases) EXPECT_EQ(CommandProgram(command), program) << command;
}

}  // namespace
}  // namespace sentrel
