#pragma once
// The loaded threat tables together with their two lookup indexes. The indexes hold row numbers
// of the tables they were built from, so they live and die with those tables: every way of
// changing the tables goes through this object and rebuilds the indexes in the same step. No
// caller can replace the tables (an update) and forget the indexes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/DangerRules.h"
#include "database/DataBase.h"
#include "database/HostLists.h"
#include "database/IntegerArray.h"

namespace sentrel {

// The tables and columns the lookups read.
inline constexpr std::string_view kPrimaryFilesTable = "PrimaryFiles";
inline constexpr std::string_view kChecksumsTable = "Checksums";
inline constexpr std::string_view kFoldersTable = "Folders";
inline constexpr std::string_view kFileNameColumn = "FILE_NAME";
inline constexpr std::string_view kSpywareRefColumn = "SPYWARE_REF";
inline constexpr std::string_view kPathRefColumn = "PATH_REF";
inline constexpr std::string_view kCodeColumn = "CODE";
inline constexpr std::string_view kFileSizeColumn = "FILE_SIZE";
inline constexpr std::string_view kFirstLevelChecksumColumn = "FIRST_LEVEL_CHECKSUM";
inline constexpr std::string_view kSecondLevelChecksumColumn = "SECOND_LEVEL_CHECKSUM";
inline constexpr std::string_view kFilePathColumn = "FILE_PATH";

// A sorted list of texts (compared without regard to letter case), each with the ascending row
// numbers that carry it. Kept flat, the texts in one block: a table of tens of thousands of rows
// would otherwise cost a tree node, a string and a list of its own for every text.
class TLookupIndex {
public:
    TLookupIndex() = default;
    // Row r carries texts[r] (an empty text past the end of `texts`), for the rows 0..rows-1.
    TLookupIndex(const std::vector<std::string_view>& texts, int rows);

    // The rows of a text (any letter case), or nullptr.
    const TIntegerArray* Find(std::string_view text) const;
    int Count() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        std::uint32_t offset;  // of its text in texts_
        std::uint32_t length;
        TIntegerArray rows;
    };
    std::string_view TextOf(const Entry& entry) const { return std::string_view(texts_).substr(entry.offset, entry.length); }

    std::string texts_;
    std::vector<Entry> entries_;  // by text, without regard to letter case
};

// The FILE_SIZE texts of Checksums with their rows (every value of the column, empty ones too);
// empty without the table or the column.
TLookupIndex BuildChecksumIndex(const TDataBase& dataBase);
// The FILE_NAME texts of PrimaryFiles with their rows; as many rows as CODE has values (a row past
// the end of FILE_NAME is indexed under an empty text). Empty without the table or CODE.
TLookupIndex BuildFileNameIndex(const TDataBase& dataBase);

// Everything looked up in the tables fast, built from one database: it goes with those tables.
struct TThreatIndexes {
    TLookupIndex checksums;
    TLookupIndex fileNames;
    TDangerRules dangerRules;
    THostLists hosts;  // views into the database's tables
};
TThreatIndexes BuildThreatIndexes(const TDataBase& dataBase);

// The row counts of the tables whose rows are threats, which the known threats count adds up:
// every table but those that only help to judge one (the rules of what looks dangerous, the
// public suffixes of domain names).
std::vector<int> ThreatRowCounts(const TDataBase& dataBase);

class TThreatTables {
public:
    // Takes the loaded database and builds its indexes.
    explicit TThreatTables(std::unique_ptr<TDataBase> dataBase);
    TThreatTables(const TThreatTables&) = delete;
    TThreatTables& operator=(const TThreatTables&) = delete;

    const TDataBase& DataBase() const { return *dataBase_; }
    const TLookupIndex& ChecksumIndex() const { return indexes_.checksums; }
    const TLookupIndex& FileNameIndex() const { return indexes_.fileNames; }
    const TDangerRules& DangerRules() const { return indexes_.dangerRules; }
    // Tracker domains, malicious hosts and public suffixes.
    const THostLists& Hosts() const { return indexes_.hosts; }
    // Changes whenever the tables do (a replacement or any other change), and no two tables of
    // the process share one: a walk that spans several ticks knows when its rows are no longer
    // the ones it began on.
    std::uint64_t Generation() const { return generation_; }

    // Puts other tables in place of the current ones, with their indexes.
    void Replace(std::unique_ptr<TDataBase> dataBase);
    // The same with indexes already built from `dataBase` (on another thread): no work here.
    void Replace(std::unique_ptr<TDataBase> dataBase, TThreatIndexes indexes) noexcept;
    // Applies a signed update file to the database file and these tables on the calling thread
    // (TDataBaseUpdater::Apply, database/DataBaseUpdate.h): on success the new tables come in
    // with their indexes; on failure nothing changes.
    TUpdateResult ApplyUpdate(const std::string& updatePath, TOptions& options, const TSignatureVerifier& verifier);
    // Any other change of the tables: `change` gets the database to change, and the indexes are
    // rebuilt afterwards, also when it throws.
    void Change(const std::function<void(TDataBase&)>& change);
    // Writes the tables back to their file (no change to the tables).
    void Save() { dataBase_->Save(); }

private:
    void RebuildIndexes();

    std::unique_ptr<TDataBase> dataBase_;
    TThreatIndexes indexes_;
    std::uint64_t generation_ = 0;
};

}  // namespace sentrel
