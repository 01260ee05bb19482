#include "database/ThreatTables.h"

#include <algorithm>
#include <atomic>
#include <numeric>
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
    if (table == nullptr) return {};
    const TColumn* rows = table->FindColumn(rowColumn);
    if (rows == nullptr) return {};
    const TColumn* texts = table->FindColumn(textColumn);
    static const std::vector<std::string_view> kNoTexts;
    return TLookupIndex(texts != nullptr ? texts->Values() : kNoTexts, rows->Count());
}

}  // namespace

TLookupIndex::TLookupIndex(const std::vector<std::string_view>& texts, int rows) {
    const auto textOf = [&texts](std::int32_t row) {
        const auto at = static_cast<std::size_t>(row);
        return at < texts.size() ? texts[at] : std::string_view();
    };
    std::vector<std::int32_t> order(static_cast<std::size_t>(std::max(rows, 0)));
    std::iota(order.begin(), order.end(), 0);
    // Stable: the rows of one text stay ascending.
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        return CompareNamesIgnoringCase(textOf(a), textOf(b)) < 0;
    });
    for (const std::int32_t row : order) {
        const std::string_view text = textOf(row);
        if (entries_.empty() || CompareNamesIgnoringCase(TextOf(entries_.back()), text) != 0) {
            entries_.push_back({static_cast<std::uint32_t>(texts_.size()), static_cast<std::uint32_t>(text.size()), {}});
            texts_ += text;
        }
        entries_.back().rows.Add(row);
    }
    entries_.shrink_to_fit();
    texts_.shrink_to_fit();
}

const TIntegerArray* TLookupIndex::Find(std::string_view text) const {
    const auto found = std::lower_bound(entries_.begin(), entries_.end(), text,
                                        [this](const Entry& entry, std::string_view wanted) {
                                            return CompareNamesIgnoringCase(TextOf(entry), wanted) < 0;
                                        });
    if (found == entries_.end() || CompareNamesIgnoringCase(TextOf(*found), text) != 0) return nullptr;
    return &found->rows;
}

TLookupIndex BuildChecksumIndex(const TDataBase& dataBase) {
    return IndexColumn(dataBase.FindTable(kChecksumsTable), kFileSizeColumn, kFileSizeColumn);
}

TLookupIndex BuildFileNameIndex(const TDataBase& dataBase) {
    return IndexColumn(dataBase.FindTable(kPrimaryFilesTable), kFileNameColumn, kCodeColumn);
}

TThreatIndexes BuildThreatIndexes(const TDataBase& dataBase) {
    return {BuildChecksumIndex(dataBase), BuildFileNameIndex(dataBase), TDangerRules(dataBase), THostLists(dataBase)};
}

std::vector<int> ThreatRowCounts(const TDataBase& dataBase) {
    std::vector<int> counts;
    for (int i = 0; i < dataBase.TableCount(); ++i) {
        const TTable& table = *dataBase.GetTableByIndex(i);
        if (SameNameIgnoringCase(table.Name(), kDangerRulesTable) || SameNameIgnoringCase(table.Name(), kPublicSuffixesTable))
            continue;
        counts.push_back(table.RowCount());
    }
    return counts;
}

TThreatTables::TThreatTables(std::unique_ptr<TDataBase> dataBase) : dataBase_(std::move(dataBase)) {
    if (!dataBase_) throw std::invalid_argument("TThreatTables needs a database");
    RebuildIndexes();
}

void TThreatTables::Replace(std::unique_ptr<TDataBase> dataBase) {
    if (!dataBase) throw std::invalid_argument("TThreatTables needs a database");
    // The indexes are built before anything is replaced, so a failure leaves the old ones.
    TThreatIndexes indexes = BuildThreatIndexes(*dataBase);
    Replace(std::move(dataBase), std::move(indexes));
}

void TThreatTables::Replace(std::unique_ptr<TDataBase> dataBase, TThreatIndexes indexes) noexcept {
    dataBase_ = std::move(dataBase);
    indexes_ = std::move(indexes);
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
    indexes_ = TThreatIndexes();
    indexes_ = BuildThreatIndexes(*dataBase_);
}

}  // namespace sentrel
