#include <windows.h>

#include <gtest/gtest.h>

#include "warnings/BrowserPreferenceWarning.h"
#include "warnings/RemedyFixture.h"

namespace sentrel {
namespace {

using BrowserPreferenceRemedyTest = test::RemedyTest;

TEST_F(BrowserPreferenceRemedyTest, AFileFirefoxWroteMeanwhileIsLeftAsFirefoxWroteIt) {
    const std::string profile = JoinPath(program_.Path(), "profile"), prefsJs = JoinPath(profile, "prefs.js");
    const std::string hijack = "user_pref(\"browser.startup.homepage\", \"http://evil.example/\");\r\n";
    const std::string firefoxWrote = hijack + "user_pref(\"a\", 2);";
    CreateFolders(profile);
    WriteFileAtomically(JoinPath(profile, "user.js"), hijack);  // written first, then put back
    WriteFileAtomically(prefsJs, hijack);
    BrowserPreferenceWarning warning("Firefox", "default", profile, "browser.startup.homepage", "http://evil.example/",
                                     "user.js", FirefoxPrefKind::HomePage);
    warning.PointId = "FirefoxPrefs";
    context_.worker.holdAutostartPoint = [&](const std::string&) { WriteFileAtomically(prefsJs, firefoxWrote); };
    EXPECT_THROW(Fix(warning), std::runtime_error);
    EXPECT_EQ(test::ReadAll(prefsJs), firefoxWrote);
    EXPECT_EQ(test::ReadAll(JoinPath(profile, "user.js")), hijack);
    EXPECT_EQ(backuper_.GetCount(), 0);
}

}  // namespace
}  // namespace sentrel
