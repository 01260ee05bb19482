#pragma once
// Threat tables made in memory for the lookup tests.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/Table.h"

namespace sentrel::test {

struct ColumnValues {
    std::string Name;
    std::vector<std::string> Values;
};

// A column's cells as texts (for comparing).
inline std::vector<std::string> Texts(const TColumn& column) {
    return {column.Values().begin(), column.Values().end()};
}

// A table of `rowCount` rows; a column with fewer values is padded with empty ones, a column
// with more keeps them (as after loading).
inline std::unique_ptr<TTable> MakeTable(std::string name, int rowCount, std::vector<ColumnValues> columns) {
    auto table = std::make_unique<TTable>(std::move(name));
    for (int i = 0; i < rowCount; ++i) table->AddRow();
    for (auto& values : columns) {
        auto column = std::make_unique<TColumn>(std::move(values.Name));
        for (auto& value : values.Values) {
            column->AddEmptyValue();
            column->SetString(column->Count() - 1, std::move(value));
        }
        table->AddColumn(std::move(column));
    }
    return table;
}

// A table whose row count is the length of its first column.
inline std::unique_ptr<TTable> MakeTable(std::string name, std::vector<ColumnValues> columns) {
    const int rows = columns.empty() ? 0 : static_cast<int>(columns.front().Values.size());
    return MakeTable(std::move(name), rows, std::move(columns));
}

// A database that lives in memory only (its file name is never used).
inline std::unique_ptr<TDataBase> MakeDataBase(std::vector<std::unique_ptr<TTable>> tables) {
    auto dataBase = std::make_unique<TDataBase>("unused.db", false, std::string(kDataBasePassPhrase));
    for (auto& table : tables) dataBase->AddTable(std::move(table));
    return dataBase;
}

template <typename... Tables>
std::unique_ptr<TDataBase> MakeDataBase(Tables... tables) {
    std::vector<std::unique_ptr<TTable>> list;
    (list.push_back(std::move(tables)), ...);
    return MakeDataBase(std::move(list));
}

}  // namespace sentrel::test
