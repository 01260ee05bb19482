#pragma once
// The files the maker's tool reads and writes: database files, through TDataBase exactly as the
// program loads and saves them, and folders of CSV tables. Nothing is ever left half-written:
// a database file is replaced in one step, and the program's working files (db,
// db_unpacked.dat, ..._decrypted.dat) are made in a private folder, never beside the user's
// files, where they could replace a file that happens to have the same name.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/DataBase.h"

namespace sentrel::dbtool {

// A failure that the tool reports in one line.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads every "<Table>.csv" of a folder (the table is named after the file), in file-name order.
// A file that cannot be read or parsed throws ToolError naming the file and the line.
std::vector<std::unique_ptr<TTable>> ReadTableFolder(const std::string& folder, std::vector<std::string>& warnings);

// Writes the tables as the program's Save writes them and puts the file at `path` in one step.
// Two tables whose names differ only in letter case are an error (the program would drop one).
void WriteDataBaseFile(const std::string& path, std::vector<std::unique_ptr<TTable>> tables);

// Loads a database file (read only: nothing is written beside it). ToolError when it is missing
// or cannot be decrypted, unpacked or parsed.
std::unique_ptr<TDataBase> LoadDataBaseFile(const std::string& path);

// Writes "<Table>.csv" for every table. A missing folder is filled privately and renamed into
// place at the end; in an existing folder each file is replaced in one step. Tables whose names
// cannot be file names are left out with a warning, and so are other .csv files found there.
void WriteTableFolder(const TDataBase& dataBase, const std::string& folder, std::vector<std::string>& warnings);

}  // namespace sentrel::dbtool
