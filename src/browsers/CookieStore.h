#pragma once
// The browsers' cookie stores: the SQLite database of a Chromium profile (Network\Cookies, table
// "cookies") and of a Firefox profile (cookies.sqlite, table "moz_cookies"). A store is another
// program's file, often open in that program: it is read without disturbing the browser
// (read-only, the browser's locks respected), read by column name so that a newer browser's
// extra columns do not matter, and refused when the columns the shield needs are not there.
// Changes delete exactly the cookies named, in one transaction, and keep every column of what
// they deleted so that it can be put back.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sentrel {

class THostLists;

enum class CookieStoreKind { Chromium, Firefox };

// Why a store could not be read or changed.
class CookieStoreError : public std::runtime_error {
public:
    enum class Reason {
        Unreadable,     // missing, not a database, damaged
        UnknownSchema,  // a database without the table or the columns the shield knows
        Busy,           // the browser holds it: it must be closed first
    };
    CookieStoreError(Reason reason, const std::string& what) : std::runtime_error(what), reason_(reason) {}
    Reason reason() const noexcept { return reason_; }

private:
    Reason reason_;
};

// What names a cookie in its store (with the partition it belongs to, where the store has one).
struct StoredCookie {
    std::string host;  // as stored: ".example.com" for a domain cookie
    std::string name;
    std::string path;
    std::string partition;  // Chromium: top_frame_site_key; Firefox: originAttributes

    bool operator==(const StoredCookie&) const = default;
};

// More than a browser keeps (Chrome keeps some thousands): a store holding more is refused rather
// than read into memory whole.
inline constexpr std::size_t kMaxStoreCookies = 500000;

// Every cookie of a store. CookieStoreError when it cannot be read or holds more than
// `maxCookies`; a store the browser holds gives Reason::Busy.
std::vector<StoredCookie> ReadCookieStore(const std::string& path, CookieStoreKind kind,
                                          std::size_t maxCookies = kMaxStoreCookies);

// The cookies of one tracker domain: its registrable domain (the tracker domain list names it or
// a parent of it) and the cookies set for it or its subdomains.
struct TrackerCookies {
    std::string domain;
    std::vector<StoredCookie> cookies;
};

// The tracker domains among the cookies' hosts, each once, in name order. A cookie of no tracker
// domain still counts where `masked` (the cookie masks of the threat database) takes its
// "name@host" (the host without its leading dot), as a cookie file's name is taken; it is then
// one of its host's registrable domain.
std::vector<TrackerCookies> TrackerCookiesOf(const std::vector<StoredCookie>& cookies, const THostLists& hosts,
                                             const std::function<bool(const std::string& nameAtHost)>& masked = {});

// One deleted row with all its columns, as SQLite typed them, kept to be put back.
struct KeptCookieRow {
    struct Cell {
        std::string column;
        int type = 0;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
        std::int64_t integer = 0;
        double real = 0;
        std::string bytes;  // text or blob
    };
    std::vector<Cell> cells;
};

// Deletes exactly these cookies in one transaction and returns the rows it deleted. Nothing is
// changed when any step fails (CookieStoreError).
std::vector<KeptCookieRow> DeleteCookies(const std::string& path, CookieStoreKind kind,
                                         const std::vector<StoredCookie>& cookies);

// Inserts the rows again, in one transaction, except those whose cookie is there again (the same
// host, name, path and partition); returns how many went back.
int RestoreCookies(const std::string& path, CookieStoreKind kind, const std::vector<KeptCookieRow>& rows);

// The rows as text, one line per cell, and back (for a backup record's file); nothing when the
// text is not such a list.
std::string KeptCookieRowsText(const std::vector<KeptCookieRow>& rows);
std::optional<std::vector<KeptCookieRow>> ParseKeptCookieRows(const std::string& text);

}  // namespace sentrel
