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

}  // namespace sentrel
