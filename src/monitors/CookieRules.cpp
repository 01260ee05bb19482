#include "monitors/CookieRules.h"

#include <memory>
#include <string>

#include "common/DiagnosticLog.h"
#include "warnings/WarningSink.h"
#include "database/Mask.h"
#include "warnings/Warning.h"

namespace sentrel {

bool IsTrackingCookie(const TDataBase& dataBase, std::string_view name) {
    if (name == kLocalUserCookieName) return true;
    const TTable* cookies = dataBase.FindTable(kCookiesTable);
    if (cookies == nullptr) return false;
    const TColumn* masks = cookies->FindColumn(kFilesMaskColumn);
    if (masks == nullptr) return false;
    std::string mask;
    for (int row = 0; row < cookies->RowCount(); ++row) {
        if (!masks->GetString(row, mask)) continue;
        try {
            if (MatchesMask(name, mask)) return true;
        } catch (const InvalidMaskError&) {
            LogCaught("CookiesTimer: cookie mask of row " + std::to_string(row));
            // A damaged row of the database: it matches nothing, the next rows still count.
        }
    }
    return false;
}

void QueueCookieWarnings(const TDataBase& dataBase, WarningSink& queue, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (IsTrackingCookie(dataBase, name)) queue.QueueWarning(std::make_unique<TCookieWarning>(name));
    }
}

bool TCookieScan::Slice(const TDataBase& dataBase, std::uint64_t identity, WarningSink& queue,
                        const NameLister& listNames, const SliceBudget& budget) {
    if (!passUnderWay_ || identity != passIdentity_) {
        names_ = listNames();
        tracking_.assign(names_.size(), false);
        for (std::size_t i = 0; i < names_.size(); ++i) tracking_[i] = names_[i] == kLocalUserCookieName;
        cursor_.Reset();
        passIdentity_ = identity;
        passUnderWay_ = true;
    }
    const TTable* cookies = dataBase.FindTable(kCookiesTable);
    const TColumn* masks = cookies == nullptr ? nullptr : cookies->FindColumn(kFilesMaskColumn);
    const std::size_t rows = masks == nullptr || names_.empty() ? 0 : static_cast<std::size_t>(cookies->RowCount());
    if (!cursor_.Walk(rows, identity, budget, [&](std::size_t row) { TestRow(*masks, static_cast<int>(row)); }))
        return false;
    passUnderWay_ = false;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (tracking_[i]) queue.QueueWarning(std::make_unique<TCookieWarning>(names_[i]));
    }
    return true;
}

void TCookieScan::TestRow(const TColumn& masks, int row) {
    std::string mask;
    if (!masks.GetString(row, mask)) return;
    bool logged = false;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (tracking_[i]) continue;
        try {
            tracking_[i] = MatchesMask(names_[i], mask);
        } catch (const InvalidMaskError&) {
            // A damaged row of the database: it matches nothing (the walk finds the fault only
            // for the names that reach it), the next rows still count.
            if (!logged) LogCaught("CookiesTimer: cookie mask of row " + std::to_string(row));
            logged = true;
        }
    }
}

}  // namespace sentrel
