// The remedies that move things (files, processes' files, cookies, folders) and their undo,
// under Wine against real files, processes and windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <thread>

#include "core/WarningQueue.h"
#include "database/Table.h"
#include "database/ThreatTables.h"
#include "monitors/FileMonitor.h"
#include "monitors/HelperProcess.h"
#include "monitors/KnownContent.h"
#include "platform/Directory.h"
#include "platform/FolderLinks.h"
#include "database/MappedFileAccessWin.h"
#include "platform/Processes.h"
#include "platform/ShellFiles.h"
#include "platform/UiTask.h"
#include "database/ShellFoldersWin.h"
#include "support/FolderLink.h"
#include "support/MessagePump.h"
#include "warnings/WarningRemedies.h"
#include "warnings/RemedyFixture.h"

namespace sentrel {
namespace {

using test::HelperProcess;
using test::KnownContentDataBase;
using test::MakeFolderLink;
using test::PumpUntil;
using test::ThreatContent;
using test::ReadAll;
using test::TempFolder;
using test::TestProgramFolder;
using test::WriteTextFile;

// Bytes no text editor would write: every value, zeros included.
std::string BinaryContent(int seed) {
    std::string content;
    for (int i = 0; i < 3000; ++i) content += static_cast<char>((i * 7 + seed) & 0xff);
    return content;
}

class FileRemedyTest : public test::RemedyTest {
protected:
    TempFolder system_;  // stands for a system folder
};

TEST_F(FileRemedyTest, FileFixMovesTheFileIntoItsRecordAndUndoPutsItBack) {
    const std::string path = system_ / "drop.exe";
    const std::string content = BinaryContent(1);
    WriteTextFile(path, content);
    TFileWarning warning("drop.exe", path);
    Fix(warning);

    EXPECT_FALSE(FileExists(path));
    ExpectRecord(warning, {{"FilePath", path}, {"BackupFolder", "0"}});
    EXPECT_EQ(backuper_.GetString(0, "Desc"), "Program drop.exe was deleted from system folder");
    const std::string saved = backuper_.RecordFolder("0") + "drop.exe";
    EXPECT_EQ(ReadAll(saved), content);
    EXPECT_TRUE(Marked(path));  // both ends announced to the file monitor
    EXPECT_TRUE(Marked(saved));

    // The folder went too in the meantime: undo makes it again.
    ASSERT_TRUE(RemoveDirectoryA(system_.Path().c_str()));
    marked_.clear();
    Undo("TFileWarning");
    EXPECT_EQ(ReadAll(path), content);
    EXPECT_TRUE(Marked(path));
    EXPECT_TRUE(Marked(saved));
    ExpectRecordGone("0");
}

TEST_F(FileRemedyTest, UndoNeverReplacesAFileAndStillRemovesTheRecord) {
    const std::string path = system_ / "kept.dll";
    WriteTextFile(path, "malicious");
    TProcessWarning warning("kept.dll", path);
    Fix(warning);
    ExpectRecord(warning, {{"FilePath", path}});
    EXPECT_EQ(backuper_.GetString(0, "Desc"), "Program kept.dll was deleted from processes");
    WriteTextFile(path, "the user's new file");
    Undo("TProcessWarning");
    EXPECT_EQ(ReadAll(path), "the user's new file");
    ExpectRecordGone("0");

    // A record whose saved file is gone (its move had failed): the record still goes.
    TFileWarning missing("none.dll", system_ / "none.dll");
    Fix(missing);
    EXPECT_EQ(backuper_.GetCount(), 1);
    Undo("TFileWarning");
    EXPECT_FALSE(FileExists(system_ / "none.dll"));
    ExpectRecordGone("1");
}

TEST_F(FileRemedyTest, AFileLoadedByARunningProcessIsFreedFirstThenMoved) {
    TempFolder folder;
    const std::string unique = std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
    const std::string exe = folder / ("SentrelRemedyHelper" + unique + ".exe");
    const std::string library = folder / ("SentrelRemedyLib" + unique + ".dll");
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "process_helper.exe").c_str(), exe.c_str(), TRUE));
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "SentrelTestLibrary.dll").c_str(), library.c_str(), TRUE));
    const std::string content = ReadAll(library);
    HelperProcess helper(exe, library);
    const std::string loaded = helper.WaitForModule(FileNamePart(library));
    ASSERT_FALSE(loaded.empty());
    ASSERT_TRUE(helper.Running());

    TProcessWarning warning(FileNamePart(loaded), loaded);
    Fix(warning);
    EXPECT_TRUE(helper.WaitForExit());
    EXPECT_EQ(helper.ExitCode(), 0xFFFFFFFFu);  // terminated by the fix, not ended by itself
    EXPECT_FALSE(FileExists(loaded));           // only movable once the process had gone
    EXPECT_EQ(ReadAll(backuper_.RecordFolder("0") + FileNamePart(loaded)), content);

    Undo("TProcessWarning");
    EXPECT_EQ(ReadAll(loaded), content);
    ExpectRecordGone("0");
}

// The box the fix shows before it ends Explorer, as another thread finds it.

TEST_F(FileRemedyTest, ExplorerIsToldOfAndOnlyTheFoundProcessEnds) {
    TempFolder folder;
    const std::string exe = folder / "explorer.exe";
    const std::string library = folder / ("SentrelExplorerLib" + std::to_string(GetCurrentProcessId()) + ".dll");
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "process_helper.exe").c_str(), exe.c_str(), TRUE));
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "SentrelTestLibrary.dll").c_str(), library.c_str(), TRUE));
    HelperProcess helper(exe, library);
    const std::string loaded = helper.WaitForModule(FileNamePart(library));
    ASSERT_FALSE(loaded.empty());

    // Every other "explorer.exe" (Wine's desktop among them) must survive the fix.
    std::set<DWORD> others;
    for (const auto& record : platform::SnapshotProcesses().value_or(std::vector<platform::ProcessRecord>{}))
        if (test::Lower(record.exeFile) == "explorer.exe" && record.processId != helper.Id())
            others.insert(record.processId);
    std::printf("other explorer.exe processes: %zu\n", others.size());

    // No box from the fix itself: it says what the window layer is to tell the user.
    TFileWarning warning(FileNamePart(loaded), loaded);
    EXPECT_EQ(Fix(warning),
              std::vector<std::string>{"Sentrel 4 will restart Explorer in order to delete dangerous spyware part"});
    EXPECT_EQ(FindWindowA(nullptr, "Sentrel 4 message"), nullptr);
    EXPECT_TRUE(helper.WaitForExit());
    EXPECT_FALSE(FileExists(loaded));
    std::set<DWORD> survivors;
    for (const auto& record : platform::SnapshotProcesses().value_or(std::vector<platform::ProcessRecord>{}))
        if (others.count(record.processId)) survivors.insert(record.processId);
    EXPECT_EQ(survivors, others);
}

TEST_F(FileRemedyTest, CookieFixAndUndoUseTheCookiesFolder) {
    TempFolder cookies;
    cookies_ = cookies.Path().substr(0, cookies.Path().size() - 1);  // as the shell gives it
    const std::string name = "user@ads.example[1].txt";
    WriteTextFile(cookies / name, "id\n12345\nads.example/\n");
    TCookieWarning warning(name);
    Fix(warning);
    EXPECT_FALSE(FileExists(cookies / name));
    ExpectRecord(warning, {{"File", name}});
    EXPECT_EQ(backuper_.GetString(0, "Desc"), "Restore tracking cookie " + name);
    EXPECT_EQ(ReadAll(backuper_.RecordFolder("0") + name), "id\n12345\nads.example/\n");
    EXPECT_TRUE(Marked(cookies / name));

    Undo("TCookieWarning");
    EXPECT_EQ(ReadAll(cookies / name), "id\n12345\nads.example/\n");
    ExpectRecordGone("0");

    // No cookies folder known: nothing is moved (never from the root of the current drive).
    cookies_.clear();
    Fix(TCookieWarning("x.txt"));
    EXPECT_EQ(backuper_.GetCount(), 1);
    EXPECT_EQ(ReadAll(cookies / name), "id\n12345\nads.example/\n");
}

TEST_F(FileRemedyTest, FolderFixMovesEverythingAndUndoBringsItBack) {
    const std::string folder = system_ / "Bad Software\\";
    CreateFolders(folder + "data\\deep");
    WriteTextFile(folder + "main.exe", BinaryContent(2));
    WriteTextFile(folder + "data\\deep\\config.ini", "[x]\r\ny=1\r\n");
    WriteTextFile(folder + "hidden.dat", "h");
    ASSERT_TRUE(SetFileAttributesA((folder + "hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));

    TFolderWarning warning(folder, folder);
    Fix(warning);
    EXPECT_FALSE(FolderExists(folder));
    ExpectRecord(warning, {{"Folder", folder}});
    const std::string saved = backuper_.RecordFolder("0");
    EXPECT_EQ(ReadAll(saved + "main.exe"), BinaryContent(2));
    EXPECT_EQ(ReadAll(saved + "data\\deep\\config.ini"), "[x]\r\ny=1\r\n");
    EXPECT_TRUE(FileExists(saved + "hidden.dat"));
    EXPECT_TRUE(Marked(folder));
    EXPECT_TRUE(Marked(folder + "main.exe"));  // each entry, at both ends
    EXPECT_TRUE(Marked(saved + "data"));

    Undo("TFolderWarning");
    EXPECT_EQ(ReadAll(folder + "main.exe"), BinaryContent(2));
    EXPECT_EQ(ReadAll(folder + "data\\deep\\config.ini"), "[x]\r\ny=1\r\n");
    EXPECT_EQ(ReadAll(folder + "hidden.dat"), "h");
    ExpectRecordGone("0");

    // An empty malicious folder goes too.
    const std::string empty = system_ / "Empty\\";
    CreateFolders(empty);
    Fix(TFolderWarning(empty, empty));
    EXPECT_FALSE(FolderExists(empty));
}

// Between the finding and the fix the file was replaced or went, the cookie's and the folder's
// rows left the database: nothing is moved and no record is made. The black list's verdict is
// the user's own and needs no database.
TEST_F(FileRemedyTest, AFixLeavesWhatNoLongerMatchesTheDatabase) {
    TempFolder cookies;
    cookies_ = cookies.Path().substr(0, cookies.Path().size() - 1);
    context_.window.isKnownSpywareFile = [](const std::string& path) { return ReadAll(path) == "malicious"; };
    context_.window.isTrackingCookie = [](const std::string&) { return false; };
    context_.window.isSpywareFolder = [](const std::string&) { return false; };

    const std::string swapped = system_ / "swapped.exe";
    WriteTextFile(swapped, "the user's own program");
    TFileWarning file("swapped.exe", swapped);
    EXPECT_THROW(Fix(file), ThreatGoneError);
    EXPECT_THROW(Fix(TProcessWarning("gone.dll", system_ / "gone.dll")), ThreatGoneError);
    WriteTextFile(cookies / "a.txt", "c");
    EXPECT_THROW(Fix(TCookieWarning("a.txt")), ThreatGoneError);
    const std::string folder = system_ / "Kept\\";
    CreateFolders(folder);
    EXPECT_THROW(Fix(TFolderWarning(folder, folder)), ThreatGoneError);
    EXPECT_EQ(ReadAll(swapped), "the user's own program");
    EXPECT_TRUE(FileExists(cookies / "a.txt"));
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ(backuper_.GetCount(), 0);
    EXPECT_TRUE(marked_.empty());

    const std::string still = system_ / "still.exe";
    WriteTextFile(still, "malicious");
    Fix(TFileWarning("still.exe", still));
    EXPECT_FALSE(FileExists(still));
    file.SettledByBlackList = true;
    Fix(file);
    EXPECT_FALSE(FileExists(swapped));
    EXPECT_EQ(backuper_.GetCount(), 2);
}

// A planted link to a precious folder: nothing is ever moved or deleted through it. Where the
// link can be removed (Windows) it goes as a link and its record keeps where it led, for the
// undo to make it again; where it cannot (Wine keeps Unix links), nothing changes.
TEST_F(FileRemedyTest, AFolderThatIsALinkIsNeverFollowed) {
    TempFolder precious;
    WriteTextFile(precious / "system.dll", "precious");
    const std::string link = system_ / "Planted";
    MakeFolderLink(link, precious.Path());
    ASSERT_TRUE(platform::IsFolderLink(link));
    const std::string target = platform::FolderLinkTarget(link);
    EXPECT_TRUE(SameNameIgnoringCase(target + "\\", precious.Path())) << target;

    TFolderWarning warning(link + "\\", link + "\\");
    try {
        Fix(warning);
        EXPECT_FALSE(platform::QueryFileAttributes(link).has_value());
        ExpectRecord(warning, {{"Folder", link + "\\"}, {"LinkTarget", target}});
        Undo("TFolderWarning");
        EXPECT_TRUE(platform::IsFolderLink(link));
        ExpectRecordGone("0");
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("is a link to " + target), std::string::npos) << error.what();
        EXPECT_TRUE(platform::IsFolderLink(link));
        EXPECT_EQ(backuper_.GetCount(), 0);
    }
    EXPECT_EQ(ReadAll(precious / "system.dll"), "precious");
    EXPECT_EQ(ReadAll(link + "\\system.dll"), "precious");
}

// Records edited by hand (or by anything that can write the program folder): every undo takes a
// plain file name from its keys and reads only from its own record's folder.
TEST_F(FileRemedyTest, CraftedRecordsNeverReachOutsideTheirOwnFolder) {
    TempFolder cookies;
    cookies_ = cookies.Path().substr(0, cookies.Path().size() - 1);
    WriteTextFile(program_ / "secret.txt", "never backed up");
    const std::string victim = system_ / "victim.dll";
    WriteTextFile(victim, "a backed-up file");
    Fix(TFileWarning(FileNamePart(victim), victim));  // record 0, code 0, holds victim.dll
    ASSERT_TRUE(FileExists(backuper_.RecordFolder("0") + "victim.dll"));

    // Cookie: "File" climbs from backuped\1\ up to the program folder.
    backuper_.NewBackup("TCookieWarning", "Restore tracking cookie x");
    backuper_.SetValues(std::vector<BackupValue>{BackupString("File", "..\\..\\secret.txt"),
                                                 BackupString("BackupFolder", "1")});
    EXPECT_THROW(Undo("TCookieWarning", 1), std::runtime_error);
    EXPECT_EQ(ReadAll(program_ / "secret.txt"), "never backed up");
    EXPECT_FALSE(FileExists(cookies / "secret.txt"));

    // File: "BackupFolder" names record 0's folder; its file stays there.
    backuper_.NewBackup("TFileWarning", "Program victim.dll was deleted from system folder");
    const std::string elsewhere = system_ / "elsewhere\\victim.dll";
    backuper_.SetValues(std::vector<BackupValue>{BackupString("FilePath", elsewhere), BackupString("BackupFolder", "0")});
    Undo("TFileWarning", 2);
    EXPECT_FALSE(FileExists(elsewhere));
    EXPECT_TRUE(FileExists(backuper_.RecordFolder("0") + "victim.dll"));

    // File: a path whose name part is "..".
    backuper_.NewBackup("TFileWarning", "Program .. was deleted from system folder");
    backuper_.SetValues(std::vector<BackupValue>{BackupString("FilePath", system_ / ".."), BackupString("BackupFolder", "3")});
    EXPECT_THROW(Undo("TFileWarning", 2), std::runtime_error);

    // Folder: "BackupFolder" names record 0's folder; nothing of it is moved.
    backuper_.NewBackup("TFolderWarning", "Folder x was deleted");
    const std::string target = system_ / "restored\\";
    backuper_.SetValues(std::vector<BackupValue>{BackupString("Folder", target), BackupString("BackupFolder", "0")});
    Undo("TFolderWarning", 3);
    EXPECT_FALSE(FileExists(target + "victim.dll"));
    EXPECT_TRUE(FileExists(backuper_.RecordFolder("0") + "victim.dll"));

    // Registry: a backup.reg in another record's folder is not imported.
    WriteTextFile(backuper_.RecordFolder("0") + "backup.reg", "Windows Registry Editor Version 5.00\r\n");
    backuper_.NewBackup("TRegistyWarning", "Registry entry x was deleted");
    backuper_.SetValues(std::vector<BackupValue>{BackupString("BackupFolder", "0")});
    EXPECT_THROW(Undo("TRegistyWarning", 3), std::runtime_error);

    // The genuine record still restores its own file.
    Undo("TFileWarning", 0);
    EXPECT_EQ(ReadAll(victim), "a backed-up file");
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(ShellMove, TakesPathsLongerThanTheOldBuffersAndWildcards) {
    TempFolder folder;
    std::string deep = folder.Path();
    while (deep.size() < 200) deep += "a folder with a rather long name\\";
    CreateFolders(deep);
    const std::string source = deep + "a file whose name is long as well.txt";
    WriteTextFile(source, "moved");
    ASSERT_GT(source.size(), 200u);
    const std::string target = folder / "target\\";
    CreateFolders(target);
    EXPECT_TRUE(platform::ShellMove(source, target));
    EXPECT_EQ(ReadAll(target + "a file whose name is long as well.txt"), "moved");
    EXPECT_FALSE(FileExists(source));

    // A wildcard, with several plain files (a case some shells cancel when given as one move).
    WriteTextFile(deep + "second file.txt", "second");
    WriteTextFile(deep + "third file.dat", "third");
    EXPECT_TRUE(platform::ShellMove(deep + "*.*", target));
    EXPECT_EQ(ReadAll(target + "second file.txt"), "second");
    EXPECT_EQ(ReadAll(target + "third file.dat"), "third");
    EXPECT_TRUE(platform::ListDirectory(deep + "*").empty());

    // A name that is already there is renamed, not replaced, and a missing source is a failure;
    // Wine's shell does neither (it replaces, and reports success), so there it is only shown.
    WriteTextFile(deep + "second file.txt", "collides");
    const bool movedOnto = platform::ShellMove(deep + "second file.txt", target);
    const bool movedMissing = platform::ShellMove(folder / "missing.txt", target);
    if (RunningUnderWine()) {
        std::printf("under Wine: collision kept the old file: %s; missing source reported %s\n",
                    ReadAll(target + "second file.txt") == "second" ? "yes" : "no",
                    movedMissing ? "success" : "failure");
    } else {
        EXPECT_TRUE(movedOnto);
        EXPECT_EQ(ReadAll(target + "second file.txt"), "second");
        EXPECT_EQ(platform::ListDirectory(target + "*").size(), 4u);
        EXPECT_FALSE(movedMissing);
    }
}

TEST(FileChangeRemedy, StartsTheSystemFileCheckerOrSaysThatItCouldNot) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string checker = std::string(windows) + "\\system32\\sfc.exe";
    std::printf("%s %s\n", checker.c_str(), FileExists(checker) ? "exists" : "does not exist");
    test::TempFolder program;
    TBackuper backuper(program.Path());
    TFileChangeWarning warning("kernel32.dll", std::string(windows) + "\\system32\\kernel32.dll");
    warning.MakeTexts();
    if (FileExists(checker)) {
        EXPECT_NO_THROW(warning.Fix(backuper, WarningContext{}));
    } else {
        // Nothing was restored: a failure the user is told of, not a silent success.
        try {
            warning.Fix(backuper, WarningContext{});
            ADD_FAILURE() << "a fix that started nothing reported success";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find("kernel32.dll was not restored"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(backuper.GetCount(), 0);  // no backup record for this remedy
    EXPECT_TRUE(platform::ListDirectory(backuper.BackupsFolder() + "*").empty());
}

// --- The file monitor does not report the shield's own moves ---

TEST(FileRemedyAndMonitor, FixAndUndoInAWatchedFolderRaiseNoWarningAboutThemselves) {
    platform::uitask::Host uiTasks;  // the watcher's hand-overs run in the pumps
    TempFolder watched;
    TempFolder program;
    TBackuper backuper(program.Path());
    WarningQueue queue;
    TThreatTables tables(KnownContentDataBase());
    TFileChangesTracker tracker(watched.Path(), [&tables]() -> const TThreatTables& { return tables; }, queue,
                                TLookupSystem{SystemFileAccess(), MacroFolders(), program.Path()});
    const WarningContext context{
        .worker = {.markShieldMove = [&tracker](const std::string& path) { tracker.MarkShieldMove(path); }}};

    const std::string path = watched / "fixed.dll";
    WriteTextFile(path, ThreatContent());
    tracker.SetActive(true);
    ASSERT_TRUE(tracker.WatcherRunning());
    TFileWarning fixed("fixed.dll", path);
    fixed.MakeTexts();
    std::vector<std::string> names;
    // Runs the watcher's hand-overs until a file nobody announced is reported; the changes before
    // it have been handed over by then.
    const auto reportedUntil = [&](const std::string& name) {
        WriteTextFile(watched / name, ThreatContent());
        return PumpUntil(
            [&] {
                while (!queue.Empty()) {
                    names.push_back(std::string(queue.Head()->ClassName()) + " " + queue.Head()->Name);
                    queue.RemoveHead();
                }
                return !names.empty() && names.back() == "TFileWarning " + name;
            },
            15000);
    };
    fixed.Fix(backuper, context);
    ASSERT_FALSE(FileExists(path));
    ASSERT_TRUE(reportedUntil("between.exe"));
    ShieldWarningKind("TFileWarning").Undo(backuper, 0, context);
    ASSERT_TRUE(FileExists(path));
    ASSERT_TRUE(reportedUntil("sentinel.exe"));
    EXPECT_EQ(names, (std::vector<std::string>{"TFileWarning between.exe", "TFileWarning sentinel.exe"}));
    tracker.SetActive(false);
}

}  // namespace
}  // namespace sentrel
