// The fix of a Firefox preference line against real files under Wine, in a fresh profile folder.
#include <windows.h>

#include <gtest/gtest.h>

#include "browsers/FirefoxPrefs.h"
#include "warnings/BrowserPreferenceWarning.h"
#include "warnings/RemedyFixture.h"

namespace sentrel {
namespace {

using BrowserPreferenceRemedyTest = test::RemedyTest;

TEST_F(BrowserPreferenceRemedyTest, AFileFirefoxWroteMeanwhileIsLeftAsFirefoxWroteIt) {
    const std::string profile = JoinPath(program_.Path(), "profile");
    CreateFolders(profile);
    const std::string userJs = JoinPath(profile, "user.js"), prefsJs = JoinPath(profile, "prefs.js");
    const std::string hijack = "user_pref(\"browser.startup.homepage\", \"http://evil.example/\");\r\n";
    const std::string firefoxWrote = hijack + "user_pref(\"a\", 2);\r\n";
    WriteFileAtomically(userJs, hijack);
    WriteFileAtomically(prefsJs, hijack + "user_pref(\"a\", 1);\r\n");
    BrowserPreferenceWarning warning("Firefox", "default", profile, "browser.startup.homepage", "http://evil.example/",
                                     "user.js", FirefoxPrefKind::HomePage);
    warning.PointId = "FirefoxPrefs";
    // Firefox saves prefs.js between the fix's reading and its writing (user.js is written first).
    context_.holdAutostartPoint = [&](const std::string&) { WriteFileAtomically(prefsJs, firefoxWrote); };
    try {
        Fix(warning);
        ADD_FAILURE() << "the fix went through";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("Firefox changed " + prefsJs + " meanwhile"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(test::ReadAll(prefsJs), firefoxWrote);
    EXPECT_EQ(test::ReadAll(userJs), hijack);
    EXPECT_EQ(backuper_.GetCount(), 0);

    context_.holdAutostartPoint = nullptr;
    Fix(warning);
    EXPECT_EQ(test::ReadAll(prefsJs), "user_pref(\"a\", 2);\r\n");
    EXPECT_EQ(test::ReadAll(userJs), "");
}

}  // namespace
}  // namespace sentrel
