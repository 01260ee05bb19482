// The browsers, end to end at High with made-up Chrome and Firefox profiles and policy keys (no
// browser is installed): the extension present at the first start is taken as it is; a new
// Chrome extension with a localised name, a new Firefox add-on, home page and search engine
// policies and an extension forced on Edge by policy, all planted while the shield is not
// running, are reported at the next start, once each, in plain words; "Shield me" blocks the
// extensions through the block list policies and removes the policies with backup records; Undo
// puts all back exactly.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "common/Files.h"
#include "e2e/AlertDriving.h"
#include "monitors/BrowserExtensionsSource.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "support/CookieStoreSchemas.h"
#include "warnings/Backuper.h"
#include "warnings/FolderTree.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kChrome = "SOFTWARE\\Policies\\Google\\Chrome";
constexpr const char* kBlocklist = "SOFTWARE\\Policies\\Google\\Chrome\\ExtensionInstallBlocklist";
constexpr const char* kFirefox = "SOFTWARE\\Policies\\Mozilla\\Firefox";
constexpr const char* kEdgeForced = "SOFTWARE\\Policies\\Microsoft\\Edge\\ExtensionInstallForcelist";
constexpr const char* kForcedEntry = "cdefghijklmnopabcdefghijklmnopab;https://forced.e2e.example/update.xml";
constexpr const char* kSearchUrl = "http://search.e2e.example/?q={searchTerms}";
constexpr const char* kNewId = "bcdefghijklmnopabcdefghijklmnopa";
constexpr const char* kHomePage = "http://start.e2e.example/";

const std::string kBaseline = AutostartBaselinePath();
const std::string kGoogle = UserBrowserDataFolders().local + "\\Google";
const std::string kMozilla = UserBrowserDataFolders().roaming + "\\Mozilla";
const std::string kUserData = kGoogle + "\\Chrome\\User Data";

void WriteText(const std::string& path, const std::string& text) {
    CreateFolders(FolderPart(path));
    WriteFileAtomically(path, text);
}

void CleanUp() {
    platform::DeleteKeyTree(HKEY_CURRENT_USER, "SOFTWARE\\Policies\\Google");
    platform::DeleteKeyTree(HKEY_CURRENT_USER, "SOFTWARE\\Policies\\Mozilla");
    platform::DeleteKeyTree(HKEY_CURRENT_USER, "SOFTWARE\\Policies\\Microsoft\\Edge");
    DeleteFolderTree(kGoogle);
    DeleteFolderTree(kMozilla);
    DeleteFileA(kBaseline.c_str());
}

std::optional<std::string> ReadString(const std::string& key, const std::string& name) {
    const auto opened = platform::RegistryKey::Open(HKEY_CURRENT_USER, key);
    return opened ? opened->ReadString(name) : std::nullopt;
}

TEST(BrowserWatch, ReportsNewExtensionsAndForcedPoliciesBlocksRemovesAndUndoesThem) {
    CleanUp();
    ShieldFolder folder(SecurityLevel::High);
    WriteText(kUserData + "\\Local State", R"({"profile": {"info_cache": {"Default": {"name": "Person 1"}}}})");
    WriteText(kUserData + "\\Default\\Preferences", "{}");
    WriteText(kUserData + "\\Default\\Extensions\\aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\\1.0_0\\manifest.json",
              R"({"name": "Present Helper", "version": "1.0"})");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kChrome).WriteString("NewTabPageLocation", kHomePage);

    // The first start: the extension there is the baseline, nothing is reported.
    {
        ShieldProcess shield(folder);
        ASSERT_TRUE(shield.WaitUntilStarted());
        ASSERT_TRUE(Eventually([] { return FileExists(kBaseline); })) << "the first pass wrote no baseline";
        if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "alert at the first start: " << AllTexts(alert);
        ASSERT_NO_FATAL_FAILURE(Stop(shield));
    }

    // Planted while the shield is not running; a policy that went is no finding.
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kChrome).DeleteValue("NewTabPageLocation");
    const std::string newFolder = kUserData + "\\Default\\Extensions\\" + kNewId + "\\2.1_0";
    // A name and a profile with a right-to-left override, a line break and a NUL: shown made safe.
    const std::string foxShown =
        "A new extension Meteo \uFFFDFox all is well\uFFFD [hidden] (meteo@e2e.example) was installed in Firefox, "
        "profile default-\uFFFDrelease. Click Shield me to block it in Firefox or Ignore to permit it.";
    WriteText(newFolder + "\\manifest.json", R"({"name": "__MSG_extName__", "default_locale": "fr"})");
    WriteText(newFolder + "\\_locales\\fr\\messages.json", R"({"extName": {"message": "Meteo Partout"}})");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kChrome).WriteString("HomepageLocation", kHomePage);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kChrome).WriteString("DefaultSearchProviderSearchURL", kSearchUrl);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kEdgeForced).WriteString("1", kForcedEntry);
    WriteText(kMozilla + "\\Firefox\\profiles.ini",
              "[Profile0]\r\nName=default-\u202Erelease\r\nIsRelative=1\r\nPath=Profiles/e2e.default-release\r\n");
    WriteText(kMozilla + "\\Firefox\\Profiles\\e2e.default-release\\extensions.json",
              R"({"addons": [{"id": "meteo@e2e.example", "type": "extension", "location": "app-profile",
                  "active": true, "version": "1.0",
                  "defaultLocale": {"name": "Meteo \u202eFox\r\nall is well\u0000 [hidden]"}}]})");

    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const std::vector<std::string> expected = {
        "A new extension Meteo Partout (" + std::string(kNewId) +
            ") was installed in Google Chrome, profile Person 1. Click Shield me to block it in Google Chrome or "
            "Ignore to permit it.",
        "A new setting HomepageLocation was added to the home page forced on Chrome: " + std::string(kHomePage) +
            ". Click Shield me to remove it or Ignore to permit it.",
        foxShown,
        "A new setting DefaultSearchProviderSearchURL was added to the search engine forced on Chrome: " +
            std::string(kSearchUrl) + ". Click Shield me to remove it or Ignore to permit it.",
        "A new setting 1 was added to the extensions forced on Edge: " + std::string(kForcedEntry) +
            ". Click Shield me to remove it or Ignore to permit it.",
    };
    ASSERT_NO_FATAL_FAILURE(ShieldEach(shield, expected));
    TBackuper backuper(folder.Path());
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 5; })) << backuper.GetCount() << " records";
    EXPECT_EQ(ReadString(kBlocklist, "1"), kNewId);
    EXPECT_FALSE(ReadString(kChrome, "HomepageLocation"));
    EXPECT_FALSE(ReadString(kChrome, "DefaultSearchProviderSearchURL"));
    EXPECT_FALSE(ReadString(kEdgeForced, "1"));
    const std::string settings = ReadString(kFirefox, "ExtensionSettings").value_or("");
    EXPECT_NE(settings.find("{\"meteo@e2e.example\":{\"installation_mode\":\"blocked\"}"), std::string::npos)
        << settings;
    EXPECT_TRUE(FileExists(newFolder + "\\manifest.json")) << "the profile's files are never touched";
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "a sixth alert: " << AllTexts(alert);

    // Undo of the five from the restore page: the block entries go, the policy comes back.
    const unsigned long long before = SetLastWriteTimeBack(kBaseline);
    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 5));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << backuper.GetCount() << " records left";
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kBlocklist)) << "the block list key the fix made";
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kFirefox)) << "the policy key the fix made";
    EXPECT_EQ(ReadString(kChrome, "HomepageLocation"), kHomePage);
    EXPECT_EQ(ReadString(kChrome, "DefaultSearchProviderSearchURL"), kSearchUrl);
    EXPECT_EQ(ReadString(kEdgeForced, "1"), kForcedEntry);
    EXPECT_TRUE(Eventually([&] { return LastWriteTime(kBaseline) != before; }));
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(alert);
    Stop(shield);
    CleanUp();
}

// Firefox's preference lines: a home page planted in user.js and a proxy in prefs.js while the
// shield is off are reported once each; Shield me takes out just those lines; Undo puts user.js
// back whole, and into prefs.js, changed since the fix, only the line.
TEST(BrowserWatch, ReportsFirefoxPreferenceLinesRemovesThemAndPutsThemBack) {
    CleanUp();
    ShieldFolder folder(SecurityLevel::High);
    const std::string profile = kMozilla + "\\Firefox\\Profiles\\e2e.default-release";
    WriteText(kMozilla + "\\Firefox\\profiles.ini",
              "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/e2e.default-release\r\n");
    const std::string prefs = "// Mozilla User Preferences\n\nuser_pref(\"browser.startup.homepage\", \"http://own.example/\");\n"
                              "user_pref(\"browser.startup.page\", 1);\n";
    WriteText(profile + "\\prefs.js", prefs);

    {
        ShieldProcess shield(folder);
        ASSERT_TRUE(shield.WaitUntilStarted());
        ASSERT_TRUE(Eventually([] { return FileExists(kBaseline); })) << "the first pass wrote no baseline";
        if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "alert at the first start: " << AllTexts(alert);
        ASSERT_NO_FATAL_FAILURE(Stop(shield));
    }

    const std::string userJs = "\xEF\xBB\xBF// set up by a program\r\nuser_pref(\"browser.startup.homepage\", "
                               "\"http://start.e2e.example/\");\r\nuser_pref(\"general.smoothScroll\", false);\r\n";
    WriteText(profile + "\\user.js", userJs);
    const std::string proxyLine = "user_pref(\"network.proxy.http\", \"proxy.e2e.example\");\n";
    WriteText(profile + "\\prefs.js", prefs + proxyLine);

    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    ASSERT_NO_FATAL_FAILURE(ShieldEach(
        shield, {"The home page of Firefox (profile default-release) was set to http://start.e2e.example/ by the line "
                 "browser.startup.homepage of user.js. Click Shield me to remove the line or Ignore to permit it.",
                 "The proxy setting of Firefox (profile default-release) was set to proxy.e2e.example by the line "
                 "network.proxy.http of prefs.js. Click Shield me to remove the line or Ignore to permit it."}));
    TBackuper backuper(folder.Path());
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 2; })) << backuper.GetCount() << " records";
    EXPECT_EQ(ReadFileText(profile + "\\user.js"),
              "\xEF\xBB\xBF// set up by a program\r\nuser_pref(\"general.smoothScroll\", false);\r\n");
    EXPECT_EQ(ReadFileText(profile + "\\prefs.js"), prefs);
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "a third alert: " << AllTexts(alert);

    // Firefox rewrites prefs.js meanwhile; user.js stays as the fix left it.
    const std::string rewritten = prefs + "user_pref(\"browser.download.dir\", \"C:\\\\Downloads\");\n";
    WriteText(profile + "\\prefs.js", rewritten);
    const unsigned long long before = SetLastWriteTimeBack(kBaseline);
    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 2));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << backuper.GetCount() << " records left";
    if (const HWND box = shield.WaitForMessageBox(0ms)) ADD_FAILURE() << MessageBoxText(box);
    EXPECT_EQ(ReadFileText(profile + "\\user.js"), userJs);
    EXPECT_EQ(ReadFileText(profile + "\\prefs.js"), rewritten + proxyLine);
    EXPECT_TRUE(Eventually([&] { return LastWriteTime(kBaseline) != before; }));
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(alert);
    Stop(shield);
    CleanUp();
}

// A store made as the browser makes it, written here as the browser would (no browser is
// installed): `rows` ordinary cookies to begin with.
class CookieStoreFile {
public:
    CookieStoreFile(const std::string& path, const char* schema, std::string (*row)(const std::string&, int))
        : row_(row) {
        CreateFolders(FolderPart(path));
        EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
        Run(schema);
        for (int i = 0; i < 50; ++i) Add(".site" + std::to_string(i) + ".example", i);
    }
    ~CookieStoreFile() { sqlite3_close(db_); }
    void Add(const std::string& host, int n) { Run(row_(host, n)); }
    void Run(const std::string& sql) {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "") << sql;
        sqlite3_free(error);
    }
    std::string One(const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string text;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0))
            text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return text;
    }

private:
    sqlite3* db_ = nullptr;
    std::string (*row_)(const std::string&, int);
};

std::string ChromeCookie(const std::string& host, int n) {
    return test::ChromeCookieRow(host, "c" + std::to_string(n), n);
}
std::string FirefoxCookie(const std::string& host, int n) {
    return test::FirefoxCookieRow(host, "c" + std::to_string(n), n);
}

TEST(BrowserWatch, TrackingCookiesOfTheStoresAreReportedDeletedExactlyAndPutBack) {
    CleanUp();
    ShieldFolder folder(SecurityLevel::High);
    WriteText(kUserData + "\\Local State", R"({"profile":{"info_cache":{"Default":{"name":"Person 1"}}}})");
    WriteText(kMozilla + "\\Firefox\\profiles.ini",
              "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/e2e.default-release\r\n");
    const std::string chromePath = kUserData + "\\Default\\Network\\Cookies";
    const std::string firefoxPath = kMozilla + "\\Firefox\\Profiles\\e2e.default-release\\cookies.sqlite";
    {
        CookieStoreFile chrome(chromePath, test::kChromeCookieSchema, ChromeCookie);
        CookieStoreFile firefox(firefoxPath, test::kFirefoxCookieSchema, FirefoxCookie);
        ShieldProcess shield(folder);
        ASSERT_TRUE(shield.WaitUntilStarted());
        ASSERT_TRUE(Eventually([] { return FileExists(kBaseline); })) << "the first pass wrote no baseline";
        // The stores are known once a pass has read them (off the window thread).
        ASSERT_TRUE(Eventually([] { return ReadFileText(kBaseline).find("cookies Firefox") != std::string::npos; }, 30s));
        if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "alert for the stores as they were: " << AllTexts(alert);

        // A tracker sets a cookie in each: one alert each, naming the domain and the browser.
        chrome.Add(".scorecardresearch.com", 100);
        firefox.Add(".doubleclick.net", 101);
        const std::string chromeFinding = "Tracking cookies of scorecardresearch.com (1) in Google Chrome, profile Person 1";
        const std::string firefoxFinding = "Tracking cookies of doubleclick.net (1) in Firefox, profile default-release";
        std::vector<std::string> seen;
        for (int i = 0; i < 2; ++i) {
            const HWND alert = WaitForAlert(shield, 30s);
            ASSERT_NE(alert, nullptr) << "alerts so far: " << Joined(seen);
            const std::string texts = AllTexts(alert);
            seen.push_back(texts.find(chromeFinding) != std::string::npos    ? chromeFinding
                           : texts.find(firefoxFinding) != std::string::npos ? firefoxFinding
                                                                               : texts);
            if (seen.back() == chromeFinding) {
                // While the browser holds its store, Shield me says it must be closed, and nothing
                // is lost; the alert stays for the next try.
                SaveWindowPicture(alert, ScreenshotPath("alert-tracking-cookies.bmp"));
                chrome.Run("BEGIN EXCLUSIVE; UPDATE cookies SET value = 'held' WHERE rowid = 1;");
                PostMessageA(FindChildByText(alert, "shield"), BM_CLICK, 0, 0);
                const HWND box = shield.WaitForMessageBox(20s);
                chrome.Run("ROLLBACK;");
                ASSERT_NE(box, nullptr) << "no word of the held store";
                EXPECT_NE(MessageBoxText(box).find("close Google Chrome"), std::string::npos) << MessageBoxText(box);
                PostMessageA(box, WM_CLOSE, 0, 0);
                EXPECT_EQ(chrome.One("SELECT count(*) FROM cookies"), "51");
                ASSERT_TRUE(Eventually([&] { return IsWindowVisible(alert) && IsWindowEnabled(FindChildByText(alert, "shield")); }));
            } else {
                EXPECT_EQ(seen.back(), firefoxFinding);
            }
            ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
            ASSERT_TRUE(Eventually([&] { return !IsWindowVisible(alert) || AllTexts(alert) != texts; }));
        }
        TBackuper backuper(folder.Path());
        ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 2; })) << backuper.GetCount() << " records";
        EXPECT_EQ(chrome.One("SELECT count(*) FROM cookies"), "50");
        EXPECT_EQ(chrome.One("SELECT count(*) FROM cookies WHERE host_key = '.scorecardresearch.com'"), "0");
        EXPECT_EQ(chrome.One("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(firefox.One("SELECT count(*) FROM moz_cookies"), "50");
        EXPECT_EQ(firefox.One("PRAGMA integrity_check"), "ok");

        // Undo puts both back, and the shield does not report them again.
        ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 2));
        EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << backuper.GetCount() << " records left";
        if (const HWND box = shield.WaitForMessageBox(0ms)) ADD_FAILURE() << MessageBoxText(box);
        EXPECT_EQ(chrome.One("SELECT count(*) FROM cookies WHERE host_key = '.scorecardresearch.com'"), "1");
        EXPECT_EQ(firefox.One("SELECT count(*) FROM moz_cookies WHERE host = '.doubleclick.net'"), "1");
        EXPECT_EQ(chrome.One("PRAGMA integrity_check"), "ok");
        if (const HWND again = WaitForAlert(shield, 8s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);
        Stop(shield);
    }
    CleanUp();
}

}  // namespace
}  // namespace sentrel::e2e
