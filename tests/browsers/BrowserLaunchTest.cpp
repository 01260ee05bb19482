// What a browser shortcut's arguments make the browser do, and those arguments taken out.
#include <gtest/gtest.h>

#include "browsers/BrowserLaunch.h"

namespace sentrel {
namespace {

TEST(BrowserLaunch, FindsTheSwitchesAndPagesAndTakesOnlyThemOut) {
    const std::string planted =
        "--profile-directory=\"Profile 1\" --load-extension=\"C:\\Users\\u\\AppData\\x ext\" "
        "--remote-debugging-port=9222 --new-window https://search.example/?q=1 --start-maximized";
    const BrowserLaunchConcerns concerns = LaunchConcernsOf(planted);
    EXPECT_TRUE(concerns.loadsExtension);
    EXPECT_TRUE(concerns.remoteControl);
    EXPECT_TRUE(concerns.opensPage);
    EXPECT_EQ(ArgumentsWithoutConcerns(planted), "--profile-directory=\"Profile 1\" --start-maximized");
    EXPECT_EQ(LaunchConcernsText(concerns),
              "loads an extension from a folder, opens itself to remote control by other programs and opens a "
              "web page");

    // Firefox's page switch goes with its page; a switch that only begins like one is no concern.
    EXPECT_EQ(ArgumentsWithoutConcerns("-P default -url www.example.com"), "-P default");
    EXPECT_FALSE(LaunchConcernsOf("--load-extensions-later --profile-directory=Default").Any());
    EXPECT_TRUE(LaunchConcernsOf("--app=https://x.example").opensPage);
    EXPECT_TRUE(LaunchConcernsOf("\"https://x.example/a page\"").opensPage);

    // What a change adds beyond what the shortcut had.
    const BrowserLaunchConcerns added = LaunchConcernsOf("--remote-debugging-pipe https://a.example")
                                            .Beyond(LaunchConcernsOf("https://b.example"));
    EXPECT_TRUE(added.remoteControl);
    EXPECT_FALSE(added.opensPage);

    EXPECT_TRUE(IsBrowserProgram("MSEDGE.EXE"));
    EXPECT_FALSE(IsBrowserProgram("notepad.exe"));
}

}  // namespace
}  // namespace sentrel
