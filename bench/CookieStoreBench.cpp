// What reading the browsers' cookie stores costs: a store of today's Chrome and one of today's
// Firefox, 20,000 cookies each (about 5% of them set by tracker domains of the shipped
// TrackerDomains table, the rest by made-up sites), read as the shield reads them
// (ReadCookieStore, then TrackerCookiesOf with the cookie masks of the shipped database) beside
// the floor of any reader: a plain SQLite SELECT of the same four columns stepped through every
// row. Every time is the best of several runs, in the same run. The memory one reading adds is
// measured in a fresh process of this program per store.
//
//   cookie_store_bench [database.db]    the shipped database; default: database.db beside the program
//   cookie_store_bench --make-stores CHROME_STORE FIREFOX_STORE
//                                       only writes the two stores (their folders made as needed)
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sqlite3.h>

#include "browsers/CookieStore.h"
#include "common/Files.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/HostLists.h"
#include "monitors/CookieRules.h"
#include "BenchProcess.h"
#include "support/CookieStoreSchemas.h"


namespace {

using namespace sentrel;
using namespace sentrel::bench;
using Clock = std::chrono::steady_clock;
constexpr int kRepeats = 7;
constexpr int kCookies = 20000;
constexpr int kTrackerShare = 50;       // per thousand cookies
constexpr int kTrackersInUse = 300;     // tracker domains a browser has met
constexpr int kMadeUpSites = 2500;      // sites the rest of the cookies belong to
constexpr int kWarmUpCookies = 100;     // the store that touches the reading code before a measurement
constexpr std::string_view kMemoryOption = "--measure-memory";
constexpr std::string_view kMakeOption = "--make-stores";
volatile std::size_t sinkHole = 0;  // keeps the readings' answers alive

double Ms(double seconds) {
    return seconds * 1e3;
}

std::string DefaultDataBase() {
    return FolderPart(ThisProgram()) + "database.db";
}

// --- The stores --------------------------------------------------------------------------------

constexpr const char* kChromeSchema = test::kChromeCookieSchema;
constexpr const char* kChromeInsert =
    "INSERT INTO cookies VALUES(?1,?2,?3,?4,'',?5,?6,?7,1,?8,?9,1,1,1,?10,2,443,?9,0,?11)";
constexpr const char* kChromeFloor = "SELECT host_key, name, path, top_frame_site_key FROM cookies";

constexpr const char* kFirefoxSchema = test::kFirefoxCookieSchema;
constexpr const char* kFirefoxInsert =
    "INSERT INTO moz_cookies (originAttributes,name,value,host,path,expiry,lastAccessed,creationTime,isSecure,"
    "isHttpOnly,sameSite,isPartitionedAttributeSet) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,1,?9,?10,?11)";
constexpr const char* kFirefoxFloor = "SELECT host, name, path, originAttributes FROM moz_cookies";

// A fixed scramble of a number (splitmix64), so that every run makes the same stores.
std::uint64_t Scrambled(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// One cookie as the stores keep it; `site` is the registrable domain of the page it belongs to
// when it is partitioned (empty otherwise).
struct MadeCookie {
    std::string host;
    std::string name;
    std::string path;
    std::string site;
    std::string value;
    bool domainCookie = false;
};

std::vector<std::string_view> TrackerDomains(const TDataBase& dataBase) {
    const TTable* table = dataBase.FindTable(kTrackerDomainsTable);
    const TColumn* column = table == nullptr ? nullptr : table->FindColumn(kDomainColumn);
    if (column == nullptr || column->Values().empty())
        throw std::runtime_error("the database has no TrackerDomains rows");
    return column->Values();
}

std::string MadeUpSite(std::uint64_t number) {
    static constexpr const char* kEndings[] = {".com", ".com", ".com", ".net", ".org", ".de", ".co.uk", ".fr"};
    char name[32];
    std::snprintf(name, sizeof(name), "s%07llx", static_cast<unsigned long long>(Scrambled(number) & 0xFFFFFFFull));
    return std::string(name) + kEndings[Scrambled(number + 77) % std::size(kEndings)];
}

// The cookies of one browser: `salt` keeps the two browsers' stores apart.
std::vector<MadeCookie> MadeCookies(const std::vector<std::string_view>& trackers, int count, std::uint64_t salt) {
    static constexpr const char* kNames[] = {"_ga", "_gid", "IDE", "uid", "session", "NID", "_fbp", "id",
                                             "csrftoken", "consent", "lang", "__cf_bm", "test_cookie", "AEC"};
    static constexpr const char* kSubdomains[] = {"www.", "", "", "ads.", "cdn.", "pixel."};
    std::vector<MadeCookie> cookies;
    cookies.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::uint64_t seed = salt * 1000003u + static_cast<std::uint64_t>(i);
        const std::uint64_t draw = Scrambled(seed);
        MadeCookie cookie;
        std::string domain;
        const bool tracker = draw % 1000 < kTrackerShare;
        if (tracker) {
            // A browser meets some hundreds of the listed trackers, not all of them.
            const std::uint64_t pick = Scrambled(Scrambled(seed + 1) % kTrackersInUse);
            domain = std::string(trackers[static_cast<std::size_t>(pick % trackers.size())]);
        } else {
            domain = MadeUpSite(Scrambled(seed + 2) % kMadeUpSites);
        }
        cookie.domainCookie = (draw >> 12) % 3 != 0;
        cookie.host = cookie.domainCookie ? "." + domain
                                          : std::string(kSubdomains[(draw >> 16) % std::size(kSubdomains)]) + domain;
        // The number keeps every cookie's key apart.
        cookie.name = std::string(kNames[(draw >> 20) % std::size(kNames)]) + "_" + std::to_string(i);
        cookie.path = (draw >> 24) % 8 == 0 ? "/account" : "/";
        if (tracker && (draw >> 28) % 10 == 0) cookie.site = MadeUpSite(Scrambled(seed + 3) % kMadeUpSites);
        cookie.value.resize(24 + (draw >> 32) % 64);
        static constexpr std::string_view kLetters = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        for (std::size_t c = 0; c < cookie.value.size(); ++c)
            cookie.value[c] = kLetters[Scrambled(seed + c) % kLetters.size()];
        cookies.push_back(std::move(cookie));
    }
    return cookies;
}

struct DatabaseCloser {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const noexcept { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

void Check(sqlite3* db, int code, const std::string& doing) {
    if (code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW)
        throw std::runtime_error(doing + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code)));
}

Database OpenDatabase(const std::string& path, int flags) {
    sqlite3* raw = nullptr;
    const int code = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    Database db(raw);
    Check(db.get(), code, "opening " + path);
    return db;
}

Statement PrepareStatement(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql, -1, &raw, nullptr), sql);
    return Statement(raw);
}

void Execute(sqlite3* db, const char* sql) {
    Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Writes a new store of the kind with the cookies, in one transaction, as the browser would have
// it after a while of browsing.
void MakeStore(const std::string& path, CookieStoreKind kind, const std::vector<MadeCookie>& cookies) {
    std::error_code ignored;
    const std::filesystem::path file(std::u8string(path.begin(), path.end()));
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    for (const char* ending : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path + ending, ignored);
    const bool chrome = kind == CookieStoreKind::Chromium;
    const Database db = OpenDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Execute(db.get(), chrome ? kChromeSchema : kFirefoxSchema);
    Execute(db.get(), "BEGIN");
    const Statement insert = PrepareStatement(db.get(), chrome ? kChromeInsert : kFirefoxInsert);
    std::int64_t stamp = chrome ? 13350000000000000 : 1700000000000000;  // microseconds, each browser's epoch
    for (const MadeCookie& cookie : cookies) {
        stamp += 1000000 + static_cast<std::int64_t>(Scrambled(static_cast<std::uint64_t>(stamp)) % 60000000);
        sqlite3_stmt* row = insert.get();
        sqlite3_reset(row);
        if (chrome) {
            // The value is kept encrypted: "v10", a nonce, the cipher text and its tag.
            const std::string encrypted = "v10" + cookie.value + std::string(28, '\xA5');
            sqlite3_bind_int64(row, 1, stamp);
            BindText(row, 2, cookie.host);
            BindText(row, 3, cookie.site.empty() ? std::string() : "https://" + cookie.site);
            BindText(row, 4, cookie.name);
            sqlite3_bind_blob(row, 5, encrypted.data(), static_cast<int>(encrypted.size()), SQLITE_TRANSIENT);
            BindText(row, 6, cookie.path);
            sqlite3_bind_int64(row, 7, stamp + 34128000000000);  // about 13 months on
            sqlite3_bind_int(row, 8, cookie.domainCookie ? 0 : 1);
            sqlite3_bind_int64(row, 9, stamp + 5000000);
            sqlite3_bind_int(row, 10, cookie.site.empty() ? 1 : 0);
            sqlite3_bind_int(row, 11, cookie.site.empty() ? 0 : 1);
        } else {
            BindText(row, 1, cookie.site.empty() ? std::string() : "^partitionKey=%28https%2C" + cookie.site + "%29");
            BindText(row, 2, cookie.name);
            BindText(row, 3, cookie.value);
            BindText(row, 4, cookie.host);
            BindText(row, 5, cookie.path);
            sqlite3_bind_int64(row, 6, stamp / 1000 + 34128000000);  // milliseconds
            sqlite3_bind_int64(row, 7, stamp + 5000000);
            sqlite3_bind_int64(row, 8, stamp);
            sqlite3_bind_int(row, 9, cookie.domainCookie ? 0 : 1);
            sqlite3_bind_int(row, 10, cookie.site.empty() ? 1 : 0);
            sqlite3_bind_int(row, 11, cookie.site.empty() ? 0 : 1);
        }
        Check(db.get(), sqlite3_step(row), "writing " + path);
    }
    Execute(db.get(), "COMMIT");
}

struct Stores {
    std::string chrome;
    std::string firefox;
};

void MakeStores(const TDataBase& dataBase, const Stores& stores, int count) {
    const std::vector<std::string_view> trackers = TrackerDomains(dataBase);
    MakeStore(stores.chrome, CookieStoreKind::Chromium, MadeCookies(trackers, count, 1));
    MakeStore(stores.firefox, CookieStoreKind::Firefox, MadeCookies(trackers, count, 2));
}

// --- Reading -----------------------------------------------------------------------------------

struct Found {
    std::size_t domains = 0;
    std::size_t cookies = 0;
};

Found Count(const std::vector<TrackerCookies>& trackers) {
    Found found{trackers.size(), 0};
    for (const TrackerCookies& tracker : trackers) found.cookies += tracker.cookies.size();
    return found;
}

// The shield's reading of a store: every cookie, then the trackers' among them.
class Reader {
public:
    explicit Reader(const TDataBase& dataBase) : dataBase_(dataBase), hosts_(dataBase) {}

    std::vector<TrackerCookies> Trackers(const std::vector<StoredCookie>& cookies) const {
        return TrackerCookiesOf(cookies, hosts_,
                                [this](const std::string& cookie) { return IsTrackingCookie(dataBase_, cookie); });
    }
    // The tracker domain list alone, without the cookie masks.
    std::vector<TrackerCookies> ListedTrackers(const std::vector<StoredCookie>& cookies) const {
        return TrackerCookiesOf(cookies, hosts_);
    }
    const THostLists& Hosts() const { return hosts_; }

private:
    const TDataBase& dataBase_;
    THostLists hosts_;
};

// The floor: the four columns of every row, as plainly as SQLite gives them.
std::size_t PlainSelect(const std::string& path, const char* sql) {
    const Database db = OpenDatabase(path, SQLITE_OPEN_READONLY);
    const Statement select = PrepareStatement(db.get(), sql);
    std::size_t bytes = 0;
    int code;
    while ((code = sqlite3_step(select.get())) == SQLITE_ROW)
        for (int column = 0; column < 4; ++column) {
            sinkHole = sinkHole + reinterpret_cast<std::uintptr_t>(sqlite3_column_text(select.get(), column));
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(select.get(), column));
        }
    Check(db.get(), code, "reading " + path);
    return bytes;
}

// --- Memory ------------------------------------------------------------------------------------

CookieStoreKind KindNamed(std::string_view name) {
    return name == "chrome" ? CookieStoreKind::Chromium : CookieStoreKind::Firefox;
}

// The child's side: the process's memory before one reading of `path`, after it with the cookies
// and the trackers' cookies held, and after the cookies are let go (the trackers' kept, as the
// shield keeps them). The reading code is touched first, on `warmUp`, so that its pages are not
// counted.
int PrintMemoryOfOneReading(const std::string& dataBasePath, const std::string& path, const std::string& warmUp,
                            CookieStoreKind kind) {
    const TDataBase dataBase(dataBasePath, true, std::string(kDataBasePassPhrase));
    const Reader reader(dataBase);
    sinkHole = sinkHole + reader.Trackers(ReadCookieStore(warmUp, kind)).size();
    const MemoryFigures before = ProcessMemory();
    auto cookies = std::make_unique<std::vector<StoredCookie>>(ReadCookieStore(path, kind));
    const std::vector<TrackerCookies> trackers = reader.Trackers(*cookies);
    const MemoryFigures read = ProcessMemory();
    cookies.reset();
    const MemoryFigures kept = ProcessMemory();
    for (std::size_t i = 0; i < before.size(); ++i)
        std::printf("%lld %lld %lld\n", static_cast<long long>(before[i]), static_cast<long long>(read[i]),
                    static_cast<long long>(kept[i]));
    sinkHole = sinkHole + trackers.size();
    return 0;
}

void PrintMemoryOfOneReading(const std::string& label, const std::string& dataBase, const std::string& path,
                             const std::string& warmUp, const char* kind) {
    const std::string output = OutputOf(Quoted(ThisProgram()) + " " + std::string(kMemoryOption) + " " +
                                        Quoted(dataBase) + " " + Quoted(path) + " " + Quoted(warmUp) + " " + kind);
    const char* next = output.c_str();
    for (const char* name : kMemoryNames) {
        long long before = 0;
        long long read = 0;
        long long kept = 0;
        int used = 0;
        if (std::sscanf(next, "%lld %lld %lld%n", &before, &read, &kept, &used) != 3)
            throw std::runtime_error("the memory measurement answered: " + output);
        next += used;
        std::printf("  %-8s %-14s before %8.2f MB   after the reading %8.2f MB (%+7.2f MB)   "
                    "cookies let go %8.2f MB (%+7.2f MB)\n",
                    label.c_str(), name, before / 1048576.0, read / 1048576.0, (read - before) / 1048576.0,
                    kept / 1048576.0, (kept - before) / 1048576.0);
    }
}

// --- The run -----------------------------------------------------------------------------------

struct StoreCase {
    const char* label;
    const char* kindName;
    CookieStoreKind kind;
    const char* floorSql;
    std::string path;
    std::string warmUp;
};

int Run(const std::string& shipped) {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() /
        ("sentrel-cookie-store-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(base);
    const std::string folder = base.string() + std::string(1, kPathSeparator);

    const TDataBase dataBase(shipped, true, std::string(kDataBasePassPhrase));
    const Reader reader(dataBase);
    const Stores stores{folder + "Cookies", folder + "cookies.sqlite"};
    const Stores warmUps{folder + "warm-up-Cookies", folder + "warm-up-cookies.sqlite"};
    MakeStores(dataBase, stores, kCookies);
    MakeStores(dataBase, warmUps, kWarmUpCookies);
    std::printf("Shipped database %s: %d tracker domains\n", shipped.c_str(), reader.Hosts().TrackerDomainCount());
    std::vector<StoreCase> cases = {
        {"Chrome", "chrome", CookieStoreKind::Chromium, kChromeFloor, stores.chrome, warmUps.chrome},
        {"Firefox", "firefox", CookieStoreKind::Firefox, kFirefoxFloor, stores.firefox, warmUps.firefox},
    };
    for (const StoreCase& store : cases)
        std::printf("  %-8s store of %d cookies: %lld bytes\n", store.label, kCookies,
                    static_cast<long long>(FileSize(store.path)));

    std::printf("\nReading one store (best of %d)  ReadCookieStore  TrackerCookiesOf (masks off)      both"
                "  floor: plain SELECT\n",
                kRepeats);
    for (const StoreCase& store : cases) {
        std::vector<StoredCookie> cookies;
        const double read = Best([&] { cookies = ReadCookieStore(store.path, store.kind); });
        std::vector<TrackerCookies> trackers;
        const double find = Best([&] { trackers = reader.Trackers(cookies); });
        const double listed = Best([&] { sinkHole = sinkHole + reader.ListedTrackers(cookies).size(); });
        const double both =
            Best([&] { sinkHole = sinkHole + reader.Trackers(ReadCookieStore(store.path, store.kind)).size(); });
        const double floor = Best([&] { sinkHole = sinkHole + PlainSelect(store.path, store.floorSql); });
        std::printf("  %-8s %6zu cookies        %8.2f ms       %8.2f ms  (%7.2f ms) %8.2f ms  %8.2f ms"
                    "  (both: %.1fx the floor)\n",
                    store.label, cookies.size(), Ms(read), Ms(find), Ms(listed), Ms(both), Ms(floor), both / floor);
        const Found found = Count(trackers);
        std::printf("           found: %zu tracker domains, %zu tracker cookies\n", found.domains, found.cookies);
    }

    std::printf("\nMemory one reading adds to a fresh process with the shipped database loaded\n");
    for (const StoreCase& store : cases)
        PrintMemoryOfOneReading(store.label, shipped, store.path, store.warmUp, store.kindName);

    std::error_code ignored;
    std::filesystem::remove_all(base, ignored);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 6 && argv[1] == kMemoryOption)
            return PrintMemoryOfOneReading(argv[2], argv[3], argv[4], KindNamed(argv[5]));
        if (argc == 4 && argv[1] == kMakeOption) {
            const TDataBase dataBase(DefaultDataBase(), true, std::string(kDataBasePassPhrase));
            MakeStores(dataBase, {argv[2], argv[3]}, kCookies);
            std::printf("made %s and %s, %d cookies each\n", argv[2], argv[3], kCookies);
            return 0;
        }
        if (argc > 1 && std::string_view(argv[1]).starts_with("--")) {
            std::fprintf(stderr,
                         "usage: cookie_store_bench [database.db] | --make-stores CHROME_STORE FIREFOX_STORE\n");
            return 2;
        }
        return Run(argc > 1 ? argv[1] : DefaultDataBase());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "cookie_store_bench: %s\n", error.what());
        return 1;
    }
}
