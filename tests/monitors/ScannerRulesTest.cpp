// The cookie and folder scanners' decisions over made-up tables: which cookie names are
// reported, which Folders rows name a folder to report, and what lands in the queue.
#include <gtest/gtest.h>

#include <set>

#include "core/WarningQueue.h"
#include "database/LookupTables.h"
#include "monitors/CookieRules.h"
#include "monitors/FolderRules.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::MakeDataBase;
using test::MakeTable;

std::unique_ptr<TTable> Cookies(std::vector<std::string> masks) {
    return MakeTable("Cookies", {{"FILES_MASK", std::move(masks)}});
}

struct FolderRow {
    std::string Path, CanBeDeleted, Ref;
};

std::unique_ptr<TTable> Folders(const std::vector<FolderRow>& rows) {
    test::ColumnValues path{"FILE_PATH", {}}, canBeDeleted{"CAN_BE_DELETED", {}}, ref{"SPYWARE_REF", {}};
    for (const FolderRow& row : rows) {
        path.Values.push_back(row.Path);
        canBeDeleted.Values.push_back(row.CanBeDeleted);
        ref.Values.push_back(row.Ref);
    }
    return MakeTable("Folders", {path, canBeDeleted, ref});
}

class FixedFolders final : public TMacroFolderSource {
public:
    std::string Folder(TSystemFolder folder) const override {
        switch (folder) {
            case TSystemFolder::ProgramFiles: return "C:\\Program Files";
            case TSystemFolder::Windows: return "C:\\WINDOWS";
            case TSystemFolder::System: return "C:\\WINDOWS\\system32";
            case TSystemFolder::CommonAppData: return {};  // one the system cannot give
            case TSystemFolder::ProgramFilesX86:
            case TSystemFolder::CommonFilesX86: return {};  // a 32-bit Windows
            default: return "C:\\Other";
        }
    }
};

// A 64-bit Windows: the 32-bit programs have folders of their own.
class Wow64Folders final : public TMacroFolderSource {
public:
    std::string Folder(TSystemFolder folder) const override {
        switch (folder) {
            case TSystemFolder::ProgramFiles: return "C:\\Program Files";
            case TSystemFolder::ProgramFilesX86: return "C:\\Program Files (x86)";
            case TSystemFolder::CommonFiles: return "C:\\Program Files\\Common Files";
            case TSystemFolder::CommonFilesX86: return "C:\\Program Files (x86)\\Common Files";
            default: return "C:\\WINDOWS";
        }
    }
};

std::vector<std::string> QueuedNames(WarningQueue& queue) {
    std::vector<std::string> names;
    while (!queue.Empty()) {
        names.push_back(queue.Head()->Name);
        queue.RemoveHead();
    }
    return names;
}

TEST(CookieRules, LocalUserCookieIsAlwaysReportedOtherNamesOnlyByMask) {
    const auto noTable = MakeDataBase();
    EXPECT_TRUE(IsTrackingCookie(*noTable, "user@~~local~~[1].txt"));
    EXPECT_FALSE(IsTrackingCookie(*noTable, "USER@~~LOCAL~~[1].TXT"));
    EXPECT_FALSE(IsTrackingCookie(*noTable, "joe@doubleclick[1].txt"));

    const auto masks = MakeDataBase(Cookies({"*@doubleclick*", "user@~~local*"}));
    EXPECT_TRUE(IsTrackingCookie(*masks, "user@~~local~~[1].txt"));
    EXPECT_TRUE(IsTrackingCookie(*masks, "USER@~~LOCAL~~[1].TXT"));  // by the second mask, any case
    EXPECT_TRUE(IsTrackingCookie(*masks, "joe@DoubleClick[2].txt"));
    EXPECT_FALSE(IsTrackingCookie(*masks, "joe@example[1].txt"));
    EXPECT_FALSE(IsTrackingCookie(*masks, ""));

    // A Cookies table without the mask column matches nothing but the local-user cookie.
    const auto noColumn = MakeDataBase(MakeTable("Cookies", {{"OTHER", {"*"}}}));
    EXPECT_FALSE(IsTrackingCookie(*noColumn, "joe@doubleclick[1].txt"));
    EXPECT_TRUE(IsTrackingCookie(*noColumn, "user@~~local~~[1].txt"));
}

TEST(CookieRules, MalformedMaskRowIsSkippedAndTheRestStillCount) {
    const auto dataBase = MakeDataBase(Cookies({"*?bad*", "**", "*@tracker*"}));
    EXPECT_TRUE(IsTrackingCookie(*dataBase, "joe@tracker[1].txt"));
    EXPECT_FALSE(IsTrackingCookie(*dataBase, "joe@example[1].txt"));

    WarningQueue queue;
    QueueCookieWarnings(*dataBase, queue, {"a@example[1].txt", "a@tracker[1].txt", "b@tracker[1].txt"});
    EXPECT_EQ(QueuedNames(queue), (std::vector<std::string>{"a@tracker[1].txt", "b@tracker[1].txt"}));
}

TEST(CookieRules, QueuesOneCookieWarningPerFileEvenWhenSeveralRowsMatch) {
    const auto dataBase = MakeDataBase(Cookies({"*@doubleclick*", "joe@double*", "*"}));
    WarningQueue queue;
    QueueCookieWarnings(*dataBase, queue, {"joe@doubleclick[1].txt"});
    // The next tick finds the same file while its warning is still queued.
    QueueCookieWarnings(*dataBase, queue, {"joe@doubleclick[1].txt"});
    ASSERT_EQ(queue.Count(), 1u);
    const auto* warning = dynamic_cast<const TCookieWarning*>(queue.Head());
    ASSERT_NE(warning, nullptr);
    EXPECT_EQ(warning->Name, "joe@doubleclick[1].txt");

    // Once settled (removed), the same file is reported again.
    queue.RemoveHead();
    QueueCookieWarnings(*dataBase, queue, {"joe@doubleclick[1].txt"});
    EXPECT_EQ(queue.Count(), 1u);
}

TEST(CookieRules, SlicedScanFindsWhatTheWholeScanFindsAndRestartsOnNewTables) {
    const auto dataBase = MakeDataBase(Cookies({"*?bad*", "*@tracker*", "joe@*", "**", "*@ads*"}));
    const std::vector<std::string> names = {"joe@example[1].txt", "a@ads[1].txt", "b@example[1].txt",
                                            "user@~~local~~[1].txt", "a@tracker[1].txt"};
    WarningQueue whole;
    QueueCookieWarnings(*dataBase, whole, names);

    // One row per slice: the warnings come when the last row is done, in the names' order.
    const SliceBudget oneRow = [] { return false; };
    int listings = 0;
    const auto list = [&] {
        ++listings;
        return names;
    };
    TCookieScan scan;
    WarningQueue sliced;
    int slices = 1;
    while (!scan.Slice(*dataBase, 1, sliced, list, oneRow)) {
        EXPECT_EQ(sliced.Count(), 0u);
        ++slices;
    }
    EXPECT_EQ(slices, 5);
    EXPECT_EQ(listings, 1);
    const std::vector<std::string> found = QueuedNames(sliced);
    EXPECT_EQ(found, QueuedNames(whole));
    EXPECT_EQ(found, (std::vector<std::string>{"joe@example[1].txt", "a@ads[1].txt", "user@~~local~~[1].txt",
                                               "a@tracker[1].txt"}));

    // Tables replaced mid-pass: a fresh listing, and only the new tables' rows decide.
    const auto replaced = MakeDataBase(Cookies({"b@*", "*@nothing*"}));
    WarningQueue afterUpdate;
    EXPECT_FALSE(scan.Slice(*dataBase, 1, afterUpdate, list, oneRow));
    while (!scan.Slice(*replaced, 2, afterUpdate, list, oneRow)) {
    }
    EXPECT_EQ(listings, 3);
    EXPECT_EQ(QueuedNames(afterUpdate), (std::vector<std::string>{"b@example[1].txt", "user@~~local~~[1].txt"}));
}

TEST(FolderRules, OnlyReadableDeletableRowsNameAFolder) {
    const FixedFolders folders;
    const auto table = Folders({
        {"%2%\\Gator\\", "1", "1"},           // 0: reported, expanded
        {"%2%\\Hotbar\\", "0", "4"},          // 1: may not be deleted
        {"%2%\\Zango\\", "1", "x5"},          // 2: SPYWARE_REF not an integer
        {"%2%\\Lop\\", "yes", "7"},           // 3: CAN_BE_DELETED not an integer
        {"%2%\\Two\\", "2", "7"},             // 4: only 1 counts
        {"C:\\Direct\\Spy\\", "1", "2"},      // 5: no macro
        {"%2%\\NoSlash", "1", "3"},           // 6: as written
        {"%2%\\A\\%3%\\", "1", "3"},          // 7: only the first macro is expanded
        {"\\\\server\\share\\Spy\\", "1", "3"},  // 8: a share path
    });
    auto at = [&](int row) { return DeletableFolderOfRow(*table, row, folders); };
    EXPECT_EQ(at(0), "C:\\Program Files\\Gator\\");
    EXPECT_EQ(at(1), std::nullopt);
    EXPECT_EQ(at(2), std::nullopt);
    EXPECT_EQ(at(3), std::nullopt);
    EXPECT_EQ(at(4), std::nullopt);
    EXPECT_EQ(at(5), "C:\\Direct\\Spy\\");
    EXPECT_EQ(at(6), "C:\\Program Files\\NoSlash");
    EXPECT_EQ(at(7), "C:\\Program Files\\A\\%3%\\");
    EXPECT_EQ(at(8), "\\\\server\\share\\Spy\\");
    EXPECT_EQ(at(9), std::nullopt);  // past the last row

    // A table without SPYWARE_REF: no row reads.
    const auto noRef = MakeTable("Folders", {{"FILE_PATH", {"%2%\\Gator\\"}}, {"CAN_BE_DELETED", {"1"}}});
    EXPECT_EQ(DeletableFolderOfRow(*noRef, 0, folders), std::nullopt);
}

TEST(FolderRules, RowsThatWouldMoveTheWrongFolderAreRefused) {
    const FixedFolders folders;
    const auto table = Folders({
        {"%13%\\Spy\\", "1", "1"},     // 0: the system cannot give the folder: "\Spy\" on the current drive
        {"%42%\\Spy\\", "1", "1"},     // 1: unknown macro, the same
        {"Spy\\", "1", "1"},           // 2: relative
        {"%16%\\", "1", "1"},          // 3: the Windows folder itself
        {"%7%", "1", "1"},             // 4: the system folder itself
        {"C:\\", "1", "1"},            // 5: a drive root
        {"%0%C:\\\\", "1", "1"},       // 6: a drive root behind the empty macro
        {"%2%\\..\\", "1", "1"},       // 7: climbs out of the folder
        {"%2%\\Spy\\.\\", "1", "1"},   // 8: a "." component
        {"\\\\server\\share\\", "1", "1"},  // 9: a share root
        {"%0%C:\\Spy\\", "1", "1"},    // 10: fine: the empty macro, then an absolute path
    });
    for (int row = 0; row <= 9; ++row)
        EXPECT_EQ(DeletableFolderOfRow(*table, row, folders), std::nullopt) << "row " << row;
    EXPECT_EQ(DeletableFolderOfRow(*table, 10, folders), "C:\\Spy\\");
}

TEST(FolderRules, QueuesExistingFoldersOnceWithTheExpandedPath) {
    const FixedFolders folders;
    const auto dataBase = MakeDataBase(Folders({
        {"%2%\\Gator\\", "1", "1"},
        {"%2%\\Missing\\", "1", "1"},
        {"%2%\\Hotbar\\", "0", "4"},
        {"%2%\\NoSlash", "1", "3"},
        {"C:\\Program Files\\Gator\\", "1", "9"},  // the same folder a second time
    }));
    const std::set<std::string> existing = {"C:\\Program Files\\Gator\\", "C:\\Program Files\\Hotbar\\",
                                            "C:\\Program Files\\NoSlash"};
    std::vector<std::string> asked;
    auto exists = [&](const std::string& path) {
        asked.push_back(path);
        return existing.contains(path);
    };
    WarningQueue queue;
    QueueFolderWarnings(*dataBase, queue, folders, exists);
    // One query per deletable row; the row that may not be deleted is never looked at.
    EXPECT_EQ(asked, (std::vector<std::string>{"C:\\Program Files\\Gator\\", "C:\\Program Files\\Missing\\",
                                               "C:\\Program Files\\NoSlash", "C:\\Program Files\\Gator\\"}));
    ASSERT_EQ(queue.Count(), 2u);
    const auto* first = dynamic_cast<const TFolderWarning*>(queue.Head());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Name, "C:\\Program Files\\Gator\\");
    EXPECT_EQ(first->FolderPath, "C:\\Program Files\\Gator\\");
    queue.RemoveHead();
    const auto* second = dynamic_cast<const TFolderWarning*>(queue.Head());
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Name, "C:\\Program Files\\NoSlash");
    EXPECT_EQ(second->FolderPath, "C:\\Program Files\\NoSlash\\");  // the remedy appends "*.*" to it

    WarningQueue empty;
    QueueFolderWarnings(*MakeDataBase(), empty, folders, exists);
    EXPECT_TRUE(empty.Empty());
}

TEST(FolderRules, ProgramFilesRowsAreTestedInBothProgramFolders) {
    const Wow64Folders folders;
    const auto dataBase = MakeDataBase(Folders({
        {"%2%\\Gator\\", "1", "1"},
        {"%10%\\Shared Bad\\", "1", "2"},
        {"%16%\\Evil\\", "1", "3"},
    }));
    const std::set<std::string> existing = {"C:\\Program Files\\Gator\\", "C:\\Program Files (x86)\\Gator\\",
                                            "C:\\Program Files (x86)\\Common Files\\Shared Bad\\",
                                            "C:\\WINDOWS\\Evil\\"};
    std::vector<std::string> asked;
    auto exists = [&](const std::string& path) {
        asked.push_back(path);
        return existing.contains(path);
    };
    WarningQueue queue;
    QueueFolderWarnings(*dataBase, queue, folders, exists);
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "C:\\Program Files\\Gator\\", "C:\\Program Files (x86)\\Gator\\",
                         "C:\\Program Files\\Common Files\\Shared Bad\\",
                         "C:\\Program Files (x86)\\Common Files\\Shared Bad\\", "C:\\WINDOWS\\Evil\\"}));
    EXPECT_EQ(QueuedNames(queue), (std::vector<std::string>{
                                      "C:\\Program Files\\Gator\\", "C:\\Program Files (x86)\\Gator\\",
                                      "C:\\Program Files (x86)\\Common Files\\Shared Bad\\",
                                      "C:\\WINDOWS\\Evil\\"}));

    // The remedy's second question: the same folders, letter case aside, and nothing else.
    EXPECT_TRUE(IsSpywareFolder(*dataBase, folders, "c:\\program files (x86)\\GATOR\\"));
    EXPECT_TRUE(IsSpywareFolder(*dataBase, folders, "C:\\Program Files\\Common Files\\Shared Bad\\"));
    EXPECT_FALSE(IsSpywareFolder(*dataBase, folders, "C:\\Program Files\\Gator\\Sub\\"));
    EXPECT_FALSE(IsSpywareFolder(*dataBase, folders, "C:\\Program Files\\"));
    EXPECT_FALSE(IsSpywareFolder(*MakeDataBase(), folders, "C:\\Program Files\\Gator\\"));
}

}  // namespace
}  // namespace sentrel
