#include "database/Table.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/StoredText.h"
#include "common/Utf8Text.h"
#include "database/DataBaseError.h"

namespace sentrel {

bool ParseInt32(std::string_view text, std::int32_t& value) noexcept {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return false;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit) return false;
    }
    const std::int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max()) return false;
    value = static_cast<std::int32_t>(result);
    return true;
}

// --- TCellStore --------------------------------------------------------------------------------

namespace {

// Texts set one by one share blocks of this size (a longer text gets a block of its own).
constexpr std::size_t kCellBlockSize = 16 * 1024;
// A column whose replaced texts take more than this, and more than its live texts, is compacted.
constexpr std::size_t kReplacedBytesBound = 64 * 1024;

}  // namespace

void TCellStore::Reserve(std::size_t bytes) {
    if (bytes <= left_) return;
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(bytes));
    free_ = blocks_.back().get();
    left_ = bytes;
}

std::string_view TCellStore::Keep(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > left_) Reserve(std::max(kCellBlockSize, text.size()));
    char* kept = free_;
    std::memcpy(kept, text.data(), text.size());
    free_ += text.size();
    left_ -= text.size();
    return {kept, text.size()};
}

// --- TColumn -----------------------------------------------------------------------------------

bool TColumn::GetInt(int row, std::int32_t& value) const {
    value = 0;
    if (row < 0 || row >= Count()) return false;
    return ParseInt32(values_[static_cast<std::size_t>(row)], value);
}

bool TColumn::GetString(int row, std::string& text) const {
    if (row < 0 || row >= Count()) {
        text.clear();
        return false;
    }
    text = values_[static_cast<std::size_t>(row)];
    return true;
}

void TColumn::SetString(int row, std::string_view text) {
    if (row < 0 || row >= Count()) return;
    std::string_view& cell = values_[static_cast<std::size_t>(row)];
    replacedBytes_ += cell.size();
    cell = store_.Keep(text);
    if (replacedBytes_ <= kReplacedBytesBound) return;
    std::size_t live = 0;
    for (const std::string_view value : values_) live += value.size();
    if (replacedBytes_ <= live) return;
    TCellStore fresh;
    fresh.Reserve(live);
    for (std::string_view& value : values_) value = fresh.Keep(value);
    store_ = std::move(fresh);
    replacedBytes_ = 0;
}

void TColumn::LoadFromStream(ByteReader& reader) {
    std::string name = reader.ReadString();
    // Every value takes at least its 4-byte length.
    const std::int32_t count = reader.ReadCount(4, "value count");
    // The cells are read as views into the stream first, then copied into one block together.
    std::vector<std::string_view> values;
    values.reserve(static_cast<std::size_t>(count));
    std::size_t bytes = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        values.push_back(reader.ReadStringView());
        bytes += values.back().size();
    }
    // A column with text that is not UTF-8 was written in the system's old code page. The cells
    // lie one after the other in the stream: when that whole stretch (lengths included) is
    // ASCII, no cell needs a closer look.
    const bool ascii = values.empty() || IsAscii(std::string_view(values.front().data(),
                                                                  static_cast<std::size_t>(values.back().data() +
                                                                                           values.back().size() -
                                                                                           values.front().data())));
    const bool utf8 = ascii || std::all_of(values.begin(), values.end(), [](std::string_view v) { return IsValidUtf8(v); });
    std::vector<std::string> converted;
    if (!utf8) {
        const unsigned codePage = LegacyCodePage();
        converted.reserve(values.size());
        bytes = 0;
        for (std::string_view& value : values) {
            converted.push_back(Utf8FromCodePage(value, codePage));
            value = converted.back();
            bytes += value.size();
        }
    }
    TCellStore store;
    store.Reserve(bytes);
    for (std::string_view& value : values) value = store.Keep(value);
    name_ = std::move(name);
    values_ = std::move(values);
    store_ = std::move(store);
    replacedBytes_ = 0;
}

void TColumn::SaveToStream(ByteWriter& writer) const {
    writer.WriteString(name_);
    writer.WriteInt32(Count());
    for (const std::string_view value : values_) writer.WriteString(value);
}

// --- TTable ------------------------------------------------------------------------------------

TColumn* TTable::GetColumn(int index) {
    if (index < 0 || index >= ColumnCount()) return nullptr;
    return columns_[static_cast<std::size_t>(index)].get();
}

const TColumn* TTable::GetColumn(int index) const {
    return const_cast<TTable*>(this)->GetColumn(index);
}

TColumn& TTable::AddColumn(std::unique_ptr<TColumn> column) {
    if (!column) throw std::invalid_argument("TTable::AddColumn: no column");
    if (column->Count() < rowCount_) {
        column->Reserve(static_cast<std::size_t>(rowCount_));
        while (column->Count() < rowCount_) column->AddEmptyValue();
    }
    columns_.push_back(std::move(column));
    return *columns_.back();
}

void TTable::AddRow() {
    if (rowCount_ == std::numeric_limits<std::int32_t>::max())
        throw DataBaseError("the table \"" + name_ + "\" cannot take another row");
    for (auto& column : columns_) column->AddEmptyValue();
    ++rowCount_;
}

TColumn* TTable::FindColumn(std::string_view name) {
    for (auto& column : columns_) {
        if (SameNameIgnoringCase(column->Name(), name)) return column.get();
    }
    return nullptr;
}

const TColumn* TTable::FindColumn(std::string_view name) const {
    return const_cast<TTable*>(this)->FindColumn(name);
}

bool TTable::GetInt(int row, std::string_view column, std::int32_t& value) const {
    value = 0;
    const TColumn* found = FindColumn(column);
    return found != nullptr && found->GetInt(row, value);
}

bool TTable::GetString(int row, std::string_view column, std::string& text) const {
    text.clear();
    const TColumn* found = FindColumn(column);
    return found != nullptr && found->GetString(row, text);
}

void TTable::LoadFromStream(ByteReader& reader) {
    TTable loaded(reader.ReadString());
    // Every column takes at least its name length and its value count.
    const std::int32_t columnCount = reader.ReadCount(8, "column count");
    const std::int32_t rowCount = reader.ReadInt32();
    if (rowCount < 0)
        throw DataBaseError("negative row count " + std::to_string(rowCount) + " in table \"" + loaded.name_ + "\"");
    loaded.rowCount_ = rowCount;
    loaded.columns_.reserve(static_cast<std::size_t>(columnCount));
    for (std::int32_t i = 0; i < columnCount; ++i) {
        auto column = std::make_unique<TColumn>();
        column->LoadFromStream(reader);
        if (column->Count() < rowCount) reader.ClaimPadding(static_cast<std::size_t>(rowCount - column->Count()));
        loaded.AddColumn(std::move(column));
    }
    *this = std::move(loaded);
}

void TTable::SaveToStream(ByteWriter& writer) const {
    writer.WriteString(name_);
    writer.WriteInt32(ColumnCount());
    writer.WriteInt32(rowCount_);
    for (const auto& column : columns_) column->SaveToStream(writer);
}

}  // namespace sentrel
