#include "database/DataBaseUpdate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <tuple>

#include "config/Options.h"
#include "database/UpdateFiles.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::Bytes;
using test::TableContents;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<TableContents> BaseTables() {
    return {
        {"Checksums", {{"FILE_SIZE", {"1000", "2000"}}, {"FIRST_LEVEL_CHECKSUM", {"11", "22"}}}},
        {"PrimaryFiles", {{"FILE_NAME", {"evil.exe", "bad.dll"}}, {"SPYWARE_REF", {"1", "2"}}, {"CODE", {"a", "b"}}}},
        {"Cookies", {{"FILES_MASK", {"*tracker*"}}}},
    };
}

// A program folder with database.db numbered 57 and its tables loaded, as the running shield
// holds them; updates are made in a separate downloads folder.
class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteDataBase(DataBasePath(), BaseTables());
        options_.WriteInteger("DBNumber", 57);
        tables_ = std::make_unique<TThreatTables>(
            std::make_unique<TDataBase>(DataBasePath(), true, std::string(kDataBasePassPhrase)));
    }

    std::string DataBasePath() const { return program_ / "database.db"; }
    TDataBaseUpdater Updater() {
        return TDataBaseUpdater(DataBasePath(), std::string(kDataBasePassPhrase), options_, verifier_);
    }

    // The update from the current database.db to the given tables, saved as downloads/<name>.
    std::string MakeUpdate(const std::string& name, std::int32_t number, const std::vector<TableContents>& next,
                           const std::string& from = {}) {
        const std::string target = downloads_ / (name + ".target.db");
        test::WriteDataBase(target, next);
        const std::string path = downloads_ / name;
        test::WriteUpdate(path, number, from.empty() ? DataBasePath() : from, target);
        return path;
    }

    // The update file's patch replaced by other bytes (re-signed, so only the patch is at fault).
    std::string MakeRawUpdate(const std::string& name, const Bytes& patch) {
        const std::string path = downloads_ / name;
        test::WritePackedPatch(path, patch);
        test::SignWithDigest(path);
        return path;
    }

    int DataBaseNumber() const { return options_.ReadInteger("DBNumber", 1); }

    // Nothing changed: the file byte for byte, the number, the very tables in memory, and no
    // working file left in the program folder.
    void ExpectUntouched(const Bytes& fileBefore, const TDataBase* tablesBefore) {
        EXPECT_EQ(ReadFileBytes(DataBasePath()), fileBefore);
        EXPECT_EQ(DataBaseNumber(), 57);
        EXPECT_EQ(&tables_->DataBase(), tablesBefore);
        EXPECT_EQ(test::Dump(tables_->DataBase()), test::DumpFile(DataBasePath()));
        EXPECT_EQ(FilesIn(program_.Path()), (std::vector<std::string>{"database.db", "options.ini"}));
    }

    test::TempFolder program_;
    test::TempFolder downloads_;
    TOptions options_{kOptionsFileName, program_.Path()};
    test::DigestVerifier verifier_;
    std::unique_ptr<TThreatTables> tables_;
};

TEST_F(UpdateTest, RoundTripsGiveExactlyTheNewTables) {
    std::vector<TableContents> changedCell = BaseTables();
    changedCell[1].Columns[0].second[1] = "worse.dll";
    std::vector<TableContents> rowsAddedAndRemoved = BaseTables();
    rowsAddedAndRemoved[0].Columns = {{"FILE_SIZE", {"2000", "3000", "4000"}},
                                      {"FIRST_LEVEL_CHECKSUM", {"22", "33", "44"}}};
    std::vector<TableContents> renamed = BaseTables();
    renamed[2].Name = "Cookies2";
    const std::vector<TableContents> emptyTables = {{"Checksums", {}}, {"Folders", {{"FILE_PATH", {}}}}};
    const std::vector<TableContents> noTables = {};

    int number = 57;
    for (const auto& [name, next] :
         std::vector<std::pair<std::string, std::vector<TableContents>>>{{"one changed cell", changedCell},
                                                                     {"rows added and removed", rowsAddedAndRemoved},
                                                                     {"a table renamed", renamed},
                                                                     {"empty tables", emptyTables},
                                                                     {"no tables", noTables},
                                                                     {"from no tables", BaseTables()}}) {
        SCOPED_TRACE(name);
        const std::string update = MakeUpdate("update" + std::to_string(number + 1) + ".dat", number + 1, next);
        const std::string expectedFile = downloads_ / ("update" + std::to_string(number + 1) + ".dat.target.db");
        const TUpdateResult result = tables_->ApplyUpdate(update, options_, verifier_);
        EXPECT_TRUE(result.Applied);
        EXPECT_EQ(result.OldNumber, number);
        EXPECT_EQ(result.UpdateNumber, number + 1);
        ++number;
        EXPECT_EQ(DataBaseNumber(), number);
        EXPECT_EQ(test::Unpacked(DataBasePath()), test::Unpacked(expectedFile));
        EXPECT_EQ(test::Dump(tables_->DataBase()), test::DumpFile(expectedFile));
        EXPECT_EQ(tables_->DataBase().FileName(), DataBasePath());
        EXPECT_EQ(FilesIn(program_.Path()), (std::vector<std::string>{"database.db", "options.ini"}));
        // The shown count follows the tables.
        int rows = 0;
        for (const TableContents& table : next) rows += test::MakeTable(table)->RowCount();
        EXPECT_EQ(options_.ReadInteger("KnownSpywares", -1), rows);
        EXPECT_TRUE(FileExists(update));  // the update file itself stays where it was
    }
}

TEST_F(UpdateTest, FiftyThousandRowsWithASmallChangeGiveASmallUpdate) {
    std::vector<std::string> names, sizes, sums;
    for (int i = 0; i < 50000; ++i) {
        names.push_back("spyware_" + std::to_string(i * 7919 % 100003) + ".dll");
        sizes.push_back(std::to_string(10000 + i * 13));
        sums.push_back(std::to_string(i * 2654435761u));
    }
    const std::vector<TableContents> large = {{"Checksums", {{"FILE_SIZE", sizes}, {"FIRST_LEVEL_CHECKSUM", sums}}},
                                          {"PrimaryFiles", {{"FILE_NAME", names}, {"CODE", sizes}}}};
    const std::string base = downloads_ / "large.db";
    test::WriteDataBase(base, large);
    WriteFileBytes(DataBasePath(), ReadFileBytes(base));
    tables_->Replace(std::make_unique<TDataBase>(DataBasePath(), true, std::string(kDataBasePassPhrase)));

    std::vector<TableContents> next = large;
    next[1].Columns[0].second[25000] = "changed.dll";
    next[0].Columns[0].second.push_back("123456");
    const std::string update = MakeUpdate("update58.dat", 58, next);
    EXPECT_LT(FileSize(update) * 50, FileSize(DataBasePath()));

    EXPECT_TRUE(Updater().Apply(update, *tables_).Applied);
    EXPECT_EQ(test::Dump(tables_->DataBase()), test::DumpFile(downloads_ / "update58.dat.target.db"));
    // The indexes are the new tables'.
    ASSERT_NE(tables_->FileNameIndex().Find("changed.dll"), nullptr);
    EXPECT_EQ(tables_->FileNameIndex().Find("changed.dll")->Get(0), 25000);
    EXPECT_EQ(options_.ReadInteger("KnownSpywares", -1), 100001);
}

TEST_F(UpdateTest, ChainedUpdatesApplyOnlyInOrder) {
    std::vector<TableContents> v58 = BaseTables();
    v58[2].Columns[0].second.push_back("*ads*");
    std::vector<TableContents> v59 = v58;
    v59[2].Columns[0].second.push_back("*more*");
    const std::string update58 = MakeUpdate("update58.dat", 58, v58);
    const std::string update59 = MakeUpdate("update59.dat", 59, v59, downloads_ / "update58.dat.target.db");

    const Bytes before = ReadFileBytes(DataBasePath());
    const TDataBase* tablesBefore = &tables_->DataBase();
    const TUpdateResult early = Updater().Apply(update59, *tables_);
    EXPECT_FALSE(early.Applied);
    EXPECT_EQ(early.UpdateNumber, 59);
    EXPECT_EQ(UpdateRefusalMessage(early), "Can't update database with number 57 with update number 59");
    ExpectUntouched(before, tablesBefore);

    EXPECT_TRUE(Updater().Apply(update58, *tables_).Applied);
    const TUpdateResult again = Updater().Apply(update58, *tables_);
    EXPECT_FALSE(again.Applied);
    EXPECT_EQ(UpdateRefusalMessage(again), "You have the latest update");
    EXPECT_TRUE(Updater().Apply(update59, *tables_).Applied);
    EXPECT_EQ(DataBaseNumber(), 59);
    EXPECT_EQ(test::Dump(tables_->DataBase()), test::DumpFile(downloads_ / "update59.dat.target.db"));
}

TEST_F(UpdateTest, PreparedOnAWorkerAndSwappedInOnTheOwningThread) {
    std::vector<TableContents> next = BaseTables();
    next[0].Columns[0].second[0] = "4242";
    const std::string update = MakeUpdate("update58.dat", 58, next);
    const TDataBaseUpdater updater = Updater();

    TPreparedUpdate prepared;
    std::thread worker([&] { prepared = updater.Prepare(update); });
    worker.join();
    ASSERT_TRUE(prepared.Ready());
    // Prepared, not yet committed: the shield still runs on the old database.
    EXPECT_EQ(DataBaseNumber(), 57);
    EXPECT_EQ(test::DumpFile(DataBasePath()), test::Dump(tables_->DataBase()));
    EXPECT_NE(tables_->ChecksumIndex().Find("1000"), nullptr);

    const TUpdateResult result = updater.Commit(std::move(prepared), *tables_);
    EXPECT_TRUE(result.Applied);
    EXPECT_EQ(tables_->ChecksumIndex().Find("1000"), nullptr);
    ASSERT_NE(tables_->ChecksumIndex().Find("4242"), nullptr);
    EXPECT_EQ(FilesIn(program_.Path()), (std::vector<std::string>{"database.db", "options.ini"}));

    // A prepared update that is dropped leaves nothing behind.
    std::vector<TableContents> later = next;
    later[0].Columns[0].second[1] = "4343";
    const std::string update59 = MakeUpdate("update59.dat", 59, later);
    {
        TPreparedUpdate dropped = updater.Prepare(update59);
        EXPECT_TRUE(dropped.Ready());
    }
    EXPECT_EQ(FilesIn(program_.Path()), (std::vector<std::string>{"database.db", "options.ini"}));
    EXPECT_EQ(DataBaseNumber(), 58);
}

TEST_F(UpdateTest, HostileUpdatesLeaveEverythingAsItWas) {
    const Bytes base = test::Unpacked(DataBasePath());
    const auto length = static_cast<std::int32_t>(base.size());
    const Bytes good = MakePatch(58, base, base);
    // Hand-made patches name this very database, so only their records are at fault.
    const TDataBaseHashes hashes = *ReadPatchHeader(good).Hashes;
    TPatchWriter pastTheEnd(58, length, 10, hashes);
    pastTheEnd.Copy(Bytes(static_cast<std::size_t>(length) + 10), static_cast<std::size_t>(length), 10);
    TPatchWriter oversized(58, length, kMaxPatchedSize + 1, hashes);
    oversized.Add(Bytes(100, 'x'));
    Bytes garbled = good;
    garbled[kHashedPatchHeaderSize] = 0x7F;
    const Bytes truncated(good.begin(), good.end() - 3);

    std::vector<std::pair<std::string, std::string>> updates = {
        {"truncated patch", MakeRawUpdate("truncated.dat", truncated)},
        {"garbled patch", MakeRawUpdate("garbled.dat", garbled)},
        {"oversized patch", MakeRawUpdate("oversized.dat", oversized.Bytes())},
        {"copy past the old length", MakeRawUpdate("past.dat", pastTheEnd.Bytes())},
        {"patch header cut", MakeRawUpdate("header.dat", Bytes(good.begin(), good.begin() + 10))},
    };
    // An update that decrypts to garbage (signed all the same).
    const std::string garbage = downloads_ / "garbage.dat";
    WriteFileBytes(garbage, Bytes(5000, 0x5A));
    test::SignWithDigest(garbage);
    updates.emplace_back("decrypts to garbage", garbage);
    // A good update without a signature, and one with another file's signature.
    std::vector<TableContents> next = BaseTables();
    next[2].Columns[0].second[0] = "*evil*";
    const std::string unsigned_ = MakeUpdate("unsigned.dat", 58, next);
    RemoveFile(unsigned_ + ".sig");
    updates.emplace_back("unsigned", unsigned_);
    const std::string forged = MakeUpdate("forged.dat", 58, next);
    WriteFileBytes(forged + ".sig", ReadFileBytes(garbage + ".sig"));
    updates.emplace_back("wrongly signed", forged);
    const std::string emptySignature = MakeUpdate("empty-sig.dat", 58, next);
    WriteFileBytes(emptySignature + ".sig", Bytes());
    updates.emplace_back("empty signature", emptySignature);
    updates.emplace_back("missing file", downloads_ / "missing.dat");
    // Far larger than an update can be (a sparse file): refused by its size, before it is read.
    const std::string huge = downloads_ / "huge.dat";
    WriteFileBytes(huge, Bytes(10, 1));
    std::filesystem::resize_file(huge, kUpdateFileSizeLimit + 1);
    updates.emplace_back("too large", huge);

    const Bytes before = ReadFileBytes(DataBasePath());
    const TDataBase* tablesBefore = &tables_->DataBase();
    for (const auto& [name, path] : updates) {
        SCOPED_TRACE(name);
        EXPECT_THROW(Updater().Apply(path, *tables_), DataBaseError);
        ExpectUntouched(before, tablesBefore);
    }
    EXPECT_THROW(Updater().Apply(unsigned_, *tables_), UpdateSignatureError);
    EXPECT_THROW(Updater().Apply(forged, *tables_), UpdateSignatureError);
    EXPECT_THROW(Updater().Apply(downloads_ / "garbled.dat", *tables_), PatchError);
    try {
        Updater().Apply(huge, *tables_);
        ADD_FAILURE() << "a file beyond the update size limit was taken";
    } catch (const DataBaseError& error) {
        EXPECT_EQ(std::string(error.what()), "The file \"huge.dat\" is too large to be an update (" +
                                                 std::to_string(kUpdateFileSizeLimit + 1) +
                                                 " bytes), so it was not applied.");
    }
}

// The signed patch names the database it was made from and the one it makes: an update is
// refused for another database whatever the numbers say, and when it does not make what it names.
TEST_F(UpdateTest, AnUpdateAppliesOnlyToTheDataBaseItNames) {
    std::vector<TableContents> next = BaseTables();
    next[2].Columns[0].second.push_back("*ads*");
    std::vector<TableContents> other = BaseTables();
    other[0].Columns[0].second[0] = "1001";
    const std::string otherBase = downloads_ / "other.db";
    test::WriteDataBase(otherBase, other);

    const std::string good = MakeUpdate("update58.dat", 58, next);
    const Bytes patch = test::Unpacked(good);
    const TPatchHeader header = ReadPatchHeader(patch);
    Bytes wrongNew = patch;
    wrongNew[kPatchHeaderSize + 32 + 5] ^= 1;

    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"made from another database with the same number", MakeUpdate("other58.dat", 58, next, otherBase),
         "Can't update database with number 57 with update number 58: the update was made for another database."},
        {"a new digest the patch does not make", MakeRawUpdate("wrong58.dat", wrongNew),
         "The update \"wrong58.dat\" did not produce the database it names; nothing was changed."},
        {"no digests (an older tool)", MakeRawUpdate("old58.dat", test::WithoutDataBaseHashes(patch)),
         "The update \"old58.dat\" does not name the database it was made for, so it was not applied."},
    };
    const Bytes before = ReadFileBytes(DataBasePath());
    const TDataBase* tablesBefore = &tables_->DataBase();
    for (const auto& [name, path, message] : cases) {
        SCOPED_TRACE(name);
        try {
            Updater().Apply(path, *tables_);
            ADD_FAILURE() << "applied";
        } catch (const UpdateMismatchError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
        ExpectUntouched(before, tablesBefore);
    }
    // A patch without digests still tells its number when it is not the next one.
    options_.WriteInteger("DBNumber", 58);
    EXPECT_EQ(UpdateRefusalMessage(Updater().Apply(downloads_ / "old58.dat", *tables_)), "You have the latest update");
    options_.WriteInteger("DBNumber", 57);

    EXPECT_TRUE(Updater().Apply(good, *tables_).Applied);
    EXPECT_EQ(Sha256Of(test::Unpacked(DataBasePath())), header.Hashes->New);
}

TEST_F(UpdateTest, ACancelBetweenTheStepsLeavesNothing) {
    std::vector<TableContents> next = BaseTables();
    next[0].Columns[0].second[0] = "4242";
    const std::string update = MakeUpdate("update58.dat", 58, next);
    const Bytes before = ReadFileBytes(DataBasePath());
    // Cancelled at each of the steps in turn.
    int asked = 0;
    for (int cancelAt = 1; cancelAt <= 5; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        asked = 0;
        EXPECT_THROW(Updater().Prepare(update, [&] { return ++asked == cancelAt; }), UpdateCancelledError);
        EXPECT_EQ(asked, cancelAt);
        ExpectUntouched(before, &tables_->DataBase());
    }
    asked = 0;
    TPreparedUpdate prepared = Updater().Prepare(update, [&] { return ++asked > 5; });
    EXPECT_EQ(asked, 5);
    EXPECT_TRUE(Updater().Commit(std::move(prepared), *tables_).Applied);
}

// The name stored in the update's archive is a label: nothing is written under it.
TEST_F(UpdateTest, TheArchivedNameIsOnlyALabel) {
    std::vector<TableContents> next = BaseTables();
    next[1].Columns[0].second[0] = "label.exe";
    const Bytes patch = MakePatch(58, test::Unpacked(DataBasePath()),
                                  test::Unpacked(MakeUpdate("target.dat", 58, next) + ".target.db"));
    // Stored under a file name of the program folder: refused when it has a separator in it.
    const std::string separated = downloads_ / "separated.dat";
    test::WritePackedPatch(separated, patch, "sub_options.ini");
    Bytes file = ReadFileBytes(separated);
    TCipher(kDataBasePassPhrase).Decrypt(file);
    file[2 + 3] = '\\';
    TCipher(kDataBasePassPhrase).Encrypt(file);
    WriteFileBytes(separated, file);
    test::SignWithDigest(separated);
    const Bytes before = ReadFileBytes(DataBasePath());
    EXPECT_THROW(Updater().Apply(separated, *tables_), DataBaseError);
    ExpectUntouched(before, &tables_->DataBase());

    // In the program folder, stored under its own name: applied, and the file stays as it was.
    const std::string own = program_ / "u58.dat";
    test::WritePackedPatch(own, patch, "u58.dat");
    test::SignWithDigest(own);
    const Bytes ownBytes = ReadFileBytes(own);
    EXPECT_TRUE(Updater().Apply(own, *tables_).Applied);
    EXPECT_EQ(ReadFileBytes(own), ownBytes);
    EXPECT_EQ(test::Dump(tables_->DataBase()), test::DumpFile(downloads_ / "target.dat.target.db"));
    EXPECT_EQ(FilesIn(program_.Path()),
              (std::vector<std::string>{"database.db", "options.ini", "u58.dat", "u58.dat.sig"}));
}

TEST_F(UpdateTest, StaleWorkingFilesAreNeverTakenForTheUpdate) {
    // A patched database left by an interrupted run, and an update that is not the next one.
    test::WriteTextFile(program_ / std::string(kPatchedDataBaseName), "left over");
    const std::string update = MakeUpdate("update60.dat", 60, BaseTables());
    const Bytes before = ReadFileBytes(DataBasePath());
    EXPECT_FALSE(Updater().Apply(update, *tables_).Applied);
    ExpectUntouched(before, &tables_->DataBase());
}

TEST_F(UpdateTest, ANumberChangedBetweenTheHalvesRefusesTheCommit) {
    std::vector<TableContents> next = BaseTables();
    next[0].Columns[0].second[0] = "4242";
    const std::string update = MakeUpdate("update58.dat", 58, next);
    const TDataBaseUpdater updater = Updater();
    TPreparedUpdate prepared = updater.Prepare(update);
    // Between the halves something else moved the number on: the commit refuses.
    options_.WriteInteger("DBNumber", 60);
    const Bytes before = ReadFileBytes(DataBasePath());
    EXPECT_THROW(updater.Commit(std::move(prepared), *tables_), DataBaseError);
    EXPECT_EQ(ReadFileBytes(DataBasePath()), before);
    EXPECT_EQ(FilesIn(program_.Path()), (std::vector<std::string>{"database.db", "options.ini"}));
}

TEST_F(UpdateTest, TheBareDataBaseTakesTheUpdateToo) {
    std::vector<TableContents> next = BaseTables();
    next[1].Name = "Folders";
    const std::string update = MakeUpdate("update58.dat", 58, next);
    TDataBase dataBase(DataBasePath(), true, std::string(kDataBasePassPhrase));
    EXPECT_TRUE(dataBase.ApplyUpdate(update, options_, verifier_).Applied);
    EXPECT_EQ(test::Dump(dataBase), test::DumpFile(downloads_ / "update58.dat.target.db"));
    EXPECT_NE(dataBase.FindTable("Folders"), nullptr);
    EXPECT_EQ(DataBaseNumber(), 58);
}

}  // namespace
}  // namespace sentrel
