#include "database/DataBase.h"

#include <gtest/gtest.h>

#include "database/LookupTables.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using Columns = std::initializer_list<std::pair<const char*, std::vector<std::string>>>;

// A table whose row count is the length of the longest column; shorter columns are padded.
std::unique_ptr<TTable> MakeTable(std::string name, Columns columns) {
    auto table = std::make_unique<TTable>(std::move(name));
    std::size_t rows = 0;
    for (const auto& [column, values] : columns) rows = std::max(rows, values.size());
    for (std::size_t i = 0; i < rows; ++i) table->AddRow();
    for (const auto& [column, values] : columns) {
        auto cells = std::make_unique<TColumn>(column);
        for (const std::string& value : values) {
            cells->AddEmptyValue();
            cells->SetString(cells->Count() - 1, value);
        }
        table->AddColumn(std::move(cells));
    }
    return table;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteEncrypted(const std::string& path, std::vector<std::uint8_t> plain,
                    std::string_view passPhrase = kDataBasePassPhrase) {
    TCipher(passPhrase).Encrypt(plain);
    WriteFileBytes(path, plain);
}

std::vector<std::uint8_t> Decrypted(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    TCipher(kDataBasePassPhrase).Decrypt(bytes);
    return bytes;
}

void FillSample(TDataBase& db) {
    db.AddTable(MakeTable("PrimaryFiles", {{"FILE_NAME", {"evil.exe", "bad.dll", "evil.exe"}},
                                           {"SPYWARE_REF", {"10", "11", "12"}},
                                           {"PATH_REF", {"1", "0", "9"}},
                                           {"CODE", {"a", "b", "c"}}}));
    db.AddTable(MakeTable("Folders", {{"FILE_PATH", {"%7%\\", "%16%\\evil\\"}}, {"CAN_BE_DELETED", {"0", "x"}}}));
    db.AddTable(MakeTable("Cookies", {{"FILES_MASK", {"*doubleclick*"}}}));
}

TEST(DataBaseTables, KeptInNameOrderWithDuplicatesOwnedButNeverFound) {
    TDataBase db("database.db", false, std::string(kDataBasePassPhrase));
    EXPECT_TRUE(db.AddTable(MakeTable("Folders", {{"A", {"1"}}})));
    EXPECT_TRUE(db.AddTable(MakeTable("checksums", {{"A", {"first"}}})));
    EXPECT_TRUE(db.AddTable(MakeTable("PrimaryFiles", {{"A", {"1"}}})));
    EXPECT_FALSE(db.AddTable(MakeTable("CHECKSUMS", {{"A", {"second", "x"}}})));
    EXPECT_TRUE(db.AddTable(MakeTable("Cookies", {})));

    ASSERT_EQ(db.TableCount(), 4);
    EXPECT_EQ(db.GetTableByIndex(0)->Name(), "checksums");
    EXPECT_EQ(db.GetTableByIndex(1)->Name(), "Cookies");
    EXPECT_EQ(db.GetTableByIndex(2)->Name(), "Folders");
    EXPECT_EQ(db.GetTableByIndex(3)->Name(), "PrimaryFiles");
    EXPECT_EQ(db.GetTableByIndex(4), nullptr);
    EXPECT_EQ(db.GetTableByIndex(-1), nullptr);
    EXPECT_EQ(db.FindTable("CheckSums"), db.GetTableByIndex(0));
    EXPECT_EQ(db.FindTable("primaryfiles"), db.GetTableByIndex(3));
    EXPECT_EQ(db.FindTable("RegEntries"), nullptr);
    EXPECT_EQ(db.FindTable(""), nullptr);
}

TEST(DataBaseTables, CellReadsReportOkWheneverTheTableExists) {
    TDataBase db("database.db", false, std::string(kDataBasePassPhrase));
    FillSample(db);
    std::int32_t value = -1;
    std::string text = "old";

    EXPECT_TRUE(db.GetIntCell("primaryfiles", "spyware_ref", 1, value));
    EXPECT_EQ(value, 11);
    EXPECT_TRUE(db.GetIntCell("PrimaryFiles", "NO_SUCH_COLUMN", 1, value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(db.GetIntCell("PrimaryFiles", "FILE_NAME", 1, value));  // not an integer, still ok
    EXPECT_FALSE(db.GetIntCell("RegEntries", "SPYWARE_REF", 0, value));

    EXPECT_TRUE(db.GetStringCell("Folders", "FILE_PATH", 1, text));
    EXPECT_EQ(text, "%16%\\evil\\");
    EXPECT_TRUE(db.GetStringCell("Folders", "NO_SUCH_COLUMN", 1, text));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(db.GetStringCell("Folders", "FILE_PATH", 7, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(db.GetStringCell("Nothing", "FILE_PATH", 0, text));
}

TEST(DataBaseTables, LinkedStringFollowsTheReferenceOnlyInsideTheTarget) {
    TDataBase db("database.db", false, std::string(kDataBasePassPhrase));
    FillSample(db);
    db.AddTable(MakeTable("Refs", {{"REF", {"-1", "2", "abc", ""}}}));
    std::string text = "old";

    EXPECT_TRUE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "FILE_PATH", "Folders", 0, text));
    EXPECT_EQ(text, "%16%\\evil\\");
    EXPECT_TRUE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "FILE_PATH", "Folders", 1, text));
    EXPECT_EQ(text, "%7%\\");
    EXPECT_FALSE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "FILE_PATH", "Folders", 2, text));  // 9: beyond
    EXPECT_EQ(text, "");
    EXPECT_FALSE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "FILE_PATH", "Folders", 3, text));  // no row 3
    for (int row = 0; row < 4; ++row) {  // -1, 2 (beyond two folders), letters, empty
        EXPECT_FALSE(db.GetLinkedString("Refs", "REF", "FILE_PATH", "Folders", row, text)) << row;
    }
    EXPECT_FALSE(db.GetLinkedString("Nothing", "PATH_REF", "FILE_PATH", "Folders", 0, text));
    EXPECT_FALSE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "FILE_PATH", "Nothing", 0, text));
    EXPECT_FALSE(db.GetLinkedString("PrimaryFiles", "NOPE", "FILE_PATH", "Folders", 0, text));
    EXPECT_FALSE(db.GetLinkedString("PrimaryFiles", "PATH_REF", "NOPE", "Folders", 0, text));
}

TEST(DataBaseTables, SelectCopiesMatchingRowsIntoListedColumns) {
    TDataBase db("database.db", false, std::string(kDataBasePassPhrase));
    FillSample(db);

    // Empty match value: every row, row numbers unchanged; blanks in the list are ignored.
    auto all = db.Select(" FILE_NAME , missing,spyware_ref", "primaryfiles", "", "CODE");
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->Name(), "");
    EXPECT_EQ(all->RowCount(), 3);
    ASSERT_EQ(all->ColumnCount(), 3);
    EXPECT_EQ(all->GetColumn(0)->Name(), "FILE_NAME");
    EXPECT_EQ(test::Texts(*all->GetColumn(0)), (std::vector<std::string>{"evil.exe", "bad.dll", "evil.exe"}));
    EXPECT_EQ(all->GetColumn(1)->Name(), "missing");
    EXPECT_EQ(test::Texts(*all->GetColumn(1)), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(all->GetColumn(2)->Name(), "spyware_ref");
    EXPECT_EQ(test::Texts(*all->GetColumn(2)), (std::vector<std::string>{"10", "11", "12"}));

    // A match value keeps only exactly equal cells (letter case counts).
    auto evil = db.Select("SPYWARE_REF", "PrimaryFiles", "evil.exe", "file_name");
    ASSERT_NE(evil, nullptr);
    EXPECT_EQ(test::Texts(*evil->GetColumn(0)), (std::vector<std::string>{"10", "12"}));
    auto none = db.Select("SPYWARE_REF", "PrimaryFiles", "EVIL.EXE", "FILE_NAME");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->RowCount(), 0);
    EXPECT_EQ(none->ColumnCount(), 1);

    // The match column's own length decides the rows walked, even beyond the row count.
    TDataBase padded("database.db", false, std::string(kDataBasePassPhrase));
    auto table = MakeTable("T", {{"A", {"a0"}}});
    table->AddColumn(std::make_unique<TColumn>("LONG"));
    table->FindColumn("LONG")->AddEmptyValue();  // rows: A has 1 value, LONG 2
    padded.AddTable(std::move(table));
    auto rows = padded.Select("A", "T", "", "LONG");
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(test::Texts(*rows->GetColumn(0)), (std::vector<std::string>{"a0", ""}));

    EXPECT_EQ(db.Select("FILE_NAME", "Nothing", "", "CODE"), nullptr);
    EXPECT_EQ(db.Select("  ", "PrimaryFiles", "", "CODE"), nullptr);
    EXPECT_EQ(db.Select("FILE_NAME", "PrimaryFiles", "", "NO_SUCH"), nullptr);
}

TEST(DataBaseStream, TablesComeOutInNameOrderWithoutDuplicates) {
    TDataBase source("database.db", false, std::string(kDataBasePassPhrase));
    // Written in this order on purpose: the serialised layer keeps the order it is given.
    std::vector<std::uint8_t> unordered;
    ByteWriter writer(unordered);
    writer.WriteInt32(3);
    MakeTable("Zeta", {{"C", {"z"}}})->SaveToStream(writer);
    MakeTable("alpha", {{"C", {"a"}}})->SaveToStream(writer);
    MakeTable("ZETA", {{"C", {"dup"}}})->SaveToStream(writer);

    TDataBase db("database.db", false, std::string(kDataBasePassPhrase));
    db.AddTable(MakeTable("Old", {}));
    db.LoadFromStream(unordered);
    ASSERT_EQ(db.TableCount(), 2);
    EXPECT_EQ(db.FindTable("Old"), nullptr);
    EXPECT_EQ(db.FindTable("zeta")->GetColumn(0)->Values().at(0), "z");

    std::vector<std::uint8_t> saved;
    db.SaveToStream(saved);
    std::vector<std::uint8_t> expected;
    ByteWriter ordered(expected);
    ordered.WriteInt32(2);
    MakeTable("alpha", {{"C", {"a"}}})->SaveToStream(ordered);
    MakeTable("Zeta", {{"C", {"z"}}})->SaveToStream(ordered);
    EXPECT_EQ(saved, expected);

    // A damaged stream leaves the tables alone.
    std::vector<std::uint8_t> damaged(expected.begin(), expected.end() - 1);
    db.AddTable(MakeTable("Kept", {}));
    EXPECT_THROW(db.LoadFromStream(damaged), DataBaseError);
    EXPECT_EQ(db.TableCount(), 3);
    EXPECT_NE(db.FindTable("Kept"), nullptr);
    EXPECT_THROW(db.LoadFromStream({}), DataBaseError);
}

TEST(DataBaseFile, SaveAndLoadGiveTheSameTablesAndTheSameBytes) {
    test::TempFolder folder;
    const std::string file = folder / "database.db";
    {
        TDataBase db(file, false, std::string(kDataBasePassPhrase));
        FillSample(db);
        db.AddTable(MakeTable("cookies", {{"FILES_MASK", {"dropped at save"}}}));
        db.Save();
    }
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db"}));
    // Inside the cipher: one archived file named "db" holding the serialised tables.
    const auto archive = Decrypted(file);
    EXPECT_EQ(ListArchive(archive), (std::vector<std::string>{"db"}));

    const auto firstSave = ReadFileBytes(file);
    TDataBase db(file, true, std::string(kDataBasePassPhrase));
    EXPECT_FALSE(db.LoadFailed());
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db"}));
    ASSERT_EQ(db.TableCount(), 3);
    EXPECT_EQ(db.GetTableByIndex(0)->Name(), "Cookies");
    EXPECT_EQ(db.GetTableByIndex(1)->Name(), "Folders");
    EXPECT_EQ(db.GetTableByIndex(2)->Name(), "PrimaryFiles");
    EXPECT_EQ(test::Texts(*db.FindTable("cookies")->GetColumn(0)), (std::vector<std::string>{"*doubleclick*"}));
    std::string text;
    EXPECT_TRUE(db.GetStringCell("PrimaryFiles", "FILE_NAME", 2, text));
    EXPECT_EQ(text, "evil.exe");
    EXPECT_EQ(db.FindTable("PrimaryFiles")->RowCount(), 3);

    db.Save();
    EXPECT_EQ(ReadFileBytes(file), firstSave);
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db"}));
}

TEST(DataBaseFile, AnEmptyDataBaseRoundTrips) {
    test::TempFolder folder;
    const std::string file = folder / "database.db";
    TDataBase(file, false, std::string(kDataBasePassPhrase)).Save();
    const auto archive = Decrypted(file);
    const auto records = ReadArchiveRecords(archive);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(InflateRecord(records[0]), (std::vector<std::uint8_t>{0, 0, 0, 0}));

    TDataBase db(file, true, std::string(kDataBasePassPhrase));
    EXPECT_EQ(db.TableCount(), 0);
    db.Save();
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db"}));
}

TEST(DataBaseFile, DamagedFilesAreRefusedWithoutLeavingFilesOrLosingTables) {
    test::TempFolder folder;
    const std::string file = folder / "database.db";
    test::WriteTextFile(folder / "options.ini", "[Options]\n");

    std::vector<std::uint8_t> tables;
    TDataBase sample(file, false, std::string(kDataBasePassPhrase));
    FillSample(sample);
    sample.SaveToStream(tables);
    const auto goodArchive = BuildArchive("db", tables);
    auto twoFiles = goodArchive;
    twoFiles.insert(twoFiles.end(), goodArchive.begin(), goodArchive.end());
    auto folderRecord = BuildArchive("db", tables);
    folderRecord.insert(folderRecord.begin() + 1, {'s', 'u', 'b'});
    folderRecord[0] = 3;

    struct Case {
        const char* what;
        std::function<void()> write;
    };
    const std::vector<Case> cases = {
        {"empty file", [&] { WriteFileBytes(file, {}); }},
        {"garbage", [&] { test::WriteTextFile(file, std::string(5000, 'x')); }},
        {"plain archive", [&] { WriteFileBytes(file, goodArchive); }},
        {"other pass phrase", [&] { WriteEncrypted(file, goodArchive, "another pass phrase"); }},
        {"truncated", [&] { WriteEncrypted(file, {goodArchive.begin(), goodArchive.end() - 10}); }},
        {"tables cut short",
         [&] { WriteEncrypted(file, BuildArchive("db", std::span(tables).first(tables.size() - 3))); }},
        {"tables garbage", [&] { WriteEncrypted(file, BuildArchive("db", std::vector<std::uint8_t>(64, 0xEE))); }},
        {"empty archive", [&] { WriteEncrypted(file, {}); }},
        {"two files", [&] { WriteEncrypted(file, twoFiles); }},
        {"a folder", [&] { WriteEncrypted(file, folderRecord); }},
    };
    for (const Case& c : cases) {
        c.write();
        const auto before = ReadFileBytes(file);
        TDataBase db(file, false, std::string(kDataBasePassPhrase));
        db.AddTable(MakeTable("Loaded", {{"A", {"1"}}}));
        try {
            db.LoadFromFile(file);
            ADD_FAILURE() << c.what << ": loaded";
        } catch (const DataBaseError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with("database.db is damaged: ")) << error.what();
        }
        EXPECT_TRUE(db.LoadFailed()) << c.what;
        EXPECT_EQ(db.TableCount(), 1) << c.what;
        EXPECT_NE(db.FindTable("Loaded"), nullptr) << c.what;
        EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db", "options.ini"})) << c.what;
        EXPECT_EQ(ReadFileText(folder / "options.ini"), "[Options]\n") << c.what;

        // A database whose load failed is never written back.
        EXPECT_THROW(db.Save(), DataBaseError) << c.what;
        EXPECT_EQ(ReadFileBytes(file), before) << c.what;
        EXPECT_THROW(TDataBase(file, true, std::string(kDataBasePassPhrase)), DataBaseError) << c.what;
    }

    // The stored name is a label: one naming another file of the folder loads, and that file
    // stays as it was.
    WriteEncrypted(file, BuildArchive("options.ini", tables));
    EXPECT_EQ(TDataBase(file, true, std::string(kDataBasePassPhrase)).TableCount(), 3);
    EXPECT_EQ(ReadFileText(folder / "options.ini"), "[Options]\n");

    // A good file loads again and may then be saved.
    WriteEncrypted(file, goodArchive);
    TDataBase db(file, false, std::string(kDataBasePassPhrase));
    EXPECT_THROW(db.LoadFromFile(folder / "missing.db"), DataBaseError);
    EXPECT_TRUE(db.LoadFailed());
    db.LoadFromFile(file);
    EXPECT_FALSE(db.LoadFailed());
    EXPECT_EQ(db.TableCount(), 3);
    EXPECT_NO_THROW(db.Save());
    EXPECT_THROW(TDataBase(folder / "missing.db", true, std::string(kDataBasePassPhrase)), DataBaseError);
}

TEST(DataBaseFile, AFailedSaveLeavesTheOldFileWhole) {
    test::TempFolder folder;
    const std::string file = folder / "database.db";
    TDataBase db(file, false, std::string(kDataBasePassPhrase));
    FillSample(db);
    db.Save();
    const auto before = ReadFileBytes(file);
    db.AddTable(MakeTable("RegEntries", {{"REG_PATH", {"HKEY_CURRENT_USER\\x"}}}));

    // A working file that cannot be written, at each of the two steps before the encryption.
    for (const char* blocked : {"db", "db_decrypted.dat"}) {
        CreateFolders(folder / blocked);
        EXPECT_THROW(db.Save(), DataBaseError) << blocked;
        EXPECT_EQ(ReadFileBytes(file), before) << blocked;
        EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db", blocked})) << blocked;
        std::filesystem::remove(folder / blocked);
    }

    // The database file itself cannot be replaced (here a folder stands in its place).
    const std::string other = folder / "other.db";
    CreateFolders(folder / JoinPath("other.db", "inside"));
    TDataBase blockedTarget(other, false, std::string(kDataBasePassPhrase));
    FillSample(blockedTarget);
    EXPECT_THROW(blockedTarget.Save(), DataBaseError);
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db", "other.db"}));
    EXPECT_TRUE(FolderExists(folder / JoinPath("other.db", "inside")));

    db.Save();
    EXPECT_NE(ReadFileBytes(file), before);
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db", "other.db"}));
}

TEST(DataBasePipeline, PackAndUnpackUseTheNamedWorkingFiles) {
    test::TempFolder folder;
    const std::string file = folder / "database.db";
    TDataBase db(file, false, std::string(kDataBasePassPhrase));
    std::vector<std::uint8_t> patch(20000);
    for (std::size_t i = 0; i < patch.size(); ++i) patch[i] = static_cast<std::uint8_t>(i * 31 % 251);
    WriteFileBytes(folder / "db_unpacked_patched.dat", patch);

    db.PackAndEncrypt(folder / "db_unpacked_patched.dat");
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db"}));
    EXPECT_EQ(ListArchive(Decrypted(file)), (std::vector<std::string>{"db_unpacked_patched.dat"}));
    EXPECT_TRUE(db.Buffer().empty());

    // An update file elsewhere: its "_decrypted.dat" goes beside it, the unpacked file to the target.
    CreateFolders(folder / "downloads");
    const std::string update = folder / JoinPath("downloads", "update58.dat");
    std::filesystem::copy_file(file, update);
    db.DecryptAndUnpack(update, folder / "update_unpacked.dat");
    EXPECT_EQ(ReadFileBytes(folder / "update_unpacked.dat"), patch);
    EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"database.db", "downloads", "update_unpacked.dat"}));
    EXPECT_EQ(FilesIn(folder / "downloads"), (std::vector<std::string>{"update58.dat"}));

    // Nothing is written under the archived name: a file of that name stays as it was.
    test::WriteTextFile(folder / "db_unpacked_patched.dat", "not the archived file");
    db.DecryptAndUnpack(file, folder / "db_unpacked.dat");
    EXPECT_EQ(ReadFileBytes(folder / "db_unpacked.dat"), patch);
    EXPECT_EQ(ReadFileText(folder / "db_unpacked_patched.dat"), "not the archived file");
    EXPECT_FALSE(FileExists(folder / "database.db_decrypted.dat"));

    EXPECT_THROW(db.PackAndEncrypt(folder / "missing.dat"), DataBaseError);
    EXPECT_THROW(db.DecryptAndUnpack(folder / "missing.dat", folder / "x.dat"), DataBaseError);
    EXPECT_FALSE(FileExists(folder / "missing.dat_decrypted.dat"));
}

TEST(DataBasePipeline, UpdateNumberIsTheFirstFourBytesLittleEndian) {
    test::TempFolder folder;
    WriteFileBytes(folder / "a.dat", std::vector<std::uint8_t>{0x3A, 0, 0, 0, 0xFF, 0xFF});
    EXPECT_EQ(TDataBase::ReadUpdateNumber(folder / "a.dat"), 58);
    WriteFileBytes(folder / "b.dat", std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(TDataBase::ReadUpdateNumber(folder / "b.dat"), -2);
    WriteFileBytes(folder / "c.dat", std::vector<std::uint8_t>{1, 2, 3});
    EXPECT_THROW(TDataBase::ReadUpdateNumber(folder / "c.dat"), DataBaseError);
    EXPECT_THROW(TDataBase::ReadUpdateNumber(folder / "missing.dat"), DataBaseError);
}

}  // namespace
}  // namespace sentrel
