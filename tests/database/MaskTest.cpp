// The wildcard match of cookie names and folder masks.
#include <gtest/gtest.h>

#include <string>

#include "database/Mask.h"

namespace sentrel {
namespace {

struct MaskCase {
    const char* Text;
    const char* Mask;
    bool Matches;
};

TEST(MatchesMask, StarQuestionMarkAndLiterals) {
    const MaskCase cases[] = {
        {"abc", "a*c", true},
        {"ac", "a*c", true},
        {"ac", "a?c", false},
        {"abc", "a?c", true},
        {"abc", "abc*", false},  // a last "*" needs a text character left to accept
        {"abcd", "abc*", true},
        {"abcbd", "*bd", false},  // only the first b is tried: no backtracking
        {"abd", "*bd", true},
        {"ABC", "abc", true},  // letter case is ignored...
        {"abc", "ABC", true},
        {"Ab", "a?", true},
        {"ОТЧЁТ", "от?ёт", true},  // ...in every script
        {"É😀x", "é?x", true},     // "?" is one character, whatever its length in bytes
        {"é😀x", "é?", false},
        {"aéb", "a*B", true},
        {"\xC9", "\xE9", false},  // bytes that are not UTF-8 match only themselves
        {"", "", true},
        {"x", "", false},
        {"", "*", false},
        {"", "?", false},
        {"x", "*", true},
        {"abc", "abc", true},
        {"abcd", "abc", false},
        {"ab", "abc", false},
        {"c:\\windows\\sentreltest\\", "C:\\Windows\\SentrelTest\\", true},
        {"c:\\program files\\bonzibuddy 1.2\\", "C:\\Program Files\\BonziBuddy*", true},
        {"user@doubleclick[1].txt", "*@doubleclick*", true},
        {"user@ad.doubleclick[1].txt", "*@doubleclick*", false},
        {"user@ad.doubleclick[1].txt", "*@*.doubleclick*", true},
        {"user@doubleclick[1].txt", "*@*.doubleclick*", false},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(std::string(c.Text) + " / " + c.Mask);
        EXPECT_EQ(MatchesMask(c.Text, c.Mask), c.Matches);
    }
}

TEST(MatchesMask, StarFollowedByAWildcardIsAnInvalidMask) {
    for (const auto& [text, mask] : {std::pair{"abx", "*?x"}, std::pair{"abc", "a**"}, std::pair{"aXb", "a*?b"}}) {
        SCOPED_TRACE(mask);
        try {
            MatchesMask(text, mask);
            ADD_FAILURE() << "no error";
        } catch (const InvalidMaskError& error) {
            EXPECT_STREQ(error.what(), "Invalid mask");
        }
        EXPECT_FALSE(IsWellFormedMask(mask));
    }
    // Found only when the walk reaches it: a text that fails first, or an empty text, gives no
    // match without the error. The maker's tool checks a mask whole with IsWellFormedMask.
    EXPECT_FALSE(MatchesMask("zbx", "a*?x"));
    EXPECT_FALSE(MatchesMask("", "*?x"));
    EXPECT_FALSE(IsWellFormedMask("a*?x"));
    for (const char* mask : {"", "*", "a*c", "*@*.doubleclick*", "?*x", "??", "abc*"})
        EXPECT_TRUE(IsWellFormedMask(mask)) << mask;
}

}  // namespace
}  // namespace sentrel
