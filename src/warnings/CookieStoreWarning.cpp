#include "warnings/CookieStoreWarning.h"

#include <utility>

#include "common/SafeDisplayText.h"

namespace sentrel {

CookieStoreWarning::CookieStoreWarning(std::string domain, std::vector<StoredCookie> cookies, std::string browser,
                                       std::string profile, std::string store, CookieStoreKind kind)
    : TWarning(ShieldWarningKind(kClassName), domain),
      Domain(std::move(domain)),
      Cookies(std::move(cookies)),
      Browser(std::move(browser)),
      Profile(std::move(profile)),
      Store(std::move(store)),
      Kind(kind) {}

bool CookieStoreWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const CookieStoreWarning*>(&other);
    return same && same->Store == Store && same->Domain == Domain;
}

namespace texts {

WarningTexts CookieStoreTexts(const TWarning& found) {
    const auto& warning = WarningAs<CookieStoreWarning>(found);
    const std::string domain = ShownName(warning.Domain);
    const std::string where = ShownName(warning.Browser) + ", profile " + ShownName(warning.Profile);
    return {.title = "Tracking cookie was found!",
            .description = "Tracking cookies of " + domain + " (" + std::to_string(warning.Cookies.size()) + ") in " +
                           where,
            .picture = "bug",
            .backupLine = "Restore tracking cookies of " + domain + " in " + where,
            .identity = ShownPath(warning.Store)};
}

}  // namespace texts
}  // namespace sentrel
