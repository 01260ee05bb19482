#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "browsers/BlockLists.h"
#include "browsers/ChromiumExtensions.h"
#include "browsers/FirefoxPrefs.h"
#include "browsers/FirefoxProfiles.h"
#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

// Writes a file under a folder, creating the folders on its way; `relative` is UTF-8 with '/'.
void Put(const std::string& folder, const std::string& relative, const std::string& text) {
    const std::string utf8 = folder + relative;
    const std::filesystem::path path(std::u8string(utf8.begin(), utf8.end()));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

const BrowserExtension* Find(const ExtensionList& list, const std::string& id) {
    for (const BrowserExtension& extension : list.extensions) {
        if (extension.id == id) return &extension;
    }
    return nullptr;
}

TEST(ChromiumExtensions, ReadsEveryProfileWithLocalisedNames) {
    test::TempFolder temp;
    const auto browsers = ChromiumBrowsersUnder(temp.Path() + "Local");
    const ChromiumBrowser& chrome = browsers.front();
    const std::string data = chrome.userDataFolder + "/";
    Put(data, "Local State",
        R"({"profile":{"info_cache":{"Default":{"name":"Личный"},"Profile 1":{"name":"Work"},"../..":{"name":"x"}}}})");
    Put(data, "Default/Preferences", "{}");
    Put(data, "Profile 1/Preferences", "{}");
    Put(data, "Profile 7/Bookmarks", "{}");  // neither listed nor with Preferences: no profile
    const std::string id = "abcdefghijklmnopabcdefghijklmnop";
    const std::string old = data + "Default/Extensions/" + id + "/1.9_0/";
    const std::string current = data + "Default/Extensions/" + id + "/1.10_0/";
    Put(old, "manifest.json", R"({"name":"Old","version":"1.9"})");
    Put(current, "manifest.json",
        R"j({"name":"__MSG_extName__ (beta)","version":"1.10","default_locale":"ru","description":"__MSG_missing__",
            "update_url":"https://updates.example/crx",
            "chrome_settings_overrides":{"homepage":"https://start.example/","search_provider":
            {"name":"__MSG_extName__","search_url":"https://find.example/?q={searchTerms}","is_default":true}}})j");
    Put(current, "_locales/ru/messages.json", R"({"ExtName":{"message":"Блокировщик"}})");
    Put(data, "Profile 1/Extensions/" + id + "/2.0_0/manifest.json", "{\"name\": \"cut off");

    const ExtensionList list = ReadChromiumExtensions(chrome);
    ASSERT_EQ(list.extensions.size(), 2u);
    const BrowserExtension& first = list.extensions[0];
    EXPECT_EQ(first.browser, "Google Chrome");
    EXPECT_EQ(first.profile, "Личный");
    EXPECT_EQ(first.name, "Блокировщик (beta)");
    EXPECT_EQ(first.version, "1.10");
    EXPECT_EQ(first.description, "__MSG_missing__");
    EXPECT_EQ(first.overrides.homePage, "https://start.example/");
    EXPECT_EQ(first.updateUrl, "https://updates.example/crx");
    EXPECT_EQ(first.overrides.searchName, "Блокировщик");
    EXPECT_TRUE(first.overrides.searchIsDefault);
    // A damaged manifest still lists the extension under its id, with the problem.
    const BrowserExtension& second = list.extensions[1];
    EXPECT_EQ(second.profile, "Work");
    EXPECT_EQ(second.name, id);
    ASSERT_EQ(list.problems.size(), 1u);
    EXPECT_NE(list.problems[0].path.find("Profile 1"), std::string::npos);

    EXPECT_TRUE(ReadChromiumExtensions(browsers[1]).extensions.empty());  // Edge is not installed
}

TEST(FirefoxProfiles, ReadsAddonsAndWatchedPreferences) {
    test::TempFolder temp;
    const std::string firefox = temp.Path() + "Mozilla/Firefox";
    const std::string elsewhere = firefox + "/Другой профиль";
    Put(firefox + "/", "profiles.ini",
        "[Install308046B0AF4A39CB]\r\nDefault=Profiles/абв.default-release\r\n\r\n"
        "[Profile0]\r\nName=default-release\r\nIsRelative=1\r\nPath=Profiles/абв.default-release\r\nDefault=1\r\n\r\n"
        "[Profile1]\r\nName=Второй\r\nIsRelative=0\r\nPath=" + elsewhere + "\r\n");
    const std::string first = firefox + "/Profiles/абв.default-release/";
    Put(first, "extensions.json",
        R"({"schemaVersion":36,"addons":[
            {"id":"spy@example.com","version":"2.1","type":"extension","location":"app-profile","active":true,
             "defaultLocale":{"name":"Помощник покупок"}},
            {"id":"formautofill@mozilla.org","type":"extension","location":"app-builtin","active":false}]})");
    Put(first, "extensions/dropped@example.com.xpi", "PK");
    // Waiting for the next start: a new add-on in both shapes, and an update of one installed.
    Put(first, "extensions/staged/waiting@example.com.xpi", "PK");
    Put(first, "extensions/staged/waiting@example.com.json", "{}");
    Put(first, "extensions/staged/unpacked@example.com/manifest.json", "{}");
    Put(first, "extensions/staged/dropped@example.com.xpi", "PK");
    Put(first, "prefs.js",
        "// Mozilla User Preferences\n"
        "user_pref(\"browser.startup.homepage\", \"https://start.example/|https://\\u0436.example/\");\n"
        "user_pref(\"browser.startup.page\", 1);\n"
        "user_pref(\"app.update.lastUpdateTime\", 1700000000);\n");
    Put(first, "user.js", "/*\nuser_pref(\"browser.startup.homepage\", \"commented out\");\n*/\n"
                          "user_pref('browser.search.defaultenginename', 'Find'); // set by a program\n");
    Put(elsewhere + "/", "extensions.json", "{\"addons\": [");
    Put(elsewhere + "/", "extensions/{0f5e2a6c-1111-2222-3333-444455556666}.xpi", "PK");

    const ExtensionList list = ReadFirefoxExtensions(firefox);
    ASSERT_EQ(list.extensions.size(), 6u);
    const BrowserExtension* spy = Find(list, "spy@example.com");
    ASSERT_NE(spy, nullptr);
    EXPECT_EQ(spy->browser, "Firefox");
    EXPECT_EQ(spy->profile, "default-release");
    EXPECT_EQ(spy->name, "Помощник покупок");
    EXPECT_FALSE(spy->builtIn);
    EXPECT_TRUE(Find(list, "formautofill@mozilla.org")->builtIn);
    EXPECT_EQ(Find(list, "dropped@example.com")->profile, "default-release");
    EXPECT_EQ(Find(list, "waiting@example.com")->profile, "default-release");
    EXPECT_NE(Find(list, "unpacked@example.com"), nullptr);
    const BrowserExtension* fallback = Find(list, "{0f5e2a6c-1111-2222-3333-444455556666}");
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(fallback->profile, "Второй");
    ASSERT_EQ(list.problems.size(), 1u);  // the damaged extensions.json

    const FirefoxPrefSettings prefs = ReadFirefoxPrefSettings(firefox);
    ASSERT_EQ(prefs.settings.size(), 3u);
    EXPECT_EQ(prefs.settings[0].line.value, "https://start.example/|https://ж.example/");
    EXPECT_EQ(prefs.settings[0].line.kind, FirefoxPrefKind::HomePage);
    EXPECT_EQ(prefs.settings[1].line.kind, FirefoxPrefKind::StartupMode);
    EXPECT_EQ(prefs.settings[2].line.name, "browser.search.defaultenginename");
    EXPECT_EQ(prefs.settings[2].line.value, "Find");
}

TEST(FirefoxProfiles, APathOutOfTheFirefoxFolderIsNotFollowed) {
    const std::string firefox = "C:\\Users\\u\\AppData\\Roaming\\Mozilla\\Firefox";
    const std::string ini =
        "[Profile0]\nName=a\nPath=Profiles/a\n[Profile1]\nPath=Profiles/../../x\n"
        "[Profile2]\nName=b\nPath=..\\Firefox\\b\n"
        "[Profile3]\nPath=C:\\W\n[Profile4]\nName=c\nPath=c:\\users\\U\\AppData\\Roaming\\Mozilla\\Firefox\\c\n"
        "[Profile5]\nPath=" + firefox + "\n[Profile6]\nPath=. ./d\n[Profile7]\nPath=C:e\n[Install1]\nDefault=../F2\n";
    std::vector<std::string> outside;
    std::string names;
    for (const FirefoxProfile& profile : ParseProfilesIni(ini, firefox, &outside)) names += profile.name;
    EXPECT_EQ(names, "abc");
    EXPECT_EQ(outside.size(), 6u);
}

TEST(FirefoxPrefs, RemovingALineKeepsEveryOtherByte) {
    const std::string before = "\xEF\xBB\xBFuser_pref(\"a\", true);\r\n";
    const std::string target = "user_pref(\"browser.startup.homepage\", \"https://evil.example/\");\r\n";
    const std::string after = "user_pref(\"b\", \"x\\\"y\");\r\nstray \x01\xFF bytes";
    const std::string text = before + "  // " + target + target + after;
    const auto lines = ParsePrefLines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].name, "a");
    EXPECT_EQ(lines[1].offset, before.size() + 5 + target.size());
    EXPECT_EQ(lines[2].value, "x\"y");

    EXPECT_EQ(RemovePrefLine(text, lines[0]), "\xEF\xBB\xBF  // " + target + target + after);  // the mark stays
    FirefoxPrefLine line = lines[1];
    EXPECT_EQ(RemovePrefLine(text, line), before + "  // " + target + after);
    line.offset = 3;  // recorded in an older text: found again as a whole line by its bytes
    EXPECT_EQ(RemovePrefLine(text, line), before + "  // " + target + after);
    EXPECT_FALSE(RemovePrefLine(before + after, line));

    EXPECT_EQ(PutBackPrefLine(before + after, line), before + after + "\r\n" + target);
    EXPECT_EQ(PutBackPrefLine(text, line), text);

    // A statement sharing its line is taken out alone.
    const std::string shared = "user_pref(\"a\", 1);  user_pref(\"browser.startup.page\", 3); // x\n";
    const FirefoxPrefLine second = ParsePrefLines(shared).at(1);
    EXPECT_EQ(second.kind, FirefoxPrefKind::StartupMode);
    EXPECT_EQ(RemovePrefLine(shared, second), "user_pref(\"a\", 1);   // x\n");
    // A comment the line opens stays open, so that the lines in it stay asleep.
    const std::string opening = "user_pref(\"browser.startup.page\", 3); /* old:\nuser_pref(\"x\", 1);\n*/\n";
    EXPECT_EQ(RemovePrefLine(opening, ParsePrefLines(opening).at(0)), " /* old:\nuser_pref(\"x\", 1);\n*/\n");
}

TEST(FirefoxPrefs, TheUndoPutsTheFileBackWhileUnchangedElseOnlyTheLines) {
    const std::string hijack = "user_pref(\"browser.startup.homepage\", \"http://evil.example/\");";
    const std::string own = "user_pref(\"browser.startup.homepage\", \"http://own.example/\");\n";
    const std::string before = own + hijack + "\n" + "user_pref(\"a\", 1); " + hijack + "\n";
    const auto removal = RemovePrefStatements(before, "browser.startup.homepage", "http://evil.example/");
    ASSERT_TRUE(removal);
    ASSERT_EQ(removal->removed.size(), 2u);  // its own line, and the statement sharing a line
    EXPECT_EQ(removal->text, own + "user_pref(\"a\", 1); \n");
    EXPECT_FALSE(RemovePrefStatements(removal->text, "browser.startup.homepage", "http://evil.example/"));

    // Unchanged since: the file as it was, byte for byte (the shared line included).
    EXPECT_EQ(UndoPrefRemoval(removal->text, before, removal->text, removal->removed), before);
    // Changed since: the change stays and the statement comes back after it (once), so that it wins.
    const std::string changed = removal->text + "user_pref(\"b\", 2);\n";
    EXPECT_EQ(UndoPrefRemoval(changed, before, removal->text, removal->removed), changed + hijack + "\n");
    // Gone since: the statement alone.
    EXPECT_EQ(UndoPrefRemoval(std::nullopt, before, removal->text, removal->removed), hijack + "\n");
}

TEST(FirefoxPrefs, FindsAStatementWhereverFirefoxReadsOneAndRemovesOnlyIt) {
    const std::string evil = "user_pref(\"browser.startup.homepage\", \"http://evil\");", a = "user_pref(\"a\", 1);";
    const std::pair<std::string, std::string> cases[] = {  // a text, and that text once the fix took `evil` out
        {"/**/" + evil + "\n" + a, "/**/\n" + a},
        {a + " " + evil + " // x\n", a + "  // x\n"},
        {a + "\n  user_pref(\"browser.startup.homepage\",\n \"http://evil\"); /* x */\r\n" + a, a + "\n" + a},
        {a + "\r" + evil + "\r" + a + "\r", a + "\r" + a + "\r"},
        {"/* note */ " + evil + "\r\n", "/* note */ \r\n"},
        {"/* old:\n" + a + "\n*/ " + evil + "\n" + a, "/* old:\n" + a + "\n*/ \n" + a},
    };
    for (const auto& [text, without] : cases) {
        const auto removal = RemovePrefStatements(text, "browser.startup.homepage", "http://evil");
        ASSERT_TRUE(removal && removal->removed.size() == 1) << text;
        EXPECT_EQ(removal->text, without);
    }
}

TEST(FirefoxPrefs, SkipsWhatFirefoxSkipsUpToTheNextSemicolon) {
    std::string names;  // a bad escape spoils its string; a missing ';' takes the next statement along
    const std::string text = "user_pref('a', 'x\\q;'); user_pref('b', 1)\nuser_pref('c', 2); user_pref('d', \"x;"
                             "user_pref('e', 3);\"); xuser_pref('f', 4); # x\rpref('g', - 2147483648); pref('h', "
                             "2147483648); sticky_pref('i', +7, locked); /* user_pref('j', 5);";
    for (const FirefoxPrefLine& line : ParsePrefLines(text)) names += line.name + "=" + line.value + " ";
    EXPECT_EQ(names, "d=x;user_pref('e', 3); g=-2147483648 i=+7 ");
}

TEST(BlockLists, ChromiumBlocklistTakesTheLowestFreeNumber) {
    const std::string a(32, 'a'), b(32, 'b'), c(32, 'c');
    const std::vector<RegistryStringValue> values = {{"1", a}, {"3", " " + std::string(32, 'C')}, {"Note", "x"}};
    const BlocklistPlace place = PlaceInBlocklist(values, b).value();
    EXPECT_EQ(place.valueName, "2");
    EXPECT_FALSE(place.alreadyListed);
    EXPECT_EQ(PlaceInBlocklist(values, c)->valueName, "3");
    EXPECT_TRUE(PlaceInBlocklist(values, c)->alreadyListed);
    EXPECT_EQ(FindInBlocklist(values, c), "3");
    EXPECT_FALSE(FindInBlocklist(values, b));
}

TEST(BlockLists, OnlyAnIdTheBrowserGivesMakesABlockEntry) {
    const std::string chromium = "abcdefghijklmnopabcdefghijklmnop";
    const std::string longest = std::string(kMaxFirefoxIdLength - 4, 'a') + "@b.c";
    for (const std::string& id : {chromium, longest, std::string("{0f5e2a6c-1111-2222-3333-44445555AAAA}"),
                                 std::string("spy@example.com"), std::string("@a-b_c.d")}) {
        EXPECT_EQ(IsChromiumExtensionId(id), id == chromium) << id;
        EXPECT_EQ(IsFirefoxAddonId(id), id != chromium) << id;
        EXPECT_TRUE(BlockInExtensionSettings("{}", id).ok) << id;
    }
    for (const std::string_view id : {"*", "", "abcdefghijklmnopabcdefghijklmnoq", "abcdefghijklmnopabcdefghijklmno",
                                      "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP", "spy@", "spy", "a@b@c", "*@example.com",
                                      "spy@*", "s\"y@example.com", "s'y@example.com", "spy@exa mple.com",
                                      "spy@example.com,*", "{0f5e2a6c-1111-2222-3333-44445555666}",
                                      "{0f5e2a6c-1111-2222-3333_444455556666}"}) {
        EXPECT_FALSE(IsChromiumExtensionId(id) || IsFirefoxAddonId(id)) << id;
        EXPECT_FALSE(PlaceInBlocklist({}, id) || BlockInExtensionSettings("{}", id).ok) << id;
    }
    EXPECT_FALSE(IsFirefoxAddonId(longest + "x") || IsFirefoxAddonId(std::string("spy@example.com\0", 16)));
}

TEST(BlockLists, ExtensionSettingsBlockAndUndoRoundTrip) {
    const std::string policy =
        R"({"*":{"blocked_install_message":"Ask IT"},"spy@example.com":{"installation_mode":"force_installed",)"
        R"("install_url":"https://evil.example/spy.xpi"},"ok@example.com":{"installation_mode":"allowed"}})";
    const ExtensionSettingsChange blocked = BlockInExtensionSettings(policy, "spy@example.com");
    ASSERT_TRUE(blocked.ok);
    EXPECT_TRUE(blocked.changed);
    EXPECT_EQ(blocked.value, R"({"*":{"blocked_install_message":"Ask IT"},"spy@example.com":{"installation_mode":)"
                             R"("blocked"},"ok@example.com":{"installation_mode":"allowed"}})");
    const ExtensionSettingsChange undone =
        UnblockInExtensionSettings(blocked.value, "spy@example.com", blocked.previousEntry);
    ASSERT_TRUE(undone.ok);
    EXPECT_EQ(undone.value, policy);

    // No value yet: the block is the whole value, and the undo removes it.
    const ExtensionSettingsChange fresh = BlockInExtensionSettings("", "new@example.com");
    EXPECT_EQ(fresh.value, R"({"new@example.com":{"installation_mode":"blocked"}})");
    const ExtensionSettingsChange removed = UnblockInExtensionSettings(fresh.value, "new@example.com", std::nullopt);
    EXPECT_TRUE(removed.ok && removed.changed && removed.value.empty());

    // An entry changed since the fix stays; a value that is not an object is not touched.
    const std::string changed = R"({"new@example.com":{"installation_mode":"allowed"}})";
    EXPECT_EQ(UnblockInExtensionSettings(changed, "new@example.com", std::nullopt).value, changed);
    EXPECT_FALSE(UnblockInExtensionSettings(changed, "new@example.com", std::nullopt).changed);
    EXPECT_FALSE(BlockInExtensionSettings("[1,2]", "new@example.com").ok);
    EXPECT_FALSE(BlockInExtensionSettings("{\"a\":", "new@example.com").ok);
}

TEST(BlockLists, ExtensionSettingsModeReadsEachIdOfAListedKey) {
    const std::string policy =
        R"({"*":{"installation_mode":"blocked"},"aaaa, bbbb ,cccc":{"installation_mode":"force_installed"},)"
        R"("cccc":{"installation_mode":"allowed"},"dddd,":{"installation_mode":"blocked"},"eeee":{"x":1}})";
    EXPECT_EQ(ExtensionSettingsMode(policy, "aaaa"), "force_installed");
    EXPECT_EQ(ExtensionSettingsMode(policy, "bbbb"), "force_installed");
    EXPECT_EQ(ExtensionSettingsMode(policy, "cccc"), "allowed");  // its own entry wins
    EXPECT_EQ(ExtensionSettingsMode(policy, "dddd"), "blocked");
    EXPECT_FALSE(ExtensionSettingsMode(policy, "eeee"));  // named, without a mode
    EXPECT_FALSE(ExtensionSettingsMode(policy, "bbb"));   // "*" is not an id's entry
    EXPECT_FALSE(ExtensionSettingsMode("[1]", "aaaa"));
}

TEST(BrowserFiles, HostileFilesGiveAProblemNotACrash) {
    test::TempFolder temp;
    Put(temp.Path(), "big.json", std::string(100, ' '));
    EXPECT_FALSE(ReadCappedFile(temp.Path() + "big.json", 99).text);
    EXPECT_EQ(ReadCappedFile(temp.Path() + "big.json", 100).text->size(), 100u);
    std::string reason;
    EXPECT_FALSE(ParseExtensionManifest(std::string(100000, '[') + std::string(100000, ']'), {}, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(ParseExtensionManifest("{\"name\": \"\xFF\"}", {}, reason));  // not UTF-8
    // A message repeated without end stops being put in: the name stays small.
    std::string repeated;
    for (int i = 0; i < 1000; ++i) repeated += "__MSG_a__";
    const auto messages = [](const std::string&) -> std::optional<std::string> {
        return R"({"a":{"message":")" + std::string(1000, 'x') + "\"}}";
    };
    const auto manifest =
        ParseExtensionManifest(R"({"default_locale":"en","name":")" + repeated + "\"}", messages, reason);
    ASSERT_TRUE(manifest);
    EXPECT_LT(manifest->name.size(), 100000u);
    EXPECT_EQ(manifest->name.substr(0, 1000), std::string(1000, 'x'));
    EXPECT_FALSE(ParseExtensionsJson("{\"addons\": 5}", reason));
}

}  // namespace
}  // namespace sentrel
