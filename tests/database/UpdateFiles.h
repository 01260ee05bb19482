#pragma once
// Test helpers for update files: databases written as the program saves them, updates made as
// the maker's tool makes them, and a stand-in signature (SHA-1 of the file) so that the
// portable tests run the signature step on every system; the real ECDSA checks are tested with
// OpenSSL natively and with CNG under Wine.

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/LookupTables.h"
#include "database/Patch.h"
#include "database/Sha1.h"
#include "database/UpdateSignature.h"

namespace sentrel::test {

using Bytes = std::vector<std::uint8_t>;

class DigestVerifier : public TSignatureVerifier {
public:
    bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> signature) const override {
        const Sha1::Digest digest = Sha1::Of(data);
        return std::equal(signature.begin(), signature.end(), digest.begin(), digest.end());
    }
};

inline void SignWithDigest(const std::string& path) {
    const Sha1::Digest digest = Sha1::Of(ReadFileBytes(path));
    WriteFileBytes(path + std::string(kSignatureSuffix), digest);
}

// One table: columns of values; the row count is the longest column's.
struct TableContents {
    std::string Name;
    std::vector<std::pair<std::string, std::vector<std::string>>> Columns;
};

inline std::unique_ptr<TTable> MakeTable(const TableContents& contents) {
    auto table = std::make_unique<TTable>(contents.Name);
    std::size_t rows = 0;
    for (const auto& column : contents.Columns) rows = std::max(rows, column.second.size());
    for (std::size_t i = 0; i < rows; ++i) table->AddRow();
    for (const auto& [name, values] : contents.Columns) {
        auto column = std::make_unique<TColumn>(name);
        for (std::size_t i = 0; i < values.size(); ++i) {
            column->AddEmptyValue();
            column->SetString(static_cast<int>(i), values[i]);
        }
        table->AddColumn(std::move(column));
    }
    return table;
}

inline void WriteDataBase(const std::string& path, const std::vector<TableContents>& tables) {
    TDataBase dataBase(path, false, std::string(kDataBasePassPhrase));
    for (const TableContents& contents : tables) dataBase.AddTable(MakeTable(contents));
    dataBase.Save();
}

// Every table as name -> (row count, columns with their values).
using TableDump = std::map<std::string, std::pair<int, std::vector<std::pair<std::string, std::vector<std::string>>>>>;
inline TableDump Dump(const TDataBase& dataBase) {
    TableDump dump;
    for (int i = 0; i < dataBase.TableCount(); ++i) {
        const TTable& table = *dataBase.GetTableByIndex(i);
        auto& entry = dump[table.Name()];
        entry.first = table.RowCount();
        for (int c = 0; c < table.ColumnCount(); ++c)
            entry.second.emplace_back(table.GetColumn(c)->Name(), Texts(*table.GetColumn(c)));
    }
    return dump;
}

inline TableDump DumpFile(const std::string& path) {
    const std::string copy = path + ".load";
    WriteFileBytes(copy, ReadFileBytes(path));
    TDataBase dataBase(copy, true, std::string(kDataBasePassPhrase));
    RemoveFile(copy);
    return Dump(dataBase);
}

// The innermost bytes of a database or update file.
inline Bytes Unpacked(const std::string& path) {
    Bytes bytes = ReadFileBytes(path);
    TCipher(kDataBasePassPhrase).Decrypt(bytes);
    return InflateRecord(ReadArchiveRecords(bytes).at(0));
}

// Packs and encrypts a patch into an update file (as the maker's tool does), unsigned.
inline void WritePackedPatch(const std::string& path, const Bytes& patch,
                             std::string_view storedName = kUnpackedUpdateName) {
    Bytes archive = BuildArchive(storedName, patch);
    TCipher(kDataBasePassPhrase).Encrypt(archive);
    WriteFileBytes(path, archive);
}

// A patch as tools before the database digests wrote it: no mark, records right after the lengths.
inline Bytes WithoutDataBaseHashes(const Bytes& patch) {
    Bytes older(patch.begin(), patch.begin() + kPatchHeaderSize);
    for (std::size_t i = 4; i < 8; ++i) older.at(i) = 0;
    older.insert(older.end(), patch.begin() + kHashedPatchHeaderSize, patch.end());
    return older;
}

// The signed update `number` from one database file to another; returns the update's size.
inline std::int64_t WriteUpdate(const std::string& path, std::int32_t number, const std::string& oldDataBase,
                                const std::string& newDataBase) {
    WritePackedPatch(path, MakePatch(number, Unpacked(oldDataBase), Unpacked(newDataBase)));
    SignWithDigest(path);
    return FileSize(path);
}

}  // namespace sentrel::test
