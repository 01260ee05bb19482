// The lookup indexes and their tie to the tables they were built from.
#include <gtest/gtest.h>

#include <set>

#include "database/DataBaseError.h"
#include "database/Lookups.h"
#include "database/LookupTables.h"
#include "database/ThreatTables.h"

namespace sentrel {
namespace {

using test::MakeDataBase;
using test::MakeTable;

std::vector<std::int32_t> Rows(const TIntegerArray* rows) {
    std::vector<std::int32_t> values;
    if (rows != nullptr)
        for (int i = 0; i < rows->Count(); ++i) values.push_back(rows->Get(i));
    return values;
}

TEST(ThreatTables, ChecksumIndexHoldsEveryFileSizeTextWithItsRows) {
    const auto dataBase = MakeDataBase(MakeTable(
        "checksums",  // table names are found in any letter case
        {{"FILE_SIZE", {"4096", "40000", "4096", "", "4096"}}, {"SPYWARE_REF", {"1", "2", "3", "4", "5"}}}));
    const TLookupIndex index = BuildChecksumIndex(*dataBase);
    EXPECT_EQ(index.Count(), 3);
    EXPECT_EQ(Rows(index.Find("4096")), (std::vector<std::int32_t>{0, 2, 4}));
    EXPECT_EQ(Rows(index.Find("40000")), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(Rows(index.Find("")), (std::vector<std::int32_t>{3}));  // empty texts are indexed too
    EXPECT_EQ(index.Find("409"), nullptr);

    // Without the table or the column: empty.
    EXPECT_EQ(BuildChecksumIndex(*MakeDataBase()).Count(), 0);
    EXPECT_EQ(BuildChecksumIndex(*MakeDataBase(MakeTable("Checksums", {{"SIZE", {"4096"}}}))).Count(), 0);
}

TEST(ThreatTables, FileNameIndexIgnoresLetterCaseAndCountsTheCodeColumn) {
    // Two rows; CODE holds a third value past the row count (kept, as after loading).
    const auto dataBase = MakeDataBase(MakeTable("PrimaryFiles", 2,
                                                 {{"FILE_NAME", {"Gator.exe", "GATOR.EXE"}},
                                                  {"SPYWARE_REF", {"1", "1"}},
                                                  {"CODE", {"G-1", "G-2", "G-3"}}}));
    const TLookupIndex index = BuildFileNameIndex(*dataBase);
    EXPECT_EQ(Rows(index.Find("gator.exe")), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(Rows(index.Find("GaToR.ExE")), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(Rows(index.Find("")), (std::vector<std::int32_t>{2}));  // the third CODE value's row
    EXPECT_EQ(index.Count(), 2);

    // Without CODE nothing is indexed; without FILE_NAME every row is under the empty text.
    EXPECT_EQ(BuildFileNameIndex(*MakeDataBase(MakeTable("PrimaryFiles", {{"FILE_NAME", {"a.exe"}}}))).Count(), 0);
    const TLookupIndex noNames = BuildFileNameIndex(*MakeDataBase(MakeTable("PrimaryFiles", {{"CODE", {"1", "2"}}})));
    EXPECT_EQ(Rows(noNames.Find("")), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(BuildFileNameIndex(*MakeDataBase()).Count(), 0);
}

std::unique_ptr<TTable> PrimaryFiles(std::vector<std::string> names, std::vector<std::string> refs) {
    std::vector<std::string> codes(names.size(), "C");
    return MakeTable("PrimaryFiles", {{"FILE_NAME", std::move(names)}, {"SPYWARE_REF", std::move(refs)},
                                      {"PATH_REF", {}}, {"CODE", std::move(codes)}});
}

// The fault mended here: indexes built from one set of tables used with another give row numbers
// of the wrong rows (or past the end). Every change goes through TThreatTables, which rebuilds.
TEST(ThreatTables, ReplacingOrChangingTheTablesRebuildsTheIndexes) {
    TThreatTables tables(MakeDataBase(PrimaryFiles({"a.exe", "b.exe"}, {"10", "20"})));
    // Every state of the tables has a generation of its own (no other tables share it), so a
    // walk spanning several ticks sees the change.
    std::set<std::uint64_t> generations{tables.Generation()};
    const TThreatTables other(MakeDataBase(PrimaryFiles({"a.exe"}, {"10"})));
    EXPECT_TRUE(generations.insert(other.Generation()).second);
    int row = -1;
    EXPECT_EQ(FindByFileName(tables, "C:\\b.exe", row).SpywareRef, 20);
    EXPECT_EQ(row, 1);

    // An update brings other tables: b.exe moves to row 0, a.exe is gone.
    tables.Replace(MakeDataBase(PrimaryFiles({"b.exe", "c.exe"}, {"21", "30"})));
    TLookupResult result = FindByFileName(tables, "C:\\b.exe", row);
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.SpywareRef, 21);
    EXPECT_EQ(row, 0);
    EXPECT_FALSE(FindByFileName(tables, "C:\\a.exe", row).Found);
    EXPECT_EQ(Rows(tables.FileNameIndex().Find("c.exe")), (std::vector<std::int32_t>{1}));
    EXPECT_TRUE(generations.insert(tables.Generation()).second);

    // A change in place, through Change().
    tables.Change([](TDataBase& dataBase) {
        dataBase.Clear();
        dataBase.AddTable(PrimaryFiles({"x.exe", "y.exe", "c.exe"}, {"40", "50", "31"}));
    });
    EXPECT_EQ(FindByFileName(tables, "C:\\c.exe", row).SpywareRef, 31);
    EXPECT_EQ(row, 2);
    EXPECT_FALSE(FindByFileName(tables, "C:\\b.exe", row).Found);
    EXPECT_TRUE(generations.insert(tables.Generation()).second);

    // A change that fails part-way still leaves indexes of the tables as they now are.
    EXPECT_THROW(tables.Change([](TDataBase& dataBase) {
        dataBase.Clear();
        dataBase.AddTable(PrimaryFiles({"z.exe"}, {"60"}));
        throw DataBaseError("damaged update");
    }),
                 DataBaseError);
    EXPECT_EQ(FindByFileName(tables, "C:\\z.exe", row).SpywareRef, 60);
    EXPECT_FALSE(FindByFileName(tables, "C:\\c.exe", row).Found);
    EXPECT_EQ(tables.FileNameIndex().Count(), 1);
    EXPECT_TRUE(generations.insert(tables.Generation()).second);

    EXPECT_THROW(TThreatTables(nullptr), std::invalid_argument);
    EXPECT_THROW(tables.Replace(nullptr), std::invalid_argument);
    EXPECT_EQ(FindByFileName(tables, "C:\\z.exe", row).SpywareRef, 60);
}

}  // namespace
}  // namespace sentrel
