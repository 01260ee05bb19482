#include "Csv.h"

#include "common/Utf8Text.h"

namespace sentrel::dbtool {

namespace {

bool NeedsQuotes(std::string_view field) {
    // A leading byte order mark is quoted so that a file never starts with one.
    return field.find_first_of(",\"\r\n") != std::string_view::npos || field.starts_with(kUtf8ByteOrderMark);
}

class CsvReader {
public:
    explicit CsvReader(std::string_view text) : text_(text) {}

    std::vector<CsvRecord> ReadAll() {
        if (text_.starts_with(kUtf8ByteOrderMark))
            throw CsvError(1, "the text starts with a UTF-8 byte order mark; save it without one "
                              "(cells are stored as the bytes of the file)");
        CheckUtf8();
        std::vector<CsvRecord> records;
        while (!AtEnd()) records.push_back(ReadRecord());
        return records;
    }

private:
    // The cells are stored as UTF-8, so the text must be UTF-8: a table saved in another
    // encoding is refused on the line of its first stray byte.
    void CheckUtf8() const {
        int line = 1;
        std::size_t at = 0;
        while (at < text_.size()) {
            const std::size_t start = at;
            if (NextCodePoint(text_, at) >= kStrayByteBase) {
                throw CsvError(line, "byte 0x" + HexByte(text_[start]) +
                                         " is not UTF-8; tables are UTF-8 text: save the file as UTF-8");
            }
            if (text_[start] == '\n') ++line;
        }
    }

    static std::string HexByte(char c) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        return {kDigits[byte >> 4], kDigits[byte & 0xF]};
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    // At a CR or LF: consumes the line end (CR LF or LF).
    void ConsumeLineEnd() {
        if (Peek() == '\r') {
            if (pos_ + 1 >= text_.size() || text_[pos_ + 1] != '\n')
                throw CsvError(line_, "a carriage return outside quotes that is not followed by a line feed");
            ++pos_;
        }
        ++pos_;
        ++line_;
    }

    CsvRecord ReadRecord() {
        CsvRecord record;
        record.Line = line_;
        if (Peek() == '\n' || Peek() == '\r') {
            ConsumeLineEnd();
            return record;
        }
        for (;;) {
            record.Fields.push_back(ReadField());
            if (AtEnd()) return record;
            if (Peek() == ',') {
                ++pos_;
                continue;
            }
            ConsumeLineEnd();
            return record;
        }
    }

    std::string ReadField() {
        std::string field;
        if (!AtEnd() && Peek() == '"') {
            const int startLine = line_;
            ++pos_;
            for (;;) {
                if (AtEnd()) throw CsvError(startLine, "a quoted field is not closed");
                const char c = text_[pos_++];
                if (c == '"') {
                    if (AtEnd() || Peek() != '"') break;
                    ++pos_;
                } else if (c == '\n') {
                    ++line_;
                }
                field += c;
            }
            if (!AtEnd() && Peek() != ',' && Peek() != '\n' && Peek() != '\r')
                throw CsvError(line_, "text after the closing quote of a field");
            return field;
        }
        const std::size_t start = pos_;
        while (!AtEnd() && Peek() != ',' && Peek() != '\n' && Peek() != '\r') {
            if (Peek() == '"')
                throw CsvError(line_, "a quote inside an unquoted field (quote the field and double it)");
            ++pos_;
        }
        field.assign(text_.substr(start, pos_ - start));
        return field;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

std::vector<CsvRecord> ParseCsv(std::string_view text) {
    return CsvReader(text).ReadAll();
}

void AppendCsvRecord(std::string& out, const std::vector<std::string>& fields) {
    if (fields.size() == 1 && fields.front().empty()) {
        out += "\"\"\n";  // an empty line would read as a record with no fields
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out += ',';
        const std::string& field = fields[i];
        if (!NeedsQuotes(field)) {
            out += field;
            continue;
        }
        out += '"';
        for (const char c : field) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    out += '\n';
}

}  // namespace sentrel::dbtool
