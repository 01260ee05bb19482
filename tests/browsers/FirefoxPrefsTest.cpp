#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browsers/FirefoxPrefs.h"

namespace sentrel {
namespace {

constexpr const char* kHomePage = "browser.startup.homepage";

std::vector<std::string> Names(const std::string& text) {
    std::vector<std::string> names;
    for (const FirefoxPrefLine& line : ParsePrefLines(text)) names.push_back(line.name + "=" + line.value);
    return names;
}

TEST(FirefoxPrefs, FindsAStatementWhereverFirefoxReadsOneAndRemovesOnlyIt) {
    const std::string hijack = "user_pref(\"browser.startup.homepage\", \"http://evil\");";
    const struct {
        std::string text;
        std::string without;  // the text once the fix took the hijack out
    } cases[] = {
        {"/**/" + hijack + "\nuser_pref(\"a\", 1);\n", "/**/\nuser_pref(\"a\", 1);\n"},
        {"user_pref(\"a\", 1); " + hijack + " // x\n", "user_pref(\"a\", 1);  // x\n"},
        {"user_pref(\"a\", 1);\n  user_pref(\"browser.startup.homepage\",\n \"http://evil\"); /* x */\r\nuser_pref(1);",
         "user_pref(\"a\", 1);\nuser_pref(1);"},
        {"user_pref(\"a\", 1);\r" + hijack + "\ruser_pref(\"b\", 2);\r",
         "user_pref(\"a\", 1);\ruser_pref(\"b\", 2);\r"},
        {"/* note */ " + hijack + "\r\n", "/* note */ \r\n"},
        {"/* old:\nuser_pref(\"x\", 1);\n*/ " + hijack + "\nuser_pref(\"b\", 2);\n",
         "/* old:\nuser_pref(\"x\", 1);\n*/ \nuser_pref(\"b\", 2);\n"},
    };
    for (const auto& [text, without] : cases) {
        SCOPED_TRACE(text);
        const auto removal = RemovePrefStatements(text, kHomePage, "http://evil");
        ASSERT_TRUE(removal);
        ASSERT_EQ(removal->removed.size(), 1u);
        EXPECT_EQ(removal->removed[0].kind, FirefoxPrefKind::HomePage);
        EXPECT_EQ(removal->text, without);
        EXPECT_EQ(RemovePrefLine(text, removal->removed[0]), without);
        EXPECT_EQ(UndoPrefRemoval(removal->text, text, removal->text, removal->removed), text);
    }
}

TEST(FirefoxPrefs, SkipsWhatFirefoxSkipsUpToTheNextSemicolon) {
    // A bad escape spoils its string to the closing quote; a missing semicolon takes the next
    // statement with it; a statement inside a string or after an unknown word is none.
    EXPECT_EQ(Names("user_pref('a', 'x\\q;'); user_pref('b', '\\u0436');"), std::vector<std::string>{"b=ж"});
    EXPECT_EQ(Names("user_pref('a', 1)\nuser_pref('b', 2);\nuser_pref('c', 3);"), std::vector<std::string>{"c=3"});
    EXPECT_EQ(Names("user_pref('a', \"x; user_pref('b', 2);\"); xuser_pref('c', 3); user_pref('d', 4);"),
              (std::vector<std::string>{"a=x; user_pref('b', 2);", "d=4"}));
    EXPECT_EQ(Names("# x\ruser_pref('a', - 2147483648); pref('b', 2147483648); sticky_pref('c', +7, locked, sticky);"),
              (std::vector<std::string>{"a=-2147483648", "c=+7"}));
    EXPECT_EQ(Names("user_pref('a', true); /* user_pref('b', 1);"), std::vector<std::string>{"a=true"});
    EXPECT_EQ(Names("user_pref(\"a\", \"\\x00\"); user_pref('b', 'c'"), std::vector<std::string>{});
}

}  // namespace
}  // namespace sentrel
