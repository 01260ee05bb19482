#include "database/Table.h"

#include <gtest/gtest.h>

#include "database/LookupTables.h"

#include "common/StoredText.h"
#include "database/DataBaseError.h"
#include "database/IntegerArray.h"

namespace sentrel {
namespace {

std::unique_ptr<TColumn> MakeColumn(std::string name, std::vector<std::string> values) {
    auto column = std::make_unique<TColumn>(std::move(name));
    for (auto& value : values) {
        column->AddEmptyValue();
        column->SetString(column->Count() - 1, std::move(value));
    }
    return column;
}

std::vector<std::uint8_t> Serialise(const TTable& table) {
    std::vector<std::uint8_t> bytes;
    ByteWriter writer(bytes);
    table.SaveToStream(writer);
    return bytes;
}

// A serialised table written by hand: name, column count, row count, then columns.
struct StreamBuilder {
    std::vector<std::uint8_t> bytes;
    ByteWriter writer{bytes};
    StreamBuilder& Int(std::int32_t value) {
        writer.WriteInt32(value);
        return *this;
    }
    StreamBuilder& Str(std::string_view text) {
        writer.WriteString(text);
        return *this;
    }
};

TEST(TableCells, IntegersAreSigned32BitDecimalAndNothingElse) {
    const std::pair<const char*, std::int32_t> good[] = {
        {"0", 0}, {"42", 42}, {"+7", 7}, {"-1", -1}, {"007", 7}, {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1}, {"-0", 0}};
    for (const auto& [text, expected] : good) {
        std::int32_t value = 99;
        EXPECT_TRUE(ParseInt32(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    for (const char* text : {"", "abc", "+", "-", "+-1", " 1", "1 ", "1a", "0x10", "$10", "1.0", "2147483648",
                             "-2147483649", "99999999999999999999999"}) {
        std::int32_t value = 0;
        EXPECT_FALSE(ParseInt32(text, value)) << text;
    }
}

TEST(TableCells, ColumnReadsAndWritesOnlyExistingRows) {
    auto column = MakeColumn("SPYWARE_REF", {"12", "abc", ""});
    std::int32_t value = -5;
    std::string text = "old";
    EXPECT_TRUE(column->GetInt(0, value));
    EXPECT_EQ(value, 12);
    EXPECT_FALSE(column->GetInt(1, value));  // letters
    EXPECT_FALSE(column->GetInt(2, value));  // empty text
    EXPECT_TRUE(column->GetString(2, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(column->GetString(3, text));
    EXPECT_FALSE(column->GetString(-1, text));
    EXPECT_FALSE(column->GetInt(3, value));

    column->SetString(3, "ignored");
    column->SetString(-1, "ignored");
    column->SetString(1, "77");
    EXPECT_EQ(column->Count(), 3);
    EXPECT_TRUE(column->GetInt(1, value));
    EXPECT_EQ(value, 77);
}

// Cells point into the column's own store: texts set again and again, a move of the column and
// a load over it must leave every cell its own text (the sanitizers see a dangling one).
TEST(TableCells, CellsKeepTheirTextsThroughRewritesMovesAndLoads) {
    TColumn column("NAME");
    for (int i = 0; i < 3; ++i) column.AddEmptyValue();
    column.SetString(0, "first cell, long enough to need its own heap block");
    column.SetString(2, "third");
    for (int i = 0; i < 2000; ++i) column.SetString(1, std::string(500, static_cast<char>('a' + i % 26)) + std::to_string(i));
    TColumn moved = std::move(column);
    EXPECT_EQ(test::Texts(moved), (std::vector<std::string>{"first cell, long enough to need its own heap block",
                                                             std::string(500, 'x') + "1999", "third"}));

    std::vector<std::uint8_t> bytes;
    ByteWriter writer(bytes);
    moved.SaveToStream(writer);
    ByteReader reader(bytes);
    TColumn loaded("OLD");
    loaded.AddEmptyValue();
    loaded.SetString(0, "replaced by the load");
    loaded.LoadFromStream(reader);
    EXPECT_EQ(test::Texts(loaded), test::Texts(moved));
}

TEST(TableRows, AddColumnPadsToRowCountAndKeepsLongerColumns) {
    TTable table("Folders");
    table.AddColumn(MakeColumn("FILE_PATH", {}));
    table.AddRow();
    table.AddRow();
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.GetColumn(0)->Count(), 2);

    TColumn& shorter = table.AddColumn(MakeColumn("SPYWARE_REF", {"5"}));
    EXPECT_EQ(shorter.Count(), 2);
    EXPECT_EQ(shorter.Values()[1], "");
    TColumn& longer = table.AddColumn(MakeColumn("CAN_BE_DELETED", {"1", "0", "1", "0"}));
    EXPECT_EQ(longer.Count(), 4);
    EXPECT_EQ(table.RowCount(), 2);

    table.AddRow();
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.GetColumn(0)->Count(), 3);
    EXPECT_EQ(table.GetColumn(1)->Count(), 3);
    EXPECT_EQ(table.GetColumn(2)->Count(), 5);
    EXPECT_EQ(table.GetColumn(3), nullptr);
    EXPECT_EQ(table.GetColumn(-1), nullptr);
}

TEST(TableRows, ColumnsAreFoundInAnyLetterCaseAndMissingOnesReportFailure) {
    TTable table("PrimaryFiles");
    table.AddColumn(MakeColumn("FILE_NAME", {"evil.exe", "bad.dll"}));
    table.AddColumn(MakeColumn("PATH_REF", {"3", "x"}));
    table.AddColumn(MakeColumn("file_name", {"second"}));  // a later column of the same name is never found

    EXPECT_EQ(table.FindColumn("file_name"), table.GetColumn(0));
    EXPECT_EQ(table.FindColumn("Path_Ref"), table.GetColumn(1));
    EXPECT_EQ(table.FindColumn("PATH"), nullptr);

    std::int32_t value = 9;
    std::string text = "old";
    EXPECT_TRUE(table.GetInt(0, "path_ref", value));
    EXPECT_EQ(value, 3);
    EXPECT_FALSE(table.GetInt(1, "PATH_REF", value));
    EXPECT_FALSE(table.GetInt(0, "CODE", value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(table.GetString(1, "FILE_NAME", text));
    EXPECT_EQ(text, "bad.dll");
    EXPECT_FALSE(table.GetString(0, "CODE", text));
    EXPECT_EQ(text, "");
}

TEST(TableStream, AColumnWrittenInTheOldCodePageLoadsAsUtf8) {
    if (LegacyCodePage() != 1252) GTEST_SKIP() << "the expected texts are those of Windows-1252";
    for (const auto& [stored, loaded] : {std::pair<std::string, std::string>{"M\xFCller.exe", "Müller.exe"},
                                         {"Отчёт 报告 😀.exe", "Отчёт 报告 😀.exe"}}) {
        TColumn column("FILE_NAME");
        column.AddEmptyValue();
        column.AddEmptyValue();
        column.SetString(0, stored);
        column.SetString(1, "plain.exe");
        std::vector<std::uint8_t> bytes;
        ByteWriter writer(bytes);
        column.SaveToStream(writer);
        ByteReader reader(bytes);
        TColumn read("OLD");
        read.LoadFromStream(reader);
        EXPECT_EQ(test::Texts(read), (std::vector<std::string>{loaded, "plain.exe"}));
    }
}

TEST(TableRows, NamesCompareWithoutCaseInAnyScript) {
    EXPECT_EQ(CompareNamesIgnoringCase("Checksums", "CHECKSUMS"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("Checksums", "cookies"), 0);
    EXPECT_GT(CompareNamesIgnoringCase("folders", "Cookies"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("Folder", "folders"), 0);
    EXPECT_LT(CompareNamesIgnoringCase("_", "a"), 0);  // '_' sorts before letters, as lower case
    EXPECT_TRUE(SameNameIgnoringCase("ÄRGER", "ärger"));
    EXPECT_FALSE(SameNameIgnoringCase("\xC4", "\xE4"));  // bytes that are not UTF-8 are not folded
    EXPECT_LT(CompareNamesIgnoringCase("z", "\xE4"), 0);  // bytes compare unsigned
}

TEST(TableStream, SavedTableLoadsBackWithItsExtraValues) {
    TTable table("RegEntries");
    table.AddColumn(MakeColumn("REG_PATH", {"HKEY_LOCAL_MACHINE\\Software\\x", ""}));
    table.AddRow();
    table.AddRow();
    table.AddColumn(MakeColumn("SPYWARE_REF", {"1", "2", "3"}));

    const auto bytes = Serialise(table);
    ByteReader reader(bytes);
    TTable loaded;
    loaded.LoadFromStream(reader);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(loaded.Name(), "RegEntries");
    EXPECT_EQ(loaded.RowCount(), 2);
    ASSERT_EQ(loaded.ColumnCount(), 2);
    // The first column got two more values from AddRow, the second is longer than the rows.
    EXPECT_EQ(test::Texts(*loaded.GetColumn(0)),
              (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\x", "", "", ""}));
    EXPECT_EQ(test::Texts(*loaded.GetColumn(1)), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Serialise(loaded), bytes);
}

TEST(TableStream, ShortColumnsArePaddedOnLoadAndTheLayoutIsLittleEndian) {
    StreamBuilder in;
    in.Str("Cookies").Int(2).Int(3);
    in.Str("FILES_MASK").Int(1).Str("*doubleclick*");
    in.Str("SPYWARE_REF").Int(4).Str("1").Str("2").Str("3").Str("4");
    ByteReader reader(in.bytes);
    TTable table;
    table.LoadFromStream(reader);
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(test::Texts(*table.FindColumn("FILES_MASK")), (std::vector<std::string>{"*doubleclick*", "", ""}));
    EXPECT_EQ(table.FindColumn("SPYWARE_REF")->Count(), 4);

    const auto out = Serialise(table);
    const std::vector<std::uint8_t> head = {7, 0, 0, 0, 'C', 'o', 'o', 'k', 'i', 'e', 's', 2, 0, 0, 0, 3, 0, 0, 0};
    ASSERT_GT(out.size(), head.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), out.begin()));
    // The padded column is written with its three values.
    StreamBuilder expected;
    expected.Str("Cookies").Int(2).Int(3);
    expected.Str("FILES_MASK").Int(3).Str("*doubleclick*").Str("").Str("");
    expected.Str("SPYWARE_REF").Int(4).Str("1").Str("2").Str("3").Str("4");
    EXPECT_EQ(out, expected.bytes);
}

TEST(TableStream, DamagedStreamsAreRefusedWithoutReadingPastTheEnd) {
    TTable table("Checksums");
    table.AddColumn(MakeColumn("FILE_SIZE", {"1024", "2048"}));
    table.AddRow();
    table.AddColumn(MakeColumn("SPYWARE_REF", {"7"}));
    const auto bytes = Serialise(table);
    // Every proper prefix ends inside a field.
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        ByteReader reader(prefix);
        TTable loaded;
        EXPECT_THROW(loaded.LoadFromStream(reader), DataBaseError) << size;
    }

    auto refused = [](const StreamBuilder& in) {
        ByteReader reader(in.bytes);
        TTable loaded;
        EXPECT_THROW(loaded.LoadFromStream(reader), DataBaseError);
    };
    refused(StreamBuilder().Int(-1));                                    // negative name length
    refused(StreamBuilder().Int(0x7fffffff));                            // name longer than the data
    refused(StreamBuilder().Str("T").Int(-1).Int(0));                    // negative column count
    refused(StreamBuilder().Str("T").Int(0x10000000).Int(0));            // columns the data cannot hold
    refused(StreamBuilder().Str("T").Int(0).Int(-3));                    // negative row count
    refused(StreamBuilder().Str("T").Int(1).Int(0).Str("C").Int(-2));    // negative value count
    refused(StreamBuilder().Str("T").Int(1).Int(0).Str("C").Int(0x20000000).Int(0));  // values beyond the end
    // A huge row count over an empty column would need billions of padded cells.
    refused(StreamBuilder().Str("T").Int(1).Int(0x7fffffff).Str("C").Int(0));

    // A huge row count without columns costs nothing and is kept.
    StreamBuilder noColumns;
    noColumns.Str("T").Int(0).Int(0x7fffffff);
    ByteReader reader(noColumns.bytes);
    TTable loaded;
    loaded.LoadFromStream(reader);
    EXPECT_EQ(loaded.RowCount(), 0x7fffffff);
    EXPECT_THROW(loaded.AddRow(), DataBaseError);
}

TEST(IntegerArray, GrowsByOneAndChecksIndexes) {
    TIntegerArray array;
    EXPECT_EQ(array.Count(), 0);
    EXPECT_THROW(array.Get(0), std::out_of_range);
    for (std::int32_t i = 0; i < 1000; ++i) array.Add(i * 3 - 5);
    EXPECT_EQ(array.Count(), 1000);
    EXPECT_EQ(array.Get(0), -5);
    EXPECT_EQ(array.Get(999), 2992);
    EXPECT_THROW(array.Get(1000), std::out_of_range);
    EXPECT_THROW(array.Get(-1), std::out_of_range);
}

}  // namespace
}  // namespace sentrel
