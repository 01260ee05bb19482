#pragma once
// Applying an update file to the database in the program folder.
//
// An update is a signed, encrypted, packed patch (database/Patch.h) that turns the unpacked
// database numbered "DBNumber" into the one numbered "DBNumber" + 1. The signed patch names
// both databases by their SHA-256 digests, so an update applies only to the very database it
// was made from, whatever number the options claim. Applying one has two halves, so that the
// slow half can run on the update worker while the monitors keep reading the tables on the
// main thread:
//
//   Prepare (any thread; reads the options, never changes them, the tables or database.db):
//     checks the signature (FILE.sig beside the file), unpacks the update in memory, and when
//     it is the next one, refuses it unless it names its databases and the old digest is that of
//     database.db's unpacked content; then patches in memory, refuses a result whose digest is
//     not the new one, packs the result into a new file beside database.db, test-loads it and
//     builds its lookup indexes. No plain copy of the database and nothing under an archive's
//     stored name reaches the disk. It asks `cancelled` between its steps.
//   Commit (the main thread, which owns the tables):
//     moves the new file over database.db in one step, writes "DBNumber", swaps the loaded
//     tables with their indexes in and recounts "KnownSpywares".
//
// The update worker: `auto prepared = updater.Prepare(path, cancelled);` on its thread, then
// hands `prepared` to the main thread, which calls `updater.Commit(std::move(prepared), tables)`
// and shows UpdateRefusalMessage(result) when the result is not Applied. Both halves throw
// DataBaseError (UpdateSignatureError, UpdateMismatchError, UpdateCancelledError, PatchError)
// with a message for the user; after a throw, and after a result that is not Applied,
// database.db, "DBNumber" and the tables are exactly as they were and no working file is left.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/DataBase.h"
#include "database/ThreatTables.h"

namespace sentrel {

class TOptions;
class TSignatureVerifier;

// An update that is not for the installed database (it names none, or another one) or that does
// not make the database it names. Nothing was changed.
class UpdateMismatchError : public DataBaseError {
public:
    using DataBaseError::DataBaseError;
};

// Prepare stopped because its caller cancelled; nothing was changed.
class UpdateCancelledError : public DataBaseError {
public:
    UpdateCancelledError() : DataBaseError("The update was cancelled.") {}
};

inline constexpr std::string_view kDataBaseNumberOption = "DBNumber";
inline constexpr int kDefaultDataBaseNumber = 1;
// The new database.db while it is test-loaded, beside the old one.
inline constexpr std::string_view kStagedDataBaseSuffix = ".new";

// The result of Prepare: the numbers, and when the update applies, the loaded new tables with
// their indexes and the new file waiting beside database.db. Destroying it without a Commit
// removes that file.
class TPreparedUpdate {
public:
    TPreparedUpdate() = default;
    TPreparedUpdate(TPreparedUpdate&& other) noexcept;
    TPreparedUpdate& operator=(TPreparedUpdate&& other) noexcept;
    ~TPreparedUpdate();

    // UpdateNumber and OldNumber; Applied stays false until Commit.
    const TUpdateResult& Result() const { return result_; }
    // Whether the update is the next one and its database is ready to be committed.
    bool Ready() const { return dataBase_ != nullptr; }
    // The new tables (nullptr when not Ready).
    const TDataBase* DataBase() const { return dataBase_.get(); }

private:
    friend class TDataBaseUpdater;
    void Discard() noexcept;

    TUpdateResult result_;
    std::unique_ptr<TDataBase> dataBase_;
    TThreatIndexes indexes_;
    std::string stagedPath_;
};

class TDataBaseUpdater {
public:
    // `dataBasePath` is database.db in the program folder (the working folder).
    TDataBaseUpdater(std::string dataBasePath, std::string passPhrase, TOptions& options,
                     const TSignatureVerifier& verifier);

    // The first half (see above). An update whose number is not "DBNumber" + 1 is not an error:
    // the result is not Ready and tells the numbers (no digests are needed for that). The next
    // update throws UpdateMismatchError when it names no databases, names another old database
    // or does not make the new one it names. `cancelled`, when given, is asked after the
    // signature check, after unpacking, after patching, before packing and before test-loading;
    // when it answers true, UpdateCancelledError is thrown.
    TPreparedUpdate Prepare(const std::string& updatePath, const std::function<bool()>& cancelled = {}) const;

    // The second half, on the thread that owns `tables`. Returns the result with Applied set
    // when the update was put in place. Throws DataBaseError when database.db cannot be replaced
    // or "DBNumber" cannot be written (both are then as before) or "DBNumber" changed since
    // Prepare.
    TUpdateResult Commit(TPreparedUpdate prepared, TThreatTables& tables) const;
    // The same for a bare database (its tables are swapped, no indexes).
    TUpdateResult Commit(TPreparedUpdate prepared, TDataBase& dataBase) const;

    // Prepare and Commit on the calling thread (the local-file update).
    TUpdateResult Apply(const std::string& updatePath, TThreatTables& tables) const;

private:
    void CommitFile(TPreparedUpdate& prepared) const;
    void Recount(const TDataBase& dataBase) const;

    std::string dataBasePath_;
    std::string passPhrase_;
    TOptions& options_;
    const TSignatureVerifier& verifier_;
};

// The program's message for an update that was not applied: "You have the latest update" when
// its number is the current one, otherwise "Can't update database with number 57 with update
// number 59". Empty for an applied update.
std::string UpdateRefusalMessage(const TUpdateResult& result);

}  // namespace sentrel
