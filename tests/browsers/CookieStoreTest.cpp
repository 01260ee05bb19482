// The browsers' cookie stores, made here with the schemas of today's Chrome and Firefox: read
// without a write, tracker cookies grouped by their domain, exactly those deleted in one
// transaction and put back; stores that are held, damaged or of an unknown make are refused.
#include "browsers/CookieStore.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include "common/Files.h"
#include "database/DataBase.h"
#include "database/HostLists.h"
#include "support/CookieStoreSchemas.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::ChromeCookieRow;
using test::FirefoxCookieRow;
using test::kChromeCookieSchema;
using test::kFirefoxCookieSchema;

class Store {
public:
    explicit Store(const std::string& path) {
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    }
    ~Store() { sqlite3_close(db_); }
    void Run(const std::string& sql) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << sql;
        sqlite3_free(error);
    }
    std::string One(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
        std::string text;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            const auto* cell = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            text = cell ? cell : "";
        }
        sqlite3_finalize(statement);
        return text;
    }

private:
    sqlite3* db_ = nullptr;
};

std::unique_ptr<TDataBase> Lists() {
    auto dataBase = std::make_unique<TDataBase>("unused.db", false, "");
    auto table = std::make_unique<TTable>("TrackerDomains");
    table->AddColumn(std::make_unique<TColumn>("DOMAIN"));
    for (const char* domain : {"doubleclick.net", "scorecardresearch.com"}) {
        table->AddRow();
        table->GetColumn(0)->SetString(table->RowCount() - 1, domain);
    }
    dataBase->AddTable(std::move(table));
    return dataBase;
}

struct Case {
    CookieStoreKind kind;
    const char* schema;
    std::string (*row)(const std::string&, const std::string&, int);
    const char* table;
};

class CookieStores : public ::testing::TestWithParam<Case> {};

TEST_P(CookieStores, TrackerCookiesAreFoundDeletedExactlyAndPutBack) {
    const Case& store = GetParam();
    test::TempFolder folder;
    const std::string path = folder / "Cookies";
    std::string count = std::string("SELECT count(*) FROM ") + store.table;
    {
        Store made(path);
        made.Run(store.schema);
        for (int i = 0; i < 50; ++i)
            made.Run(store.row(i % 2 ? ".site" + std::to_string(i) + ".example" : "www.shop.example",
                               "c" + std::to_string(i), i));
        made.Run(store.row(".scorecardresearch.com", "UID", 100));
        made.Run(store.row("b.scorecardresearch.com", "XID", 101));
        made.Run(store.row(".doubleclick.net", "IDE", 102));
        made.Run(store.row(".notscorecardresearch.com", "UID", 103));
        made.Run(store.row("ads.adnet.example", "id", 104));
    }
    const std::vector<StoredCookie> cookies = ReadCookieStore(path, store.kind);
    ASSERT_EQ(cookies.size(), 55u);
    const auto dataBase = Lists();
    const THostLists hosts(*dataBase);
    ASSERT_EQ(TrackerCookiesOf(cookies, hosts).size(), 2u);
    // The cookie masks take "name@host" as they take a cookie file's name.
    const std::vector<TrackerCookies> trackers =
        TrackerCookiesOf(cookies, hosts, [](const std::string& cookie) { return cookie == "id@ads.adnet.example"; });
    ASSERT_EQ(trackers.size(), 3u);
    EXPECT_EQ(trackers[0].domain, "adnet.example");
    EXPECT_EQ(trackers[1].domain, "doubleclick.net");
    EXPECT_EQ(trackers[2].domain, "scorecardresearch.com");
    ASSERT_EQ(trackers[2].cookies.size(), 2u);

    const std::vector<KeptCookieRow> kept = DeleteCookies(path, store.kind, trackers[2].cookies);
    ASSERT_EQ(kept.size(), 2u);
    {
        Store after(path);
        EXPECT_EQ(after.One(count), "53");
        EXPECT_EQ(after.One("PRAGMA integrity_check"), "ok");
    }
    // Kept as text in the backup, every column as it was.
    const auto parsed = ParseKeptCookieRows(KeptCookieRowsText(kept));
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(KeptCookieRowsText(*parsed), KeptCookieRowsText(kept));
    EXPECT_EQ(RestoreCookies(path, store.kind, *parsed), 2);
    EXPECT_EQ(RestoreCookies(path, store.kind, *parsed), 0) << "a cookie that is there again is left as it is";
    Store restored(path);
    EXPECT_EQ(restored.One(count), "55");
    EXPECT_EQ(restored.One("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(ReadCookieStore(path, store.kind).size(), 55u);
}

INSTANTIATE_TEST_SUITE_P(TodaysBrowsers, CookieStores,
                         ::testing::Values(Case{CookieStoreKind::Chromium, kChromeCookieSchema, ChromeCookieRow, "cookies"},
                                           Case{CookieStoreKind::Firefox, kFirefoxCookieSchema, FirefoxCookieRow, "moz_cookies"}),
                         [](const auto& made) { return made.param.kind == CookieStoreKind::Chromium ? "Chrome" : "Firefox"; });

TEST(CookieStore, HeldDamagedAndUnknownStoresAreRefusedWithoutAWrite) {
    test::TempFolder folder;
    const auto reason = [](const std::string& path, CookieStoreKind kind) {
        try {
            ReadCookieStore(path, kind);
        } catch (const CookieStoreError& error) {
            return error.reason();
        }
        ADD_FAILURE() << path << " was read";
        return CookieStoreError::Reason::Unreadable;
    };
    EXPECT_EQ(reason(folder / "missing", CookieStoreKind::Chromium), CookieStoreError::Reason::Unreadable);
    test::WriteTextFile(folder / "garbage", std::string(5000, 'x'));
    EXPECT_EQ(reason(folder / "garbage", CookieStoreKind::Firefox), CookieStoreError::Reason::Unreadable);
    EXPECT_EQ(ReadFileText(folder / "garbage"), std::string(5000, 'x'));

    const std::string other = folder / "other";
    {
        Store made(other);
        made.Run("CREATE TABLE cookies(domain TEXT, name TEXT);");
    }
    EXPECT_EQ(reason(other, CookieStoreKind::Chromium), CookieStoreError::Reason::UnknownSchema);
    EXPECT_THROW(DeleteCookies(other, CookieStoreKind::Chromium, {{"a", "b", "/", ""}}), CookieStoreError);

    // A store cut short: refused, whatever part of it is left.
    const std::string whole = folder / "whole";
    {
        Store made(whole);
        made.Run(kChromeCookieSchema);
        for (int i = 0; i < 200; ++i) made.Run(ChromeCookieRow("h" + std::to_string(i) + ".example", "n", i));
    }
    try {
        ReadCookieStore(whole, CookieStoreKind::Chromium, 150);
        ADD_FAILURE() << "a store of more cookies than the bound was read";
    } catch (const CookieStoreError& error) {
        EXPECT_EQ(error.reason(), CookieStoreError::Reason::Unreadable);
    }
    const std::string bytes = ReadFileText(whole);
    test::WriteTextFile(folder / "cut", bytes.substr(0, bytes.size() / 3));
    EXPECT_THROW(ReadCookieStore(folder / "cut", CookieStoreKind::Chromium), CookieStoreError);

    // The browser holds its store: the reader says so, and the store keeps every row.
    Store browser(whole);
    browser.Run("BEGIN EXCLUSIVE; DELETE FROM cookies WHERE rowid = 1;");
    EXPECT_EQ(reason(whole, CookieStoreKind::Chromium), CookieStoreError::Reason::Busy);
    try {
        DeleteCookies(whole, CookieStoreKind::Chromium, {{"h5.example", "n", "/", ""}});
        ADD_FAILURE() << "a held store was changed";
    } catch (const CookieStoreError& error) {
        EXPECT_EQ(error.reason(), CookieStoreError::Reason::Busy) << error.what();
    }
    browser.Run("ROLLBACK;");
    EXPECT_EQ(ReadCookieStore(whole, CookieStoreKind::Chromium).size(), 200u);
}

TEST(CookieStore, KeptRowsTextRefusesWhatItDidNotWrite) {
    EXPECT_FALSE(ParseKeptCookieRows("1 6e616d65 5\n"));           // a cell before any row
    EXPECT_FALSE(ParseKeptCookieRows("row\n9 6e616d65 5\n"));      // no such type
    EXPECT_FALSE(ParseKeptCookieRows("row\n3 6e616d65 4g\n"));     // not hex
    EXPECT_FALSE(ParseKeptCookieRows("row\n1 6e616d65 12ab\n"));   // not a number
    EXPECT_TRUE(ParseKeptCookieRows("row\n5 6e616d65 \n2 78 0.5\n"));
}

}  // namespace
}  // namespace sentrel
