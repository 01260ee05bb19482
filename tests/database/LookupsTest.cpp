// The file lookups over made-up tables and an in-memory file system.
#include <gtest/gtest.h>

#include <map>

#include "database/FakeFileAccess.h"
#include "database/Lookups.h"
#include "database/LookupTables.h"
#include "database/Mask.h"

namespace sentrel {
namespace {

using test::FakeFileAccess;
using test::MakeDataBase;
using test::MakeTable;

class FixedFolders final : public TMacroFolderSource {
public:
    std::string Folder(TSystemFolder folder) const override {
        switch (folder) {
            case TSystemFolder::Windows: return "C:\\WINDOWS";
            case TSystemFolder::System: return "C:\\WINDOWS\\system32";
            case TSystemFolder::ProgramFiles: return "C:\\Program Files";
            case TSystemFolder::ProgramFilesX86: return "C:\\Program Files (x86)";
            default: return "C:\\Other";
        }
    }
};

struct ChecksumRow {
    std::string Size, First, Second, Ref;
};

std::unique_ptr<TTable> Checksums(const std::vector<ChecksumRow>& rows) {
    test::ColumnValues size{"FILE_SIZE", {}}, first{"FIRST_LEVEL_CHECKSUM", {}}, second{"SECOND_LEVEL_CHECKSUM", {}},
        ref{"SPYWARE_REF", {}};
    for (const ChecksumRow& row : rows) {
        size.Values.push_back(row.Size);
        first.Values.push_back(row.First);
        second.Values.push_back(row.Second);
        ref.Values.push_back(row.Ref);
    }
    return MakeTable("Checksums", {size, first, second, ref});
}

const std::vector<std::uint8_t> kZeros1024(1024, 0);
const std::vector<std::uint8_t> kOnes1024(1024, 255);
const std::vector<std::uint8_t> kZeros20000(20000, 0);  // 36096, 91768120

TEST(ThreatLookups, FindByChecksumMatchesLengthAndBothChecksums) {
    const TThreatTables tables(MakeDataBase(Checksums({
        {"1024", "15872", "457984", "1"},
        {"1024", "24032", "653824", "2"},
        {"20000", "abc", "91768120", "3"},       // FIRST_LEVEL_CHECKSUM does not read: skipped
        {"20000", "36096", "91768120", "x"},     // SPYWARE_REF does not read: skipped
        {"20000", "36096", "91768120", "4"},
        {"20000", "36096", "91768120", "5"},     // the first matching row wins
        {"1023", "0", "0", "6"},                 // lengths outside the bounds are never looked up
        {"15850125", "0", "0", "7"},
    })));
    FakeFileAccess files;
    files.Add("C:\\zeros.bin", kZeros1024);
    files.Add("C:\\ones.bin", kOnes1024);
    files.Add("C:\\zeros20000.bin", kZeros20000);
    files.Add("C:\\other1024.bin", std::vector<std::uint8_t>(1024, 1));
    files.Add("C:\\4096.bin", std::vector<std::uint8_t>(4096, 0));
    files.AddUnreadable("C:\\1023.bin", 1023);
    files.AddUnreadable("C:\\15850125.bin", 15850125);
    files.AddUnreadable("C:\\locked.bin", 1024);

    struct Case {
        const char* Path;
        bool Found;
        std::int32_t Ref;
        bool Opened;
    };
    for (const Case& c : {Case{"C:\\zeros.bin", true, 1, true}, Case{"C:\\ones.bin", true, 2, true},
                          Case{"C:\\zeros20000.bin", true, 4, true}, Case{"C:\\other1024.bin", false, 0, true},
                          Case{"C:\\locked.bin", false, 0, true},  // cannot be opened: no match
                          Case{"C:\\4096.bin", false, 0, false},   // length not in the index
                          Case{"C:\\1023.bin", false, 0, false}, Case{"C:\\15850125.bin", false, 0, false},
                          Case{"C:\\missing.bin", false, 0, false}}) {
        SCOPED_TRACE(c.Path);
        files.Opened.clear();
        const TLookupResult result = FindByChecksum(tables, files, c.Path);
        EXPECT_EQ(result.Found, c.Found);
        if (c.Found) {
            EXPECT_EQ(result.SpywareRef, c.Ref);
        }
        // Opened at most once, however many rows have the length.
        EXPECT_EQ(files.Opened.size(), c.Opened ? 1u : 0u);
    }

    // No file is opened when no row of its length reads.
    const TThreatTables unreadable(MakeDataBase(Checksums({{"1024", "x", "457984", "1"}, {"1024", "1", "2", "y"}})));
    files.Opened.clear();
    EXPECT_FALSE(FindByChecksum(unreadable, files, "C:\\zeros.bin").Found);
    EXPECT_TRUE(files.Opened.empty());
    // Nor without the table.
    EXPECT_FALSE(FindByChecksum(TThreatTables(MakeDataBase()), files, "C:\\zeros.bin").Found);
    EXPECT_TRUE(files.Opened.empty());
}

TEST(ThreatLookups, SecondLevelChecksumIsMatchedAsASubstringEitherWay) {
    FakeFileAccess files;
    files.Add("C:\\zeros20000.bin", kZeros20000);                                 // 36096, 91768120
    files.Add("C:\\zeros14000000.bin", std::vector<std::uint8_t>(14000000, 0));  // 36096, -1004990330
    struct Case {
        const char* Path;
        const char* First;
        const char* Second;
        bool Found;
    };
    const Case cases[] = {
        {"C:\\zeros20000.bin", "36096", "91768120", true},
        {"C:\\zeros20000.bin", "36096", "917681205", true},   // the computed text plus one digit
        {"C:\\zeros20000.bin", "36096", "7681", true},        // its middle four digits
        {"C:\\zeros20000.bin", "36096", "x91768120x", true},  // any text holding it
        {"C:\\zeros20000.bin", "36096", "91768121", false},
        {"C:\\zeros20000.bin", "36096", "", false},           // an empty text never matches
        {"C:\\zeros20000.bin", "36097", "91768120", false},   // the first level must be equal
        {"C:\\zeros20000.bin", "+36096", "91768120", true},   // ...as integers
        {"C:\\zeros14000000.bin", "36096", "-1004990330", true},
        {"C:\\zeros14000000.bin", "36096", "1004990330", true},  // inside the signed text
        {"C:\\zeros14000000.bin", "36096", "-1004990331", false},
        {"C:\\zeros14000000.bin", "36096", "3290", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Path) + " " + c.First + " " + c.Second);
        const std::string size = c.Path == std::string("C:\\zeros20000.bin") ? "20000" : "14000000";
        const TThreatTables tables(MakeDataBase(Checksums({{size, c.First, c.Second, "9"}})));
        const TLookupResult result = FindByChecksum(tables, files, c.Path);
        EXPECT_EQ(result.Found, c.Found);
        if (c.Found) {
            EXPECT_EQ(result.SpywareRef, 9);
        }
    }
}

std::unique_ptr<TDataBase> NameTables() {
    return MakeDataBase(
        MakeTable("PrimaryFiles", {{"FILE_NAME", {"threat.exe", "THREAT.EXE", "threat.exe", "stored.exe",
                                                  "badmask.exe", "nolink.exe", "textlink.exe"}},
                                   {"SPYWARE_REF", {"bad", "7", "8", "9", "10", "11", "12"}},
                                   {"PATH_REF", {"0", "0", "1", "2", "3", "99", "zero"}},
                                   {"CODE", {"T-0", "T-1", "T-2", "T-3", "T-4", "T-5", "T-6"}}}),
        MakeTable("Folders", {{"FILE_PATH", {"%16%\\Evil\\", "%7%\\", "%2%\\*", "%16%\\*?x"}}}),
        Checksums({{"1024", "15872", "457984", "1"}}));
}

TEST(ThreatLookups, FindByFileNameTakesTheFirstReadableRowOfTheName) {
    const TThreatTables tables(NameTables());
    int row = -1;
    TLookupResult result = FindByFileName(tables, "D:\\anywhere\\Threat.Exe", row);
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.SpywareRef, 7);  // row 0's SPYWARE_REF does not read
    EXPECT_EQ(row, 1);
    EXPECT_TRUE(FindByFileName(tables, "C:threat.exe", row).Found);  // the name follows a colon

    for (const char* path : {"C:\\other.exe", "C:\\threat.exe.bak", "C:\\threat.exe\\", "threat", ""}) {
        row = -1;
        EXPECT_FALSE(FindByFileName(tables, path, row).Found) << path;
        EXPECT_EQ(row, 0) << path;
    }
}

TEST(ThreatLookups, ANameCountsOnlyInTheFolderOfItsFirstRow) {
    const TThreatTables tables(NameTables());
    const FakeFileAccess files;
    const FixedFolders folders;
    const TLookupSystem system{files, folders, "C:\\Program Files\\Sentrel 4\\"};
    struct Case {
        const char* Path;
        bool Found;
    };
    for (const Case& c : {Case{"C:\\WINDOWS\\Evil\\threat.exe", true}, Case{"c:\\windows\\EVIL\\THREAT.exe", true},
                          Case{"C:\\WINDOWS\\Evil\\sub\\threat.exe", false}, Case{"C:\\WINDOWS\\threat.exe", false},
                          // row 2 would match the system folder, but only the first row is tried
                          Case{"C:\\WINDOWS\\system32\\threat.exe", false},
                          Case{"C:\\Program Files\\Any\\stored.exe", true},
                          // a program-files row names the 32-bit programs' folder too
                          Case{"C:\\Program Files (x86)\\Any\\stored.exe", true},
                          Case{"C:\\Other\\Any\\stored.exe", false},
                          // a PATH_REF past Folders or not a number: no folder, no match
                          Case{"C:\\WINDOWS\\Evil\\nolink.exe", false},
                          Case{"C:\\WINDOWS\\Evil\\textlink.exe", false}}) {
        SCOPED_TRACE(c.Path);
        const TLookupResult result = IsKnownSpywareFile(tables, system, c.Path);
        EXPECT_EQ(result.Found, c.Found);
        if (c.Found) {
            EXPECT_EQ(result.SpywareRef, std::string_view(c.Path).ends_with("stored.exe") ? 9 : 7);
        }
    }
    int row = 0;
    EXPECT_TRUE(FindByFileName(tables, "C:\\WINDOWS\\Evil\\threat.exe", row).Found);
    EXPECT_TRUE(MatchesFileFolder(tables, folders, "C:\\WINDOWS\\Evil\\threat.exe", row));
    EXPECT_FALSE(MatchesFileFolder(tables, folders, "C:\\WINDOWS\\threat.exe", row));
    EXPECT_FALSE(MatchesFileFolder(tables, folders, "C:\\WINDOWS\\Evil\\threat.exe", 100));  // no such row

    // A malformed folder mask reaches the caller.
    try {
        IsKnownSpywareFile(tables, system, "C:\\WINDOWS\\abx\\badmask.exe");
        ADD_FAILURE() << "no error";
    } catch (const InvalidMaskError& error) {
        EXPECT_STREQ(error.what(), "Invalid mask");
    }
}

TEST(ThreatLookups, TheBackupStoreIsRecognisedByChecksumOnly) {
    const TThreatTables tables(NameTables());
    FakeFileAccess files;
    const FixedFolders folders;
    const TLookupSystem system{files, folders, "C:\\Program Files\\Sentrel 4\\"};
    files.Add("C:\\Program Files\\Sentrel 4\\backuped\\4\\renamed.bin", kZeros1024);
    files.Add("C:\\Program Files\\Sentrel 4\\backuped\\5\\threat.exe", kZeros1024);

    // Name and folder (%2%\*) match, but the file lies in the backup store.
    EXPECT_FALSE(IsKnownSpywareFile(tables, system, "C:\\Program Files\\Sentrel 4\\backuped\\3\\stored.exe").Found);
    // Outside it the same name is reported.
    EXPECT_TRUE(IsKnownSpywareFile(tables, system, "C:\\Program Files\\Sentrel 4\\stored.exe").Found);
    // The store's path is compared exactly, letter case included.
    EXPECT_TRUE(IsKnownSpywareFile(tables, system, "C:\\PROGRAM FILES\\SENTREL 4\\BACKUPED\\3\\stored.exe").Found);

    // By checksum a file is recognised inside the store too, and the checksum decides first.
    TLookupResult result = IsKnownSpywareFile(tables, system, "C:\\Program Files\\Sentrel 4\\backuped\\4\\renamed.bin");
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.SpywareRef, 1);
    files.Add("C:\\WINDOWS\\Evil\\threat.exe", kZeros1024);
    result = IsKnownSpywareFile(tables, system, "C:\\WINDOWS\\Evil\\threat.exe");
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.SpywareRef, 1);
}

}  // namespace
}  // namespace sentrel
