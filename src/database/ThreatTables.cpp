#include "database/ThreatTables.h"

#include <atomic>
#include <stdexcept>
#include <vector>

#include "database/DataBaseUpdate.h"
#include "database/Table.h"

namespace sentrel {

namespace {

// A value no tables of this process have had yet.
std::uint64_t NextGeneration() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

// Indexes the texts of `textColumn` over as many rows as `rowColumn` has values; a row past the
// end of the text column counts as an empty text.
TLookupIndex IndexColumn(const TTable* table, std::string_view textColumn, std::string_view rowColumn) {
    TLookupIndex index;
    if (table == nullptr) return index;
    const TColumn* rows = table->FindColumn(rowColumn);
    if (rows == nullptr) return index;
    const TColumn* texts = table->FindColumn(textColumn);
    static const std::vector<std::string_view> kNoTexts;
    const std::vector<std::string_view>& values = texts != nullptr ? texts->Values() : kNoTexts;
    for (int row = 0; row < rows->Count(); ++row) {
        const auto at = static_cast<std::size_t>(row);
        index.Add(at < values.size() ? values[at] : std::string_view(), row);
    }
    return index;
}

}  // namespace

bool TLookupIndex::LessIgnoringCase::operator()(std::string_view a, std::string_view b) const noexcept {
    return CompareNamesIgnoringCase(a, b) < 0;
}

void TLookupIndex::Add(std::string_view text, std::int32_t row) {
    auto found = entries_.find(text);
    if (found == entries_.end()) found = entries_.emplace(std::string(text), TIntegerArray()).first;
    found->second.Add(row);
}

const TIntegerArray* TLookupIndex::Find(std::string_view text) const {
    const auto found = entries_.find(text);
    return found == entries_.end() ? nullptr : &found->second;
}

TLookupIndex BuildChecksumIndex(const TDataBase& dataBase) {
    return IndexColumn(dataBase.FindTable(kChecksumsTable), kFileSizeColumn, kFileSizeColumn);
}

TLookupIndex BuildFileNameIndex(const TDataBase& dataBase) {
    return IndexColumn(dataBase.FindTable(kPrimaryFilesTable), kFileNameColumn, kCodeColumn);
}

TThreatTables::TThreatTables(std::unique_ptr<TDataBase> dataBase) : dataBase_(std::move(dataBase)) {
    if (!dataBase_) throw std::invalid_argument("TThreatTables needs a database");
    RebuildIndexes();
}

void TThreatTables::Replace(std::unique_ptr<TDataBase> dataBase) {
    if (!dataBase) throw std::invalid_argument("TThreatTables needs a database");
    // Both indexes are built before anything is replaced, so a failure leaves the old pair.
    TLookupIndex checksums = BuildChecksumIndex(*dataBase);
    TLookupIndex fileNames = BuildFileNameIndex(*dataBase);
    dataBase_ = std::move(dataBase);
    checksumIndex_ = std::move(checksums);
    fileNameIndex_ = std::move(fileNames);
    generation_ = NextGeneration();
}

void TThreatTables::Replace(std::unique_ptr<TDataBase> dataBase, TLookupIndex checksumIndex,
                            TLookupIndex fileNameIndex) noexcept {
    dataBase_ = std::move(dataBase);
    checksumIndex_ = std::move(checksumIndex);
    fileNameIndex_ = std::move(fileNameIndex);
    generation_ = NextGeneration();
}

TUpdateResult TThreatTables::ApplyUpdate(const std::string& updatePath, TOptions& options,
                                         const TSignatureVerifier& verifier) {
    const TDataBaseUpdater updater(dataBase_->FileName(), dataBase_->PassPhrase(), options, verifier);
    return updater.Apply(updatePath, *this);
}

void TThreatTables::Change(const std::function<void(TDataBase&)>& change) {
    try {
        change(*dataBase_);
    } catch (...) {
        RebuildIndexes();
        throw;
    }
    RebuildIndexes();
}

void TThreatTables::RebuildIndexes() {
    generation_ = NextGeneration();
    // Emptied first: should building fail, the lookups find nothing rather than rows of old tables.
    checksumIndex_ = TLookupIndex();
    fileNameIndex_ = TLookupIndex();
    TLookupIndex checksums = BuildChecksumIndex(*dataBase_);
    TLookupIndex fileNames = BuildFileNameIndex(*dataBase_);
    checksumIndex_ = std::move(checksums);
    fileNameIndex_ = std::move(fileNames);
}

}  // namespace sentrel
