#pragma once
// The tables of the threat database: named tables of named text columns. Every cell is text;
// integers are parsed when they are read. Cells are UTF-8 (cells of a database file written in
// the system's old code page are converted when loaded). Names and cells are compared without
// regard to letter case, the same on every system (common/TextCase.h).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/TextCase.h"
#include "database/ByteStream.h"

namespace sentrel {

// Compares two names without regard to letter case: <0, 0 or >0.
inline int CompareNamesIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return CompareIgnoringCase(a, b);
}
inline bool SameNameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return CompareIgnoringCase(a, b) == 0;
}

// Parses a cell as a signed 32-bit decimal integer: an optional sign and digits, nothing else.
// Empty text, any other character and values outside the 32-bit range give false.
bool ParseInt32(std::string_view text, std::int32_t& value) noexcept;

// The bytes of a column's cells. Its blocks never move, so views into them stay valid as long as
// the store lives, also when the column that owns it is moved. A loaded column keeps all its
// text in one block: one allocation per column rather than one per long cell.
class TCellStore {
public:
    // Copies the text into the store and returns a view of the copy (empty text takes nothing).
    std::string_view Keep(std::string_view text);
    // Makes room for `bytes` more bytes in one block.
    void Reserve(std::size_t bytes);

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

class TColumn {
public:
    TColumn() = default;
    explicit TColumn(std::string name) : name_(std::move(name)) {}
    // The cells point into the column's own store: a column moves, it is not copied.
    TColumn(const TColumn&) = delete;
    TColumn& operator=(const TColumn&) = delete;
    TColumn(TColumn&&) noexcept = default;
    TColumn& operator=(TColumn&&) noexcept = default;

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // The row's cell as an integer; false (value 0) for a row outside 0..Count()-1 or a cell
    // that is not a signed 32-bit decimal integer.
    bool GetInt(int row, std::int32_t& value) const;
    // The row's text; false (text empty) only for a row outside 0..Count()-1.
    bool GetString(int row, std::string& text) const;
    // Sets the row's text; does nothing for a row outside 0..Count()-1.
    void SetString(int row, std::string_view text);
    void AddEmptyValue() { values_.emplace_back(); }
    int Count() const { return static_cast<int>(values_.size()); }
    // Direct read access for the lookup indexes (no copy per cell); the views live as long as
    // the column and its cells are not set again.
    const std::vector<std::string_view>& Values() const { return values_; }
    void Reserve(std::size_t count) { values_.reserve(count); }

    // Name, value count and the values, as in the serialised tables. Loading replaces the name
    // and the values; a damaged stream throws DataBaseError.
    void LoadFromStream(ByteReader& reader);
    void SaveToStream(ByteWriter& writer) const;

private:
    std::string name_;
    std::vector<std::string_view> values_;
    TCellStore store_;
    // Bytes of the store that no cell shows any more (texts set again); past a bound the
    // store is made anew.
    std::size_t replacedBytes_ = 0;
};

class TTable {
public:
    TTable() = default;
    explicit TTable(std::string name) : name_(std::move(name)) {}

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    std::int32_t RowCount() const { return rowCount_; }
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    // The column at an index in the order of adding; nullptr outside 0..ColumnCount()-1.
    TColumn* GetColumn(int index);
    const TColumn* GetColumn(int index) const;

    // Fills the column up with empty values until it has RowCount() values (a longer column
    // keeps its extra values), appends it and takes ownership. Returns the column.
    TColumn& AddColumn(std::unique_ptr<TColumn> column);
    // Appends one empty value to every column and increments RowCount().
    void AddRow();

    // The first column of that name (any letter case), or nullptr.
    TColumn* FindColumn(std::string_view name);
    const TColumn* FindColumn(std::string_view name) const;

    // False with value 0 when the column is missing; false when the cell is not an integer.
    bool GetInt(int row, std::string_view column, std::int32_t& value) const;
    // False with empty text only when the column is missing (or the row is outside it).
    bool GetString(int row, std::string_view column, std::string& text) const;

    // Name, column count, RowCount and the columns, as in the serialised tables. Loading
    // replaces the whole table and pads short columns; a damaged stream throws DataBaseError.
    void LoadFromStream(ByteReader& reader);
    void SaveToStream(ByteWriter& writer) const;

private:
    std::string name_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    std::int32_t rowCount_ = 0;
};

}  // namespace sentrel
