#include "database/DataBase.h"

#include <algorithm>
#include <iterator>

#include "common/Files.h"
#include "database/Archive.h"
#include "database/ByteStream.h"
#include "database/Cipher.h"
#include "database/DataBaseUpdate.h"

namespace sentrel {

namespace {

// a + b without operator+, which GCC 12 at -O3 wrongly warns about for string_view operands.
std::string Joined(std::string_view a, std::string_view b) {
    std::string joined;
    joined.reserve(a.size() + b.size());
    joined.append(a).append(b);
    return joined;
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

auto TableLess() {
    return [](const std::unique_ptr<TTable>& table, std::string_view name) {
        return CompareNamesIgnoringCase(table->Name(), name) < 0;
    };
}

}  // namespace

TDataBase::TDataBase(std::string fileName, bool load, std::string passPhrase)
    : fileName_(std::move(fileName)), passPhrase_(std::move(passPhrase)) {
    if (load) LoadFromFile(fileName_);
}

TDataBase::~TDataBase() = default;

std::string TDataBase::WorkingFolder() const {
    return FolderPart(fileName_);
}

// --- Tables ------------------------------------------------------------------------------------

TTable* TDataBase::GetTableByIndex(int index) {
    if (index < 0 || index >= TableCount()) return nullptr;
    return tables_[static_cast<std::size_t>(index)].get();
}

const TTable* TDataBase::GetTableByIndex(int index) const {
    return const_cast<TDataBase*>(this)->GetTableByIndex(index);
}

TTable* TDataBase::FindTable(std::string_view name) {
    const auto found = std::lower_bound(tables_.begin(), tables_.end(), name, TableLess());
    if (found == tables_.end() || !SameNameIgnoringCase((*found)->Name(), name)) return nullptr;
    return found->get();
}

const TTable* TDataBase::FindTable(std::string_view name) const {
    return const_cast<TDataBase*>(this)->FindTable(name);
}

bool TDataBase::AddTable(std::unique_ptr<TTable> table) {
    if (!table) throw std::invalid_argument("TDataBase::AddTable: no table");
    const auto place = std::lower_bound(tables_.begin(), tables_.end(), table->Name(), TableLess());
    if (place != tables_.end() && SameNameIgnoringCase((*place)->Name(), table->Name())) {
        duplicates_.push_back(std::move(table));
        return false;
    }
    tables_.insert(place, std::move(table));
    return true;
}

void TDataBase::Clear() {
    tables_.clear();
    duplicates_.clear();
}

void TDataBase::SwapTables(TDataBase& other) noexcept {
    tables_.swap(other.tables_);
    duplicates_.swap(other.duplicates_);
    std::swap(loadFailed_, other.loadFailed_);
}

bool TDataBase::GetIntCell(std::string_view table, std::string_view column, int row, std::int32_t& value) const {
    value = 0;
    const TTable* found = FindTable(table);
    if (found == nullptr) return false;
    if (const TColumn* cells = found->FindColumn(column)) cells->GetInt(row, value);
    return true;
}

bool TDataBase::GetStringCell(std::string_view table, std::string_view column, int row, std::string& text) const {
    text.clear();
    const TTable* found = FindTable(table);
    if (found == nullptr) return false;
    if (const TColumn* cells = found->FindColumn(column)) cells->GetString(row, text);
    return true;
}

bool TDataBase::GetLinkedString(std::string_view table, std::string_view referenceColumn,
                                std::string_view targetColumn, std::string_view targetTable, int row,
                                std::string& text) const {
    text.clear();
    const TTable* source = FindTable(table);
    const TTable* target = FindTable(targetTable);
    if (source == nullptr || target == nullptr) return false;
    const TColumn* references = source->FindColumn(referenceColumn);
    const TColumn* targets = target->FindColumn(targetColumn);
    if (references == nullptr || targets == nullptr) return false;
    std::int32_t reference = 0;
    return references->GetInt(row, reference) && targets->GetString(reference, text);
}

std::unique_ptr<TTable> TDataBase::Select(std::string_view columnList, std::string_view table,
                                          std::string_view matchValue, std::string_view matchColumn) const {
    std::string list;
    std::remove_copy(columnList.begin(), columnList.end(), std::back_inserter(list), ' ');
    std::vector<std::string> names;
    for (std::size_t start = 0; !list.empty();) {
        const std::size_t comma = list.find(',', start);
        names.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    const TTable* source = FindTable(table);
    if (source == nullptr || names.empty()) return nullptr;
    const TColumn* match = source->FindColumn(matchColumn);
    if (match == nullptr) return nullptr;

    auto result = std::make_unique<TTable>();
    std::vector<const TColumn*> sources;
    for (std::string& name : names) {
        sources.push_back(source->FindColumn(name));
        auto column = std::make_unique<TColumn>(std::move(name));
        if (matchValue.empty()) column->Reserve(match->Values().size());
        result->AddColumn(std::move(column));
    }
    const std::vector<std::string_view>& matchCells = match->Values();
    for (std::size_t i = 0; i < matchCells.size(); ++i) {
        if (!matchValue.empty() && matchCells[i] != matchValue) continue;
        result->AddRow();
        const int row = result->RowCount() - 1;
        for (std::size_t k = 0; k < sources.size(); ++k) {
            if (sources[k] != nullptr && i < sources[k]->Values().size())
                result->GetColumn(static_cast<int>(k))->SetString(row, sources[k]->Values()[i]);
        }
    }
    return result;
}

// --- Serialised tables -------------------------------------------------------------------------

void TDataBase::LoadFromStream(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    // Every table takes at least its name length, column count and row count.
    const std::int32_t count = reader.ReadCount(12, "table count");
    std::vector<std::unique_ptr<TTable>> loaded;
    loaded.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        auto table = std::make_unique<TTable>();
        table->LoadFromStream(reader);
        loaded.push_back(std::move(table));
    }
    Clear();
    for (auto& table : loaded) AddTable(std::move(table));
}

void TDataBase::SaveToStream(std::vector<std::uint8_t>& out) const {
    std::size_t size = 4;
    for (const auto& table : tables_) {
        size += 12 + table->Name().size();
        for (int c = 0; c < table->ColumnCount(); ++c) {
            const TColumn& column = *table->GetColumn(c);
            size += 8 + column.Name().size() + 4 * column.Values().size();
            for (const std::string_view value : column.Values()) size += value.size();
        }
    }
    out.reserve(out.size() + size);
    ByteWriter writer(out);
    writer.WriteInt32(TableCount());
    for (const auto& table : tables_) table->SaveToStream(writer);
}

// --- Files -------------------------------------------------------------------------------------

void TDataBase::LoadFromFile(const std::string& path) {
    if (!FileExists(path)) {
        loadFailed_ = true;
        throw DataBaseError(FileNamePart(path) + " is missing");
    }
    // Decrypted and unpacked in memory: the tables in plain text never reach the disk, where a
    // load cut short would leave them for anyone to read.
    try {
        LoadFromStream(UnpackFile(path));
        loadFailed_ = false;
    } catch (const std::exception& error) {
        buffer_ = {};
        loadFailed_ = true;
        throw DataBaseError(FileNamePart(path) + " is damaged: " + error.what());
    }
}

void TDataBase::Save() {
    if (loadFailed_)
        throw DataBaseError(FileNamePart(fileName_) + " was not loaded, so it is not overwritten");
    const std::string plain = Joined(WorkingFolder(), kSavedTablesName);
    try {
        std::vector<std::uint8_t> tables;
        SaveToStream(tables);
        WriteFileBytes(plain, tables, false);
        PackAndEncryptContent(plain, tables);
    } catch (const std::exception& error) {
        RemoveFile(plain);
        buffer_ = {};
        throw DataBaseError("cannot save " + FileNamePart(fileName_) + ": " + error.what());
    }
}

TUpdateResult TDataBase::ApplyUpdate(const std::string& updatePath, TOptions& options,
                                     const TSignatureVerifier& verifier) {
    TDataBaseUpdater updater(fileName_, passPhrase_, options, verifier);
    return updater.Commit(updater.Prepare(updatePath), *this);
}

std::int32_t TDataBase::ReadUpdateNumber(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const FileError& error) {
        throw DataBaseError(error.what());
    }
    if (bytes.size() < 4) throw DataBaseError(Quoted(path) + " is too short to hold an update number");
    return ReadInt32Le(bytes.data());
}

// --- Pipeline steps ------------------------------------------------------------------------------

void TDataBase::DecryptFromFile(const std::string& path) {
    try {
        buffer_ = ReadFileBytes(path);
    } catch (const FileError& error) {
        buffer_ = {};
        throw DataBaseError(error.what());
    }
    TCipher(passPhrase_).Decrypt(buffer_);
}

void TDataBase::EncryptToFile(const std::string& path) {
    TCipher(passPhrase_).Encrypt(buffer_);
    try {
        WriteFileAtomically(path, buffer_);
    } catch (const FileError& error) {
        throw DataBaseError(error.what());
    }
}

void TDataBase::DecryptAndUnpack(const std::string& source, const std::string& target) {
    DecryptFromFile(source);
    UnpackBuffer(source, target);
}

const TArchiveRecord& TDataBase::FileToUnpack(const std::vector<TArchiveRecord>& records) {
    if (records.size() != 1)
        throw DataBaseError("the archive holds " + std::to_string(records.size()) + " files instead of one");
    const TArchiveRecord& record = records.front();
    if (!record.Folder.empty()) throw DataBaseError("the archived file \"" + record.StoredPath() + "\" lies in a folder");
    return record;
}

std::vector<std::uint8_t> TDataBase::UnpackBytes(std::vector<std::uint8_t> encrypted) {
    buffer_ = std::move(encrypted);
    try {
        TCipher(passPhrase_).Decrypt(buffer_);
        std::vector<std::uint8_t> content = InflateRecord(FileToUnpack(ReadArchiveRecords(buffer_)));
        // Emptied with its allocation: clear() would keep the file's size for the whole run.
        buffer_ = {};
        return content;
    } catch (const std::exception& error) {
        buffer_ = {};
        if (dynamic_cast<const DataBaseError*>(&error) != nullptr) throw;
        throw DataBaseError(error.what());
    }
}

std::vector<std::uint8_t> TDataBase::UnpackFile(const std::string& path) {
    std::vector<std::uint8_t> encrypted;
    try {
        encrypted = ReadFileBytes(path);
    } catch (const FileError& error) {
        throw DataBaseError(error.what());
    }
    return UnpackBytes(std::move(encrypted));
}

void TDataBase::UnpackBuffer(const std::string& source, const std::string& target) {
    const std::string decrypted = Joined(source, kDecryptedSuffix);
    bool writing = false;
    try {
        WriteFileBytes(decrypted, buffer_, false);
        const std::vector<std::uint8_t> content = InflateRecord(FileToUnpack(ReadArchiveRecords(buffer_)));
        buffer_ = {};
        RemoveFile(decrypted);
        writing = true;
        WriteFileBytes(target, content, false);
    } catch (const std::exception& error) {
        buffer_ = {};
        RemoveFile(decrypted);
        if (writing) RemoveFile(target);  // never half a file
        if (dynamic_cast<const DataBaseError*>(&error) != nullptr) throw;
        throw DataBaseError(error.what());
    }
}

void TDataBase::PackAndEncryptBytes(std::string_view storedName, std::span<const std::uint8_t> content) {
    try {
        buffer_ = BuildArchive(storedName, content);
        EncryptToFile(fileName_);
        buffer_ = {};
    } catch (...) {
        buffer_ = {};
        throw;
    }
}

void TDataBase::PackAndEncrypt(const std::string& plainPath) {
    std::vector<std::uint8_t> content;
    try {
        content = ReadFileBytes(plainPath);
    } catch (const FileError& error) {
        throw DataBaseError(error.what());
    }
    PackAndEncryptContent(plainPath, content);
}

void TDataBase::PackAndEncryptContent(const std::string& plainPath, std::span<const std::uint8_t> content) {
    const std::string decrypted = Joined(plainPath, kDecryptedSuffix);
    try {
        std::vector<std::uint8_t> archive = BuildArchive(FileNamePart(plainPath), content);
        WriteFileBytes(decrypted, archive, false);
        RemoveFile(plainPath);
        buffer_ = std::move(archive);
        RemoveFile(decrypted);
        EncryptToFile(fileName_);
        buffer_ = {};
    } catch (const std::exception& error) {
        buffer_ = {};
        RemoveFile(decrypted);
        RemoveFile(plainPath);
        if (dynamic_cast<const DataBaseError*>(&error) != nullptr) throw;
        throw DataBaseError(error.what());
    }
}

}  // namespace sentrel
