#pragma once
// The threat database: an in-memory set of named tables, stored in database.db as three
// layers: a Blowfish-CBC ciphertext, inside it a one-file zlib archive, inside that the
// serialised tables. One process-wide object is created at start-up and written back at
// shutdown.
//
// Saving and the pipeline steps write working files (db, <path>_decrypted.dat, ...) in the
// working folder, the folder of FileName(), and remove them again on every path, failures
// included. Loading and updates need none: they decrypt and unpack in memory. The name stored
// in an archive is only a label; no file is ever written under it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/Archive.h"
#include "database/DataBaseError.h"
#include "database/Table.h"

namespace sentrel {

class TOptions;
class TSignatureVerifier;

// The working files, in the folder of the database file.
inline constexpr std::string_view kDecryptedSuffix = "_decrypted.dat";     // appended to the unpacked file's path
inline constexpr std::string_view kUnpackedDataBaseName = "db_unpacked.dat";
inline constexpr std::string_view kSavedTablesName = "db";                  // also the name inside the archive
inline constexpr std::string_view kUnpackedUpdateName = "update_unpacked.dat";
inline constexpr std::string_view kPatchedDataBaseName = "db_unpacked_patched.dat";

// What an update step did (see TDataBase::ApplyUpdate).
struct TUpdateResult {
    std::int32_t UpdateNumber = -1;  // -1 until an update file was read
    std::int32_t OldNumber = 0;      // the database number before the step
    bool Applied = false;            // database.db, DBNumber and the tables are the update's
};

class TDataBase {
public:
    // `fileName` is the full path of database.db; the cipher key is derived from `passPhrase`
    // (the program passes kDataBasePassPhrase from database/Cipher.h). With `load` set the file
    // is loaded at once and a missing or damaged file throws DataBaseError from here.
    TDataBase(std::string fileName, bool load, std::string passPhrase);
    ~TDataBase();
    TDataBase(const TDataBase&) = delete;
    TDataBase& operator=(const TDataBase&) = delete;

    const std::string& FileName() const { return fileName_; }
    // After the file was moved: the database now belongs to `fileName` (same folder).
    void SetFileName(std::string fileName) { fileName_ = std::move(fileName); }
    const std::string& PassPhrase() const { return passPhrase_; }
    // The folder of FileName() with its trailing separator (empty when it names no folder).
    std::string WorkingFolder() const;

    // --- Tables -------------------------------------------------------------------------------

    int TableCount() const { return static_cast<int>(tables_.size()); }
    // The table at an index in name order; nullptr outside 0..TableCount()-1.
    TTable* GetTableByIndex(int index);
    const TTable* GetTableByIndex(int index) const;
    // The table of that name (any letter case), or nullptr. A binary search.
    TTable* FindTable(std::string_view name);
    const TTable* FindTable(std::string_view name) const;
    // Takes ownership and enters the table in name order. A table whose name (in any letter
    // case) is already entered is kept and freed with the database, but is neither found,
    // counted nor saved; the result then is false.
    bool AddTable(std::unique_ptr<TTable> table);
    // Frees every table, duplicates included.
    void Clear();
    // Exchanges the tables (and the failed-load mark) with another database.
    void SwapTables(TDataBase& other) noexcept;

    // True whenever the table exists; then the value is 0 (or the text empty) when the column
    // is missing or the row is outside it, and not meaningful when the cell is not an integer.
    bool GetIntCell(std::string_view table, std::string_view column, int row, std::int32_t& value) const;
    bool GetStringCell(std::string_view table, std::string_view column, int row, std::string& text) const;

    // Reads the integer in `referenceColumn` at `row` of `table`, then the text in
    // `targetColumn` at that row number of `targetTable`. False when either table or column
    // is missing, the reference cell is not an integer or the reference lies outside the
    // target column.
    bool GetLinkedString(std::string_view table, std::string_view referenceColumn, std::string_view targetColumn,
                         std::string_view targetTable, int row, std::string& text) const;

    // A new, unnamed table with one column per name of `columnList` (comma-separated, blanks
    // ignored), holding the rows of `table` whose `matchColumn` cell equals `matchValue` exactly
    // (every row when `matchValue` is empty; then row k of the result is row k of the source).
    // Listed names that are not columns of the source come back as empty columns. nullptr when
    // the table is missing, the list is empty or `matchColumn` is not a column of the table.
    std::unique_ptr<TTable> Select(std::string_view columnList, std::string_view table, std::string_view matchValue,
                                   std::string_view matchColumn) const;

    // --- Serialised tables (the innermost layer) ------------------------------------------------

    // Replaces every table with those read from `bytes`. On a damaged stream DataBaseError is
    // thrown and the tables are left as they were.
    void LoadFromStream(std::span<const std::uint8_t> bytes);
    // Appends the tables in name order (duplicates left out).
    void SaveToStream(std::vector<std::uint8_t>& out) const;

    // --- Files ----------------------------------------------------------------------------------

    // Loads the tables from an encrypted database file, decrypted and unpacked in memory (no
    // working file: the plain tables never reach the disk). A file that is missing or cannot be
    // decrypted, unpacked or parsed throws DataBaseError ("<name> is damaged: ..."), leaves
    // the tables as they were, and marks the load as failed.
    void LoadFromFile(const std::string& path);
    // Writes the tables back to FileName(), replacing it in one step (the old file stays whole
    // when anything fails). Throws DataBaseError when the last load failed, so that a damaged
    // file is never overwritten with what little was read, and on any write failure.
    void Save();
    // True after a LoadFromFile that failed, until a load succeeds.
    bool LoadFailed() const { return loadFailed_; }

    // Applies one signed update file to FileName() and these tables, as TDataBaseUpdater::Apply
    // does (database/DataBaseUpdate.h), on the calling thread. "DBNumber" is read from and
    // written to `options`.
    TUpdateResult ApplyUpdate(const std::string& updatePath, TOptions& options, const TSignatureVerifier& verifier);
    // The first four bytes of a file as a signed 32-bit little-endian integer; DataBaseError
    // when the file cannot be read or is shorter.
    static std::int32_t ReadUpdateNumber(const std::string& path);

    // --- Pipeline steps ---------------------------------------------------------------------------

    // Decrypts a whole file into Buffer(); DataBaseError when it cannot be read.
    void DecryptFromFile(const std::string& path);
    // Encrypts Buffer() into a file, replacing it in one step; DataBaseError on failure.
    void EncryptToFile(const std::string& path);
    // Decrypts `source`, writes it to source + "_decrypted.dat", inflates the one file of that
    // archive in memory, writes it to `target` and deletes the "_decrypted.dat" file. The archive
    // must hold exactly one file with a plain name and no folder; that name is only a label,
    // nothing is written under it. DataBaseError on any failure, with every working file removed.
    void DecryptAndUnpack(const std::string& source, const std::string& target);
    // The innermost bytes of an encrypted file (a database or an update), decrypted and inflated
    // in memory as DecryptAndUnpack checks them; nothing is written. DataBaseError when it is not
    // such a file.
    std::vector<std::uint8_t> UnpackBytes(std::vector<std::uint8_t> encrypted);
    // The same for the file at `path`.
    std::vector<std::uint8_t> UnpackFile(const std::string& path);
    // Packs `content` into a one-file archive under `storedName` and encrypts it into
    // FileName(), replaced in one step, without any working file. DataBaseError on failure.
    void PackAndEncryptBytes(std::string_view storedName, std::span<const std::uint8_t> content);
    // Packs the plain file into a one-file archive (written to plain + "_decrypted.dat"),
    // deletes the plain file, and encrypts the archive into FileName() (replaced in one step).
    // DataBaseError on failure; the working files are removed either way.
    void PackAndEncrypt(const std::string& plainPath);

    // The byte buffer reused by the steps above; cleared after each operation.
    std::vector<std::uint8_t>& Buffer() { return buffer_; }

private:
    void UnpackBuffer(const std::string& source, const std::string& target);
    // The one file of an archive: exactly one record, a plain name (ReadArchiveRecords refuses
    // the others) and no folder. Its name is a label: nothing is ever written under it.
    static const TArchiveRecord& FileToUnpack(const std::vector<TArchiveRecord>& records);
    void PackAndEncryptContent(const std::string& plainPath, std::span<const std::uint8_t> content);

    std::string fileName_;
    std::string passPhrase_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::unique_ptr<TTable>> tables_;      // sorted by name, any letter case
    std::vector<std::unique_ptr<TTable>> duplicates_;  // owned, never found
    bool loadFailed_ = false;
};

}  // namespace sentrel
