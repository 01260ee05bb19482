#include "TableCsv.h"

#include "Csv.h"

namespace sentrel::dbtool {

namespace {

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

}  // namespace

std::unique_ptr<TTable> TableFromCsv(std::string name, std::string_view text, std::vector<std::string>& warnings) {
    std::vector<CsvRecord> records = ParseCsv(text);
    auto table = std::make_unique<TTable>(std::move(name));
    if (records.empty()) return table;

    const std::vector<std::string>& header = records.front().Fields;
    for (std::size_t c = 0; c < header.size(); ++c) {
        for (std::size_t earlier = 0; earlier < c; ++earlier) {
            if (SameNameIgnoringCase(header[earlier], header[c])) {
                warnings.push_back("table " + Quoted(table->Name()) + ": the column " + Quoted(header[c]) +
                                   " repeats " + Quoted(header[earlier]) + "; only the first one is ever read");
                break;
            }
        }
        table->AddColumn(std::make_unique<TColumn>(header[c]));
    }

    for (std::size_t r = 1; r < records.size(); ++r) {
        CsvRecord& record = records[r];
        if (record.Fields.size() != header.size())
            throw CsvError(record.Line, "the row has " + std::to_string(record.Fields.size()) +
                                            " fields, the header has " + std::to_string(header.size()));
        table->AddRow();
        const int row = table->RowCount() - 1;
        for (std::size_t c = 0; c < header.size(); ++c)
            table->GetColumn(static_cast<int>(c))->SetString(row, std::move(record.Fields[c]));
    }
    return table;
}

std::string TableToCsv(const TTable& table, std::vector<std::string>& warnings) {
    const int rows = table.RowCount();
    std::vector<const std::vector<std::string_view>*> columns;
    std::vector<std::string> fields;
    for (int c = 0; c < table.ColumnCount(); ++c) {
        const TColumn& column = *table.GetColumn(c);
        columns.push_back(&column.Values());
        fields.push_back(column.Name());
        if (column.Count() > rows)
            warnings.push_back("table " + Quoted(table.Name()) + ", column " + Quoted(column.Name()) + ": " +
                               std::to_string(column.Count() - rows) + " value(s) past the table's " +
                               std::to_string(rows) + " rows are left out (a text table cannot hold them)");
    }

    std::string out;
    AppendCsvRecord(out, fields);
    for (int r = 0; r < rows; ++r) {
        const auto row = static_cast<std::size_t>(r);
        for (std::size_t c = 0; c < columns.size(); ++c)
            fields[c] = row < columns[c]->size() ? std::string((*columns[c])[row]) : std::string();
        AppendCsvRecord(out, fields);
    }
    return out;
}

}  // namespace sentrel::dbtool
