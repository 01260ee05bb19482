// The cookie and folder scanners' ticks against real folders: a temporary folder as the cookies
// folder, a temporary folder and the real Program Files folder behind the path macros.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/LookupTables.h"
#include "database/Mask.h"
#include "database/ThreatTables.h"
#include "monitors/Scanners.h"
#include "platform/Directory.h"
#include "database/ShellFoldersWin.h"
#include "support/TempFolder.h"
#include "support/WholePass.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::MakeDataBase;
using test::RunWholePass;
using test::MakeTable;
using test::TempFolder;
using test::WriteTextFile;

// One whole pass of each scanner, from the start, as the shield's clock walks it.
void CookiesPass(const TThreatTables& tables, WarningSink& queue, const std::string& folder) {
    TCookieScan scan;
    RunWholePass([&](const SliceBudget& budget) { return CookiesTimerSlice(tables, queue, folder, scan, budget); });
}
void FoldersPass(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros) {
    TSliceCursor cursor;
    RunWholePass([&](const SliceBudget& budget) { return FoldersTimerSlice(tables, queue, macros, cursor, budget); });
}

std::string WithoutTrailingSeparator(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

void CreateFolder(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) throw std::runtime_error("cannot create " + path);
}

std::vector<std::string> SortedNames(const std::vector<platform::TDirectoryEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.Name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> DrainNames(WarningQueue& queue) {
    std::vector<std::string> names;
    while (!queue.Empty()) {
        names.push_back(queue.Head()->Name);
        queue.RemoveHead();
    }
    return names;
}

TEST(Directory, ListsEntriesWithoutDotsAndQueriesAttributes) {
    TempFolder folder;
    WriteTextFile(folder / "a.txt", "12345");
    WriteTextFile(folder / "b.dat", "");
    CreateFolder(folder / "sub.txt");

    const auto all = platform::ListDirectory(folder / "*");
    EXPECT_EQ(SortedNames(all), (std::vector<std::string>{"a.txt", "b.dat", "sub.txt"}));
    for (const auto& entry : all) {
        if (entry.Name == "a.txt") {
            EXPECT_EQ(entry.Size, 5u);
            EXPECT_FALSE(entry.IsFolder());
        }
        if (entry.Name == "sub.txt") {
            EXPECT_TRUE(entry.IsFolder());
        }
    }
    EXPECT_EQ(SortedNames(platform::ListDirectory(folder / "*.txt")), (std::vector<std::string>{"a.txt", "sub.txt"}));
    EXPECT_TRUE(platform::ListDirectory(folder / "*.none").empty());
    EXPECT_TRUE(platform::ListDirectory(folder / "missing\\*.txt").empty());

    const auto attributes = platform::QueryFileAttributes(folder / "sub.txt");
    ASSERT_TRUE(attributes.has_value());
    EXPECT_TRUE(*attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(platform::QueryFileAttributes(folder / "missing").has_value());
}

TEST(CookieScanner, ReportsTrackingCookiesOfTheGivenFolder) {
    TempFolder cookies;
    WriteTextFile(cookies / "user@~~local~~[1].txt", "x");
    WriteTextFile(cookies / "joe@doubleclick[2].txt", "x");
    WriteTextFile(cookies / "joe@example[1].txt", "x");
    WriteTextFile(cookies / "joe@doubleclick[3].dat", "x");  // not a .txt file
    CreateFolder(cookies / "dir@doubleclick[1].txt");           // a folder, no cookie
    const std::string folder = WithoutTrailingSeparator(cookies.Path());

    // Two rows match the doubleclick cookie: one warning.
    TThreatTables tables(MakeDataBase(MakeTable("Cookies", {{"FILES_MASK", {"*@doubleclick*", "joe@double*"}}})));
    WarningQueue queue;
    CookiesPass(tables, queue, folder);
    std::vector<std::string> names = DrainNames(queue);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"joe@doubleclick[2].txt", "user@~~local~~[1].txt"}));

    // A queued warning is not queued twice by the next tick; every kind queued is a TCookieWarning.
    CookiesPass(tables, queue, folder);
    CookiesPass(tables, queue, cookies.Path());  // a trailing backslash is fine too
    EXPECT_EQ(queue.Count(), 2u);
    EXPECT_NE(dynamic_cast<const TCookieWarning*>(queue.Head()), nullptr);

    // Without a Cookies table only the local-user cookie is reported.
    TThreatTables noCookies(MakeDataBase());
    WarningQueue second;
    CookiesPass(noCookies, second, folder);
    EXPECT_EQ(DrainNames(second), (std::vector<std::string>{"user@~~local~~[1].txt"}));
}

TEST(CookieScanner, DamagedMaskRowLeavesOneLineInTheDiagnosticLog) {
    TempFolder cookies;
    TempFolder settings;
    WriteTextFile(cookies / "joe@example[1].txt", "x");
    TThreatTables tables(MakeDataBase(MakeTable("Cookies", {{"FILES_MASK", {"*?bad"}}})));
    const std::string logPath = settings / "Sentrel4.log";

    OpenDiagnosticLog(logPath);
    WarningQueue queue;
    CookiesPass(tables, queue, WithoutTrailingSeparator(cookies.Path()));
    CloseDiagnosticLog();

    EXPECT_TRUE(queue.Empty());
    const std::string log = ReadFileText(logPath);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("CookiesTimer: cookie mask of row 0: caught " + std::string(kInvalidMaskMessage)),
              std::string::npos)
        << log;
}

TEST(CookieScanner, LocalUserCookieInOtherCaseIsTestedAgainstTheMasks) {
    TempFolder cookies;
    WriteTextFile(cookies / "USER@~~LOCAL~~[1].TXT", "x");
    const std::string folder = WithoutTrailingSeparator(cookies.Path());

    TThreatTables noCookies(MakeDataBase());
    WarningQueue queue;
    CookiesPass(noCookies, queue, folder);
    EXPECT_TRUE(queue.Empty());

    TThreatTables masks(MakeDataBase(MakeTable("Cookies", {{"FILES_MASK", {"*?bad", "user@~~local*"}}})));
    CookiesPass(masks, queue, folder);  // the malformed first row does not stop the tick
    EXPECT_EQ(DrainNames(queue), (std::vector<std::string>{"USER@~~LOCAL~~[1].TXT"}));
}

TEST(CookieScanner, NoCookiesFolderScansNothing) {
    TThreatTables tables(MakeDataBase(MakeTable("Cookies", {{"FILES_MASK", {"*"}}})));
    WarningQueue queue;
    CookiesPass(tables, queue, "");
    TempFolder parent;
    CookiesPass(tables, queue, parent / "missing");
    EXPECT_TRUE(queue.Empty());

    const std::string real = CookiesFolder();
    EXPECT_FALSE(real.empty());
    EXPECT_NE(real.back(), '\\');
}

class FolderUnder final : public TMacroFolderSource {
public:
    explicit FolderUnder(std::string programFiles) : programFiles_(std::move(programFiles)) {}
    std::string Folder(TSystemFolder folder) const override {
        return folder == TSystemFolder::ProgramFiles ? programFiles_ : std::string();
    }

private:
    std::string programFiles_;
};

std::unique_ptr<TTable> Folders(std::vector<std::string> paths, std::vector<std::string> canBeDeleted,
                                std::vector<std::string> refs) {
    return MakeTable("Folders",
                     {{"FILE_PATH", std::move(paths)}, {"CAN_BE_DELETED", std::move(canBeDeleted)},
                      {"SPYWARE_REF", std::move(refs)}});
}

TEST(FolderScanner, ReportsExistingDeletableFoldersExpanded) {
    TempFolder programFiles;
    for (const char* name : {"Gator", "Hotbar", "Zango"}) CreateFolder(programFiles / name);
    WriteTextFile(programFiles / "AFile", "x");
    const std::string base = WithoutTrailingSeparator(programFiles.Path());
    const FolderUnder macros(base);

    TThreatTables tables(MakeDataBase(Folders(
        {"%2%\\Gator\\", "%2%\\Hotbar\\", "%2%\\Zango\\", "%2%\\Missing\\", "%2%\\AFile\\", "%2%\\AFile",
         "%13%\\Gator\\", base + "\\Gator\\"},
        {"1", "0", "1", "1", "1", "1", "1", "1"}, {"1", "4", "x5", "5", "6", "6", "7", "8"})));
    WarningQueue queue;
    FoldersPass(tables, queue, macros);
    ASSERT_EQ(queue.Count(), 1u);
    const auto* warning = dynamic_cast<const TFolderWarning*>(queue.Head());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->Name, base + "\\Gator\\");
    EXPECT_EQ(warning->FolderPath, base + "\\Gator\\");

    // Still there on the next tick after the warning was settled: reported again.
    queue.RemoveHead();
    FoldersPass(tables, queue, macros);
    EXPECT_EQ(queue.Count(), 1u);

    TThreatTables noFolders(MakeDataBase());
    WarningQueue empty;
    FoldersPass(noFolders, empty, macros);
    EXPECT_TRUE(empty.Empty());
}

// A folder made in the machine's real Program Files folder, removed however the test ends.
class PlacedFolder {
public:
    explicit PlacedFolder(std::string path) : path_(std::move(path)) {
        RemoveDirectoryA(path_.c_str());  // a leftover of an earlier run
        CreateFolder(path_);
    }
    PlacedFolder(const PlacedFolder&) = delete;
    PlacedFolder& operator=(const PlacedFolder&) = delete;
    ~PlacedFolder() { RemoveDirectoryA(path_.c_str()); }

private:
    std::string path_;
};

TEST(FolderScanner, ProgramFilesMacroIsReportedExpandedOnThisMachine) {
    const std::string programFiles = SpecialFolder(TSystemFolder::ProgramFiles);
    ASSERT_FALSE(programFiles.empty());
    const std::string expanded = programFiles + "\\SentrelScannerTest\\";
    TThreatTables tables(MakeDataBase(Folders({"%2%\\SentrelScannerTest\\"}, {"1"}, {"77"})));
    WarningQueue queue;
    {
        PlacedFolder placed(expanded.substr(0, expanded.size() - 1));
        FoldersPass(tables, queue, MacroFolders());
    }
    EXPECT_FALSE(FolderExists(expanded));
    ASSERT_EQ(queue.Count(), 1u);
    const auto* warning = dynamic_cast<const TFolderWarning*>(queue.Head());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->Name, expanded);
    EXPECT_EQ(warning->FolderPath, expanded);

    // Gone again: nothing.
    queue.RemoveHead();
    FoldersPass(tables, queue, MacroFolders());
    EXPECT_TRUE(queue.Empty());
}

TEST(FolderScanner, ProgramFilesMacroFindsTheFolderOf32BitProgramsToo) {
    // Wine's 64-bit prefix has both program folders, as a 64-bit Windows has.
    const std::string programFilesX86 = SpecialFolder(TSystemFolder::ProgramFilesX86);
    ASSERT_FALSE(programFilesX86.empty());
    ASSERT_NE(programFilesX86, SpecialFolder(TSystemFolder::ProgramFiles));
    const std::string expanded = programFilesX86 + "\\SentrelScannerTest32\\";
    TThreatTables tables(MakeDataBase(Folders({"%2%\\SentrelScannerTest32\\"}, {"1"}, {"78"})));
    WarningQueue queue;
    {
        PlacedFolder placed(expanded.substr(0, expanded.size() - 1));
        FoldersPass(tables, queue, MacroFolders());
    }
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Head()->Name, expanded);
}

}  // namespace
}  // namespace sentrel
