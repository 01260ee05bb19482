#include "database/DataBaseUpdate.h"

#include <cstdio>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/Options.h"
#include "config/Startup.h"
#include "database/ByteStream.h"
#include "database/Patch.h"
#include "database/Sha256.h"
#include "database/UpdateSignature.h"

namespace sentrel {

namespace {

// The end of an update run in the diagnostic log.
const TUpdateResult& LoggedResult(const TUpdateResult& result) {
    LogEvent(result.Applied ? "update run: database " + std::to_string(result.OldNumber) + " -> " +
                                  std::to_string(result.UpdateNumber)
                            : "update run: not applied: " + UpdateRefusalMessage(result));
    return result;
}

std::string Joined(const std::string& folder, std::string_view name) {
    std::string path = folder;
    path.append(name);
    return path;
}

}  // namespace

// --- TPreparedUpdate ------------------------------------------------------------------------------

TPreparedUpdate::TPreparedUpdate(TPreparedUpdate&& other) noexcept
    : result_(other.result_),
      dataBase_(std::move(other.dataBase_)),
      indexes_(std::move(other.indexes_)),
      stagedPath_(std::exchange(other.stagedPath_, {})) {}

TPreparedUpdate& TPreparedUpdate::operator=(TPreparedUpdate&& other) noexcept {
    if (this != &other) {
        Discard();
        result_ = other.result_;
        dataBase_ = std::move(other.dataBase_);
        indexes_ = std::move(other.indexes_);
        stagedPath_ = std::exchange(other.stagedPath_, {});
    }
    return *this;
}

TPreparedUpdate::~TPreparedUpdate() {
    Discard();
}

void TPreparedUpdate::Discard() noexcept {
    if (!stagedPath_.empty()) RemoveFile(stagedPath_);
    stagedPath_.clear();
    dataBase_.reset();
}

// --- TDataBaseUpdater -------------------------------------------------------------------------------

TDataBaseUpdater::TDataBaseUpdater(std::string dataBasePath, std::string passPhrase, TOptions& options,
                                   const TSignatureVerifier& verifier)
    : dataBasePath_(std::move(dataBasePath)),
      passPhrase_(std::move(passPhrase)),
      options_(options),
      verifier_(verifier) {}

TPreparedUpdate TDataBaseUpdater::Prepare(const std::string& updatePath,
                                          const std::function<bool()>& cancelled) const {
    TPreparedUpdate prepared;
    TUpdateResult& result = prepared.result_;
    result.OldNumber = options_.ReadInteger(kDataBaseNumberOption, kDefaultDataBaseNumber);
    LogEvent("update run: " + updatePath + " on database " + std::to_string(result.OldNumber));
    const std::string name = "\"" + FileNamePart(updatePath) + "\"";
    auto stopWhenCancelled = [&] {
        if (cancelled && cancelled()) throw UpdateCancelledError();
    };

    try {
        // Nothing is touched before the signature has been checked; the checked bytes are the
        // ones unpacked, so the file cannot be swapped in between.
        std::vector<std::uint8_t> update = ReadSignedUpdate(updatePath, verifier_);
        stopWhenCancelled();
        // Everything is done in memory; only working files that an interrupted run of an earlier
        // version may have left (plain copies of the database among them) are removed.
        const std::string folder = FolderPart(dataBasePath_);
        const std::string patched = Joined(folder, kPatchedDataBaseName);
        for (const std::string& stale : {Joined(folder, kUnpackedDataBaseName), Joined(folder, kUnpackedUpdateName),
                                         patched, PatchTemporaryPath(patched)})
            RemoveFile(stale);
        TDataBase work(dataBasePath_, false, passPhrase_);
        const std::vector<std::uint8_t> patch = work.UnpackBytes(std::move(update));
        if (patch.size() < 4) throw DataBaseError("The update " + name + " is too short to hold an update number.");
        result.UpdateNumber = ReadInt32Le(patch.data());
        if (static_cast<std::int64_t>(result.UpdateNumber) != std::int64_t{result.OldNumber} + 1) return prepared;

        const TPatchHeader header = ReadPatchHeader(patch);
        if (!header.Hashes)
            throw UpdateMismatchError("The update " + name +
                                      " does not name the database it was made for, so it was not applied.");
        const std::vector<std::uint8_t> oldBytes = work.UnpackFile(dataBasePath_);
        if (Sha256Of(oldBytes) != header.Hashes->Old)
            throw UpdateMismatchError(UpdateRefusalMessage(result) + ": the update was made for another database.");
        stopWhenCancelled();
        const std::vector<std::uint8_t> newBytes = ApplyPatchBytes(oldBytes, patch);
        stopWhenCancelled();
        if (Sha256Of(newBytes) != header.Hashes->New)
            throw UpdateMismatchError("The update " + name +
                                      " did not produce the database it names; nothing was changed.");

        // The new database.db is built and test-loaded beside the old one.
        stopWhenCancelled();
        prepared.stagedPath_ = dataBasePath_ + std::string(kStagedDataBaseSuffix);
        auto fresh = std::make_unique<TDataBase>(prepared.stagedPath_, false, passPhrase_);
        fresh->PackAndEncryptBytes(kPatchedDataBaseName, newBytes);
        stopWhenCancelled();
        fresh->LoadFromFile(prepared.stagedPath_);
        prepared.indexes_ = BuildThreatIndexes(*fresh);
        prepared.dataBase_ = std::move(fresh);
    } catch (const std::exception& error) {
        LogEvent("update run failed: " + std::string(error.what()));
        prepared.Discard();
        if (dynamic_cast<const DataBaseError*>(&error) != nullptr) throw;
        throw DataBaseError(error.what());
    }
    return prepared;
}

void TDataBaseUpdater::CommitFile(TPreparedUpdate& prepared) const {
    const TUpdateResult& result = prepared.result_;
    if (options_.ReadInteger(kDataBaseNumberOption, kDefaultDataBaseNumber) != result.OldNumber)
        throw DataBaseError("The database number changed while the update was prepared; it was not applied.");
    std::vector<std::uint8_t> oldFile;
    try {
        oldFile = ReadFileBytes(dataBasePath_);
        MoveFileOver(prepared.stagedPath_, dataBasePath_);
    } catch (const FileError& error) {
        throw DataBaseError(std::string("The database could not be replaced: ") + error.what());
    }
    prepared.stagedPath_.clear();
    if (!options_.WriteInteger(kDataBaseNumberOption, result.UpdateNumber)) {
        // The number must name the database in the file: the old file goes back.
        try {
            WriteFileAtomically(dataBasePath_, oldFile);
        } catch (const FileError&) {
            LogCaught("update: putting the old database back");
        }
        throw DataBaseError("The database number could not be written to the options; the update was not applied.");
    }
}

void TDataBaseUpdater::Recount(const TDataBase& dataBase) const {
    RecountKnownSpywares(options_, ThreatRowCounts(dataBase));
}

TUpdateResult TDataBaseUpdater::Commit(TPreparedUpdate prepared, TThreatTables& tables) const {
    if (!prepared.Ready()) return LoggedResult(prepared.result_);
    CommitFile(prepared);
    prepared.dataBase_->SetFileName(dataBasePath_);
    tables.Replace(std::move(prepared.dataBase_), std::move(prepared.indexes_));
    Recount(tables.DataBase());
    prepared.result_.Applied = true;
    return LoggedResult(prepared.result_);
}

TUpdateResult TDataBaseUpdater::Commit(TPreparedUpdate prepared, TDataBase& dataBase) const {
    if (!prepared.Ready()) return LoggedResult(prepared.result_);
    CommitFile(prepared);
    dataBase.SwapTables(*prepared.dataBase_);
    Recount(dataBase);
    prepared.result_.Applied = true;
    return LoggedResult(prepared.result_);
}

TUpdateResult TDataBaseUpdater::Apply(const std::string& updatePath, TThreatTables& tables) const {
    return Commit(Prepare(updatePath), tables);
}

std::string UpdateRefusalMessage(const TUpdateResult& result) {
    if (result.Applied) return {};
    if (result.UpdateNumber == result.OldNumber) return "You have the latest update";
    return "Can't update database with number " + std::to_string(result.OldNumber) + " with update number " +
           std::to_string(result.UpdateNumber);
}

}  // namespace sentrel
