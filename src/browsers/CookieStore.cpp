#include "browsers/CookieStore.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>

#include <sqlite3.h>

#include "common/Files.h"
#include "database/HostLists.h"

namespace sentrel {

namespace {

// How long a read waits for the browser to let go of a lock before the store counts as held.
constexpr int kBusyWaitMs = 250;

struct Schema {
    const char* table;
    const char* host;
    const char* name;
    const char* path;
    const char* partition;  // optional in older versions
    const char* rowId;      // a column a new row gets anew; nullptr when none
};

constexpr Schema kChromium{"cookies", "host_key", "name", "path", "top_frame_site_key", nullptr};
constexpr Schema kFirefox{"moz_cookies", "host", "name", "path", "originAttributes", "id"};

const Schema& SchemaOf(CookieStoreKind kind) { return kind == CookieStoreKind::Chromium ? kChromium : kFirefox; }

struct DatabaseCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

bool IsBusy(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

[[noreturn]] void Fail(sqlite3* db, int code, const std::string& path, const std::string& doing) {
    const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    if (IsBusy(code))
        throw CookieStoreError(CookieStoreError::Reason::Busy,
                               path + " is in use by the browser (" + detail + "); close the browser first");
    // A store that exists but cannot be opened is held by a browser that shares it with no one.
    if ((code & 0xFF) == SQLITE_CANTOPEN && FileExists(path))
        throw CookieStoreError(CookieStoreError::Reason::Busy,
                               path + " cannot be opened while the browser holds it; close the browser first");
    throw CookieStoreError(CookieStoreError::Reason::Unreadable, path + ": " + doing + " failed: " + detail);
}

Database Open(const std::string& path, bool write) {
    if (!FileExists(path)) throw CookieStoreError(CookieStoreError::Reason::Unreadable, path + " does not exist");
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(path.c_str(), &raw, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr);
    Database db(raw);
    if (code != SQLITE_OK) Fail(db.get(), code, path, "opening");
    sqlite3_busy_timeout(db.get(), kBusyWaitMs);
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

Statement Prepare(sqlite3* db, const std::string& sql, const std::string& path) {
    sqlite3_stmt* raw = nullptr;
    const int code = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    Statement statement(raw);
    if (code != SQLITE_OK) Fail(db, code, path, "reading");
    return statement;
}

void Execute(sqlite3* db, const char* sql, const std::string& path) {
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) Fail(db, code, path, sql);
}

std::string Quoted(std::string_view identifier) {
    std::string quoted = "\"";
    for (const char c : identifier) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// The columns of the store's table; CookieStoreError (UnknownSchema) without the table or one of
// the columns the shield needs. `hasPartition`: the store keeps the partition column.
std::vector<std::string> KnownColumns(sqlite3* db, const Schema& schema, const std::string& path, bool& hasPartition) {
    const Statement info = Prepare(db, "PRAGMA table_info(" + Quoted(schema.table) + ")", path);
    std::vector<std::string> columns;
    for (int code; (code = sqlite3_step(info.get())) != SQLITE_DONE;) {
        if (code != SQLITE_ROW) Fail(db, code, path, "reading its columns");
        columns.push_back(ColumnText(info.get(), 1));
    }
    const auto has = [&](const char* name) { return std::find(columns.begin(), columns.end(), name) != columns.end(); };
    if (!has(schema.host) || !has(schema.name) || !has(schema.path))
        throw CookieStoreError(CookieStoreError::Reason::UnknownSchema,
                               path + " has no table " + schema.table + " with the columns " + schema.host + ", " +
                                   schema.name + " and " + schema.path + ": a store of a browser version not known");
    hasPartition = has(schema.partition);
    return columns;
}

// "host = ? AND name = ? AND path = ?" (and the partition where the store has it).
std::string KeyCondition(const Schema& schema, bool hasPartition) {
    std::string condition = Quoted(schema.host) + " = ?1 AND " + Quoted(schema.name) + " = ?2 AND " +
                            Quoted(schema.path) + " = ?3";
    if (hasPartition) condition += " AND " + Quoted(schema.partition) + " = ?4";
    return condition;
}

void BindKey(sqlite3_stmt* statement, const StoredCookie& cookie, bool hasPartition) {
    sqlite3_reset(statement);
    sqlite3_bind_text(statement, 1, cookie.host.data(), static_cast<int>(cookie.host.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, cookie.name.data(), static_cast<int>(cookie.name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 3, cookie.path.data(), static_cast<int>(cookie.path.size()), SQLITE_TRANSIENT);
    if (hasPartition)
        sqlite3_bind_text(statement, 4, cookie.partition.data(), static_cast<int>(cookie.partition.size()),
                          SQLITE_TRANSIENT);
}

// The transaction of a change: rolled back unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {
        Execute(db_, "BEGIN IMMEDIATE", path_);
    }
    ~Transaction() {
        if (!committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        Execute(db_, "COMMIT", path_);
        committed_ = true;
    }

private:
    sqlite3* db_;
    std::string path_;
    bool committed_ = false;
};

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

std::optional<std::string> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) return std::nullopt;
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// The whole text is one decimal number.
template <typename Number>
bool WholeNumber(std::string_view text, Number& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::vector<StoredCookie> ReadCookieStore(const std::string& path, CookieStoreKind kind, std::size_t maxCookies) {
    const Schema& schema = SchemaOf(kind);
    const Database db = Open(path, false);
    bool hasPartition = false;
    KnownColumns(db.get(), schema, path, hasPartition);
    std::string sql = "SELECT " + Quoted(schema.host) + ", " + Quoted(schema.name) + ", " + Quoted(schema.path);
    if (hasPartition) sql += ", " + Quoted(schema.partition);
    sql += " FROM " + Quoted(schema.table);
    const Statement select = Prepare(db.get(), sql, path);
    std::vector<StoredCookie> cookies;
    for (int code; (code = sqlite3_step(select.get())) != SQLITE_DONE;) {
        if (code != SQLITE_ROW) Fail(db.get(), code, path, "reading its cookies");
        if (cookies.size() == maxCookies)
            throw CookieStoreError(CookieStoreError::Reason::Unreadable,
                                   path + " holds more than " + std::to_string(maxCookies) +
                                       " cookies, more than a browser keeps; it is not read");
        cookies.push_back({ColumnText(select.get(), 0), ColumnText(select.get(), 1), ColumnText(select.get(), 2),
                           hasPartition ? ColumnText(select.get(), 3) : std::string()});
    }
    return cookies;
}

std::vector<TrackerCookies> TrackerCookiesOf(const std::vector<StoredCookie>& cookies, const THostLists& hosts,
                                             const std::function<bool(const std::string& nameAtHost)>& masked) {
    std::map<std::string, std::vector<StoredCookie>> byDomain;
    for (const StoredCookie& cookie : cookies) {
        std::string_view host = cookie.host;
        while (host.starts_with('.')) host.remove_prefix(1);
        if (host.empty()) continue;
        std::string domain;
        if (hosts.IsTrackerHost(host, domain)) {
            byDomain[domain].push_back(cookie);
        } else if (masked && masked(cookie.name + "@" + std::string(host))) {
            domain = hosts.RegistrableDomain(host);
            byDomain[domain.empty() ? NormalizedHost(host) : domain].push_back(cookie);
        }
    }
    std::vector<TrackerCookies> found;
    for (auto& [domain, list] : byDomain) found.push_back({domain, std::move(list)});
    return found;
}

std::vector<KeptCookieRow> DeleteCookies(const std::string& path, CookieStoreKind kind,
                                         const std::vector<StoredCookie>& cookies) {
    const Schema& schema = SchemaOf(kind);
    const Database db = Open(path, true);
    bool hasPartition = false;
    KnownColumns(db.get(), schema, path, hasPartition);
    Transaction transaction(db.get(), path);
    const std::string condition = KeyCondition(schema, hasPartition);
    const Statement select = Prepare(db.get(), "SELECT * FROM " + Quoted(schema.table) + " WHERE " + condition, path);
    const Statement remove = Prepare(db.get(), "DELETE FROM " + Quoted(schema.table) + " WHERE " + condition, path);
    std::vector<KeptCookieRow> kept;
    for (const StoredCookie& cookie : cookies) {
        BindKey(select.get(), cookie, hasPartition);
        for (int code; (code = sqlite3_step(select.get())) != SQLITE_DONE;) {
            if (code != SQLITE_ROW) Fail(db.get(), code, path, "reading a cookie");
            KeptCookieRow row;
            for (int c = 0; c < sqlite3_column_count(select.get()); ++c) {
                KeptCookieRow::Cell cell{sqlite3_column_name(select.get(), c), sqlite3_column_type(select.get(), c)};
                switch (cell.type) {
                case SQLITE_INTEGER: cell.integer = sqlite3_column_int64(select.get(), c); break;
                case SQLITE_FLOAT: cell.real = sqlite3_column_double(select.get(), c); break;
                case SQLITE_TEXT: cell.bytes = ColumnText(select.get(), c); break;
                case SQLITE_BLOB: {
                    const auto* blob = static_cast<const char*>(sqlite3_column_blob(select.get(), c));
                    cell.bytes.assign(blob ? blob : "", static_cast<std::size_t>(sqlite3_column_bytes(select.get(), c)));
                    break;
                }
                default: break;
                }
                row.cells.push_back(std::move(cell));
            }
            kept.push_back(std::move(row));
        }
        BindKey(remove.get(), cookie, hasPartition);
        if (const int code = sqlite3_step(remove.get()); code != SQLITE_DONE) Fail(db.get(), code, path, "deleting a cookie");
    }
    transaction.Commit();
    return kept;
}

int RestoreCookies(const std::string& path, CookieStoreKind kind, const std::vector<KeptCookieRow>& rows) {
    const Schema& schema = SchemaOf(kind);
    const Database db = Open(path, true);
    bool hasPartition = false;
    const std::vector<std::string> columns = KnownColumns(db.get(), schema, path, hasPartition);
    // A kept column the store no longer has: the browser changed its store; nothing is written.
    for (const KeptCookieRow& row : rows)
        for (const KeptCookieRow::Cell& cell : row.cells)
            if (std::find(columns.begin(), columns.end(), cell.column) == columns.end())
                throw CookieStoreError(CookieStoreError::Reason::UnknownSchema,
                                       path + " no longer has the column " + cell.column + "; nothing was put back");
    Transaction transaction(db.get(), path);
    const Statement exists =
        Prepare(db.get(), "SELECT 1 FROM " + Quoted(schema.table) + " WHERE " + KeyCondition(schema, hasPartition), path);
    int restored = 0;
    for (const KeptCookieRow& row : rows) {
        StoredCookie key;
        for (const KeptCookieRow::Cell& cell : row.cells) {
            if (cell.column == schema.host) key.host = cell.bytes;
            if (cell.column == schema.name) key.name = cell.bytes;
            if (cell.column == schema.path) key.path = cell.bytes;
            if (cell.column == schema.partition) key.partition = cell.bytes;
        }
        BindKey(exists.get(), key, hasPartition);
        const int found = sqlite3_step(exists.get());
        if (found == SQLITE_ROW) continue;  // the site set it again meanwhile
        if (found != SQLITE_DONE) Fail(db.get(), found, path, "looking for a cookie");
        std::string names;
        std::string marks;
        std::vector<const KeptCookieRow::Cell*> cells;
        for (const KeptCookieRow::Cell& cell : row.cells) {
            if (schema.rowId && cell.column == schema.rowId) continue;  // a new row gets its own
            names += (names.empty() ? "" : ", ") + Quoted(cell.column);
            marks += marks.empty() ? "?" : ", ?";
            cells.push_back(&cell);
        }
        const Statement insert =
            Prepare(db.get(), "INSERT INTO " + Quoted(schema.table) + " (" + names + ") VALUES (" + marks + ")", path);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const KeptCookieRow::Cell& cell = *cells[i];
            const int index = static_cast<int>(i) + 1;
            switch (cell.type) {
            case SQLITE_INTEGER: sqlite3_bind_int64(insert.get(), index, cell.integer); break;
            case SQLITE_FLOAT: sqlite3_bind_double(insert.get(), index, cell.real); break;
            case SQLITE_TEXT:
                sqlite3_bind_text(insert.get(), index, cell.bytes.data(), static_cast<int>(cell.bytes.size()),
                                  SQLITE_TRANSIENT);
                break;
            case SQLITE_BLOB:
                sqlite3_bind_blob(insert.get(), index, cell.bytes.data(), static_cast<int>(cell.bytes.size()),
                                  SQLITE_TRANSIENT);
                break;
            default: sqlite3_bind_null(insert.get(), index); break;
            }
        }
        if (const int code = sqlite3_step(insert.get()); code != SQLITE_DONE) Fail(db.get(), code, path, "putting a cookie back");
        ++restored;
    }
    transaction.Commit();
    return restored;
}

std::string KeptCookieRowsText(const std::vector<KeptCookieRow>& rows) {
    // "row" starts a row; each cell is "<type> <column in hex> <value>": an integer or a real in
    // decimal, text and blobs in hex.
    std::string text;
    for (const KeptCookieRow& row : rows) {
        text += "row\n";
        for (const KeptCookieRow::Cell& cell : row.cells) {
            text += std::to_string(cell.type) + " " + Hex(cell.column) + " ";
            switch (cell.type) {
            case SQLITE_INTEGER: text += std::to_string(cell.integer); break;
            case SQLITE_FLOAT: {
                char number[64];
                std::snprintf(number, sizeof number, "%.17g", cell.real);
                text += number;
                break;
            }
            case SQLITE_TEXT:
            case SQLITE_BLOB: text += Hex(cell.bytes); break;
            default: break;
            }
            text += "\n";
        }
    }
    return text;
}

std::optional<std::vector<KeptCookieRow>> ParseKeptCookieRows(const std::string& text) {
    std::vector<KeptCookieRow> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        if (line == "row") {
            rows.emplace_back();
            continue;
        }
        if (rows.empty()) return std::nullopt;
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        if (second == std::string_view::npos) return std::nullopt;
        KeptCookieRow::Cell cell;
        const std::string_view type = line.substr(0, first);
        if (!WholeNumber(type, cell.type) || cell.type < 1 || cell.type > 5) return std::nullopt;
        const std::optional<std::string> column = FromHex(line.substr(first + 1, second - first - 1));
        if (!column || column->empty()) return std::nullopt;
        cell.column = *column;
        const std::string_view value = line.substr(second + 1);
        switch (cell.type) {
        case SQLITE_INTEGER:
            if (!WholeNumber(value, cell.integer)) return std::nullopt;
            break;
        case SQLITE_FLOAT: {
            char* endOfNumber = nullptr;
            const std::string number(value);
            cell.real = std::strtod(number.c_str(), &endOfNumber);
            if (number.empty() || *endOfNumber != '\0') return std::nullopt;
            break;
        }
        case SQLITE_TEXT:
        case SQLITE_BLOB: {
            const std::optional<std::string> bytes = FromHex(value);
            if (!bytes) return std::nullopt;
            cell.bytes = *bytes;
            break;
        }
        default: break;
        }
        rows.back().cells.push_back(std::move(cell));
    }
    return rows;
}

}  // namespace sentrel
