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

#include "common/Files.h"
#include "e2e/AlertDriving.h"
#include "monitors/BrowserExtensionsSource.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
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

}  // namespace
}  // namespace sentrel::e2e
