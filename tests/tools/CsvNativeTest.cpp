#include "sentrel-db/Csv.h"

#include <gtest/gtest.h>

#include "sentrel-db/TableCsv.h"

namespace sentrel::dbtool {
namespace {

using Fields = std::vector<std::string>;

std::vector<Fields> FieldsOf(std::string_view text) {
    std::vector<Fields> result;
    for (CsvRecord& record : ParseCsv(text)) result.push_back(std::move(record.Fields));
    return result;
}

// The 1-based line that ParseCsv blames for malformed text (0 when it accepts the text).
int FaultLine(std::string_view text) {
    try {
        ParseCsv(text);
    } catch (const CsvError& error) {
        return error.Line();
    }
    return 0;
}

TEST(Csv, QuotedFieldsKeepCommasDoubledQuotesAndLineBreaks) {
    EXPECT_EQ(FieldsOf("\"a,b\",\"say \"\"hi\"\"\",plain\n"), (std::vector<Fields>{{"a,b", "say \"hi\"", "plain"}}));
    // Line breaks inside quotes stay as they are, CR LF included; the record's line is its first.
    const auto records = ParseCsv("h\n\"one\ntwo\",\"x\r\ny\"\nnext\n");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].Fields, (Fields{"one\ntwo", "x\r\ny"}));
    EXPECT_EQ(records[1].Line, 2);
    EXPECT_EQ(records[2].Fields, Fields{"next"});
    EXPECT_EQ(records[2].Line, 5);  // after two line breaks inside quotes
    // Bytes are not re-encoded: system code page text and NUL bytes pass through.
    EXPECT_EQ(FieldsOf(std::string("\xC3\xA9t\xC3\xA9,\0x", 8)), (std::vector<Fields>{{"été", std::string("\0x", 2)}}));
    EXPECT_EQ(FieldsOf("\"\"\"\"\n"), std::vector<Fields>{{"\""}});
}

TEST(Csv, RecordsEndInCrLfOrLfAndTheLastLineEndIsOptional) {
    const std::vector<Fields> expected{{"a", "b"}, {"1", "2"}};
    EXPECT_EQ(FieldsOf("a,b\n1,2\n"), expected);
    EXPECT_EQ(FieldsOf("a,b\r\n1,2\r\n"), expected);
    EXPECT_EQ(FieldsOf("a,b\r\n1,2\n"), expected);
    EXPECT_EQ(FieldsOf("a,b\n1,2"), expected);
    EXPECT_EQ(FieldsOf("a,b\n\"1\",\"2\""), expected);
}

TEST(Csv, EmptyFieldsEmptyLinesAndEmptyText) {
    EXPECT_EQ(FieldsOf(",\n"), std::vector<Fields>{(Fields{"", ""})});
    EXPECT_EQ(FieldsOf("a,,\"\",b,"), std::vector<Fields>{(Fields{"a", "", "", "b", ""})});
    EXPECT_EQ(FieldsOf("\"\"\n"), std::vector<Fields>{Fields{""}});
    // An empty line is a record without fields; nothing after the last line end is no record.
    EXPECT_EQ(FieldsOf("a\n\nb\n"), (std::vector<Fields>{{"a"}, {}, {"b"}}));
    EXPECT_EQ(FieldsOf("\r\n"), std::vector<Fields>{Fields{}});
    EXPECT_TRUE(ParseCsv("").empty());
}

TEST(Csv, MalformedTextIsRefusedNamingItsLine) {
    EXPECT_EQ(FaultLine("a\nb\n\"open\nstill open"), 3);  // the line where the quoted field began
    EXPECT_EQ(FaultLine("a\nab\"c\n"), 2);
    EXPECT_EQ(FaultLine("\"a\"b,c\n"), 1);
    EXPECT_EQ(FaultLine("a\n\"x\ny\"z\n"), 3);
    // Text in another encoding than UTF-8 (here Windows-1252) is refused on its line.
    EXPECT_EQ(FaultLine("FILE_NAME\nOtch\xC3\xABt.exe\n\"a\nM\xFCller.exe\"\n"), 4);
    EXPECT_EQ(FaultLine("FILE_NAME\nОтчёт 报告 😀.exe\n"), 0);
    EXPECT_EQ(FaultLine("a\rb\n"), 1);
    EXPECT_EQ(FaultLine("a\nb\r"), 2);
    EXPECT_EQ(FaultLine("\xEF\xBB\xBFNAME\nx\n"), 1);
    EXPECT_EQ(FaultLine("\"a\r\"\n\"\xEF\xBB\xBF\"\n"), 0);
}

TEST(Csv, WrittenRecordsReadBackUnchanged) {
    std::string allBytes;
    for (int c = 0; c < 128; ++c) allBytes += static_cast<char>(c);
    allBytes += "Отчёт 报告 😀";
    const std::vector<Fields> records{
        {"FILE_NAME", "WITH SPACE", "comma,name"},
        {"", "", ""},
        {" lead", "trail ", "\"quoted\""},
        {"line\nbreak", "cr\rlf", "crlf\r\n"},
        {allBytes, "\xEF\xBB\xBFstart", "x"},
    };
    std::string text;
    for (const Fields& fields : records) AppendCsvRecord(text, fields);
    EXPECT_EQ(FieldsOf(text), records);

    // Shapes that an empty line could confuse: one empty field, and no field at all.
    for (const std::vector<Fields>& shape : {std::vector<Fields>{{""}, {""}}, std::vector<Fields>{{}, {}, {}}}) {
        std::string written;
        for (const Fields& fields : shape) AppendCsvRecord(written, fields);
        EXPECT_EQ(FieldsOf(written), shape);
    }
    std::string plain;
    AppendCsvRecord(plain, {"%7%\\", "1", "*@doubleclick*"});
    EXPECT_EQ(plain, "%7%\\,1,*@doubleclick*\n");  // nothing quoted that needs no quotes
}

// --- Tables ---------------------------------------------------------------------------------------

std::vector<std::string> ValuesOf(const TTable& table, std::string_view column) {
    const TColumn* found = table.FindColumn(column);
    if (found == nullptr) return {"<missing>"};
    return {found->Values().begin(), found->Values().end()};
}

TEST(TableCsv, TheHeaderNamesTheColumnsAndEachRecordIsARow) {
    std::vector<std::string> warnings;
    const auto table = TableFromCsv("Folders", "FILE_PATH,CAN_BE_DELETED\r\n%2%\\Gator\\,1\r\n\"a,b\",\r\n", warnings);
    EXPECT_EQ(table->Name(), "Folders");
    ASSERT_EQ(table->ColumnCount(), 2);
    EXPECT_EQ(table->GetColumn(0)->Name(), "FILE_PATH");
    EXPECT_EQ(table->GetColumn(1)->Name(), "CAN_BE_DELETED");
    EXPECT_EQ(table->RowCount(), 2);
    EXPECT_EQ(ValuesOf(*table, "FILE_PATH"), (std::vector<std::string>{"%2%\\Gator\\", "a,b"}));
    EXPECT_EQ(ValuesOf(*table, "CAN_BE_DELETED"), (std::vector<std::string>{"1", ""}));
    EXPECT_TRUE(warnings.empty());

    const auto headerOnly = TableFromCsv("Cookies", "FILES_MASK", warnings);
    EXPECT_EQ(headerOnly->ColumnCount(), 1);
    EXPECT_EQ(headerOnly->RowCount(), 0);
    const auto nothing = TableFromCsv("Empty", "", warnings);
    EXPECT_EQ(nothing->ColumnCount(), 0);
    EXPECT_EQ(nothing->RowCount(), 0);

    // A repeated column name is kept (and written back) but only the first is ever found.
    TableFromCsv("T", "CODE,code\n1,2\n", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("\"code\""), std::string::npos);
}

TEST(TableCsv, RowsWithMoreOrFewerFieldsThanTheHeaderAreErrorsAtTheirLine) {
    std::vector<std::string> warnings;
    const auto lineOf = [&](std::string_view text) {
        try {
            TableFromCsv("T", text, warnings);
        } catch (const CsvError& error) {
            return error.Line();
        }
        return 0;
    };
    EXPECT_EQ(lineOf("A,B\n1,2\n3\n"), 3);
    EXPECT_EQ(lineOf("A,B\n1,2,3\n"), 2);
    EXPECT_EQ(lineOf("A,B\n\"x\ny\",2\n\n"), 4);  // a stray empty line is a row without fields
    EXPECT_EQ(lineOf("A,B\n\"x\ny\",2\n"), 0);
}

TEST(TableCsv, WritingAndReadingBackKeepsTheTable) {
    TTable table("RegEntries");
    table.AddColumn(std::make_unique<TColumn>("REG_PATH"));
    table.AddColumn(std::make_unique<TColumn>("SPYWARE_REF"));
    const std::vector<std::vector<std::string>> rows{{"HKEY_CURRENT_USER\\Software\\X", "1"}, {"", ""},
                                                     {"two\r\nlines, \"quoted\"", "-7"}};
    for (const auto& cells : rows) {
        table.AddRow();
        for (int c = 0; c < 2; ++c) table.GetColumn(c)->SetString(table.RowCount() - 1, cells[c]);
    }
    std::vector<std::string> warnings;
    const auto back = TableFromCsv("RegEntries", TableToCsv(table, warnings), warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(back->RowCount(), 3);
    EXPECT_EQ(ValuesOf(*back, "REG_PATH"), ValuesOf(table, "REG_PATH"));
    EXPECT_EQ(ValuesOf(*back, "SPYWARE_REF"), ValuesOf(table, "SPYWARE_REF"));

    // Tables without columns still keep their row count; one empty column keeps its empty cells.
    TTable noColumns("NoColumns");
    for (int i = 0; i < 3; ++i) noColumns.AddRow();
    EXPECT_EQ(TableFromCsv("NoColumns", TableToCsv(noColumns, warnings), warnings)->RowCount(), 3);
    TTable oneColumn("One");
    oneColumn.AddColumn(std::make_unique<TColumn>(""));
    oneColumn.AddRow();
    oneColumn.AddRow();
    const auto oneBack = TableFromCsv("One", TableToCsv(oneColumn, warnings), warnings);
    EXPECT_EQ(oneBack->ColumnCount(), 1);
    EXPECT_EQ(oneBack->RowCount(), 2);
    EXPECT_TRUE(warnings.empty());
}

TEST(TableCsv, ColumnLengthsOtherThanTheRowCount) {
    // Loading keeps values past RowCount (and pads short columns); text can hold neither.
    TTable table("Odd");
    auto longer = std::make_unique<TColumn>("LONG");
    for (const char* value : {"a", "b", "c"}) {
        longer->AddEmptyValue();
        longer->SetString(longer->Count() - 1, value);
    }
    table.AddColumn(std::make_unique<TColumn>("SHORT"));
    table.AddRow();
    table.AddColumn(std::move(longer));
    ASSERT_EQ(table.RowCount(), 1);

    std::vector<std::string> warnings;
    const std::string text = TableToCsv(table, warnings);
    EXPECT_EQ(text, "SHORT,LONG\n,a\n");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("\"LONG\": 2 value(s)"), std::string::npos) << warnings[0];
}

}  // namespace
}  // namespace sentrel::dbtool
