#pragma once
// The warning of tracking cookies in a browser's cookie store (browsers/CookieStore.h): one per
// tracker domain and profile, however many cookies that domain set there.

#include <string>
#include <string_view>
#include <vector>

#include "browsers/CookieStore.h"
#include "warnings/Warning.h"

namespace sentrel {

// Domain is the tracker domain (the tracker list names it), Cookies the cookies of it the store
// held when it was read, Browser and Profile the names the browser shows, Store the store's file
// and Kind its make. PointId is the autostart point of the store, held while the fix and the undo
// change it. Name is the domain.
class CookieStoreWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "CookieStoreWarning";

    CookieStoreWarning(std::string domain, std::vector<StoredCookie> cookies, std::string browser,
                       std::string profile, std::string store, CookieStoreKind kind);
    // True for a CookieStoreWarning of the same store and domain.
    bool AreEqual(const TWarning& other) const override;

    std::string Domain;
    std::vector<StoredCookie> Cookies;
    std::string Browser;
    std::string Profile;
    std::string Store;
    CookieStoreKind Kind;
    std::string PointId;
};

// The record's keys and the file in its folder that keeps the deleted rows.
inline constexpr std::string_view kCookieStoreKey = "Store";
inline constexpr std::string_view kCookieStoreKindKey = "StoreKind";
inline constexpr std::string_view kCookieDomainKey = "Domain";
inline constexpr std::string_view kCookieBrowserKey = "Browser";
inline constexpr std::string_view kCookiePointKey = "Point";
inline constexpr std::string_view kKeptCookiesFileName = "cookies.txt";

namespace texts {
WarningTexts CookieStoreTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
