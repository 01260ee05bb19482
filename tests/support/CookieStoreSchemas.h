#pragma once
// The cookie stores of today's browsers as the tests make them: the tables of Chrome's
// Network\Cookies and of Firefox's cookies.sqlite (in WAL mode), and one row of each.

#include <string>

namespace sentrel::test {

inline constexpr const char* kChromeCookieSchema =
    "CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
    "CREATE TABLE cookies(creation_utc INTEGER NOT NULL,host_key TEXT NOT NULL,top_frame_site_key TEXT NOT NULL,"
    "name TEXT NOT NULL,value TEXT NOT NULL,encrypted_value BLOB NOT NULL,path TEXT NOT NULL,"
    "expires_utc INTEGER NOT NULL,is_secure INTEGER NOT NULL,is_httponly INTEGER NOT NULL,"
    "last_access_utc INTEGER NOT NULL,has_expires INTEGER NOT NULL,is_persistent INTEGER NOT NULL,"
    "priority INTEGER NOT NULL,samesite INTEGER NOT NULL,source_scheme INTEGER NOT NULL,"
    "source_port INTEGER NOT NULL,last_update_utc INTEGER NOT NULL,source_type INTEGER NOT NULL,"
    "has_cross_site_ancestor INTEGER NOT NULL);"
    "CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, top_frame_site_key, has_cross_site_ancestor, "
    "name, path, source_scheme, source_port);"
    "INSERT INTO meta VALUES('version','24');";

inline constexpr const char* kFirefoxCookieSchema =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT NULL DEFAULT '', name TEXT, "
    "value TEXT, host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime INTEGER, "
    "isSecure INTEGER, isHttpOnly INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0, "
    "schemeMap INTEGER DEFAULT 0, isPartitionedAttributeSet INTEGER DEFAULT 0, "
    "CONSTRAINT moz_uniqueid UNIQUE (name, host, path, originAttributes));"
    "PRAGMA user_version = 15;";

// A Chrome row: the encrypted value is a blob with a zero byte in it, as Chrome's are.
inline std::string ChromeCookieRow(const std::string& host, const std::string& name, int n) {
    return "INSERT INTO cookies VALUES(" + std::to_string(13300000000000000 + n) + ",'" + host + "','','" + name +
           "','',X'76313000ff41','/'," + std::to_string(13400000000000000 + n) + ",1,0,0,1,1,1,0,2,443,0,0,0);";
}

inline std::string FirefoxCookieRow(const std::string& host, const std::string& name, int n) {
    return "INSERT INTO moz_cookies (originAttributes,name,value,host,path,expiry,lastAccessed,creationTime,isSecure,"
           "isHttpOnly) VALUES('','" + name + "','v" + std::to_string(n) + "','" + host + "','/',1900000000," +
           std::to_string(n) + "," + std::to_string(n) + ",0,0);";
}

}  // namespace sentrel::test
