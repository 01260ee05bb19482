#pragma once
// The text form of the threat tables: comma-separated records as RFC 4180 has them. Fields
// may be quoted; a quote inside a quoted field is doubled; quoted fields may hold commas and
// line breaks. Records end in CR LF or LF; the last one may lack its line end. The text is UTF-8
// and its bytes are kept exactly as they are: the tables' cells are UTF-8.
//
// An empty line is a record with no fields; a record of one empty field is written `""`.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::dbtool {

// Malformed text; Line() is the 1-based line where the fault is.
class CsvError : public std::runtime_error {
public:
    CsvError(int line, const std::string& message) : std::runtime_error(message), line_(line) {}
    int Line() const { return line_; }

private:
    int line_;
};

struct CsvRecord {
    int Line = 0;  // 1-based line on which the record starts
    std::vector<std::string> Fields;
};

// Splits a whole text into records. Throws CsvError for an unclosed quoted field, a quote
// inside an unquoted field, text after a closing quote, a carriage return that is not part
// of a line end outside quotes, a leading UTF-8 byte order mark, and bytes that are not UTF-8
// (on the line of the first of them).
std::vector<CsvRecord> ParseCsv(std::string_view text);

// Appends one record and an LF, quoting the fields that need it.
void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields);

}  // namespace sentrel::dbtool
