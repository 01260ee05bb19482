// The fix of a Firefox preference line against real files under Wine, in a fresh profile folder.
#include <windows.h>

#include <gtest/gtest.h>

#include "warnings/BrowserPreferenceWarning.h"
#include "warnings/RemedyFixture.h"

namespace sentrel {
namespace {

using BrowserPreferenceRemedyTest = test::RemedyTest;

TEST_F(BrowserPreferenceRemedyTest, AFileFirefoxWroteMeanwhileIsLeftAsFirefoxWroteIt) {
    const std::string profile = JoinPath(program_.Path(), "profile");
    const std::string userJs = JoinPath(profile, "user.js"), prefsJs = JoinPath(profile, "prefs.js");
    const std::string hijack = "user_pref(\"browser.startup.homepage\", \"http://evil.example/\");\r\n";
    CreateFolders(profile);
    WriteFileAtomically(userJs, hijack);
    WriteFileAtomically(prefsJs, hijack);
    BrowserPreferenceWarning warning("Firefox", "default", profile, "browser.startup.homepage", "http://evil.example/",
                                     "user.js", FirefoxPrefKind::HomePage);
    warning.PointId = "FirefoxPrefs";
    // Firefox saves prefs.js between the fix's reading and its writing (user.js is written first).
    const std::string firefoxWrote = hijack + "user_pref(\"a\", 2);";
    context_.holdAutostartPoint = [&](const std::string&) { WriteFileAtomically(prefsJs, firefoxWrote); };
    EXPECT_THROW(Fix(warning), std::runtime_error);
    EXPECT_EQ(test::ReadAll(prefsJs), firefoxWrote);
    EXPECT_EQ(test::ReadAll(userJs), hijack);
    EXPECT_EQ(backuper_.GetCount(), 0);
}

}  // namespace
}  // namespace sentrel
