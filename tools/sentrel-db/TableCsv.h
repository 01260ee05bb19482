#pragma once
// One threat table as CSV text: the first record names the columns in their stored order,
// every further record is one row.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/Table.h"

namespace sentrel::dbtool {

// Builds the table `name` from CSV text. A row with more or fewer fields than the header is an
// error (CsvError with the row's line); nothing is padded. Text with no record at all gives a
// table with no columns. Appends to `warnings` what the program would read differently from
// what the text says (a column name given twice: only the first is ever found).
std::unique_ptr<TTable> TableFromCsv(std::string name, std::string_view text, std::vector<std::string>& warnings);

// The CSV text of a table: its RowCount() rows. A column with fewer values is written with
// empty cells, as the program reads it after loading. Values past RowCount() cannot be
// written (a text table has one length); each such column adds a warning.
std::string TableToCsv(const TTable& table, std::vector<std::string>& warnings);

}  // namespace sentrel::dbtool
