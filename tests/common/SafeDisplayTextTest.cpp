#include "common/SafeDisplayText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace sentrel {
namespace {

using namespace std::string_literals;

TEST(SafeDisplayText, KeepsLettersOfAnyScriptMarksControlsAndJoinsLines) {
    const std::pair<std::string, std::string> cases[] = {
        {"Блокировщик 广告 مانع الإعلانات 😀 & \"<q>\"", "Блокировщик 广告 مانع الإعلانات 😀 & \"<q>\""},
        {"Docs\u202Egpj.exe", "Docs\uFFFDgpj.exe"},
        {"a\u200Eb\u200Fc\u202Ad\u2066e\u2069f\u061Cg", "a\uFFFDb\uFFFDc\uFFFDd\uFFFDe\uFFFDf\uFFFDg"},
        {"Ads\r\nfake\nline\rx\u2028y\u0085z\tw", "Ads fake line x y z w"},
        {"Ads\0 id\a\x1B\x7F\u009B"s, "Ads\uFFFD id\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"bad\xFF\xC0\xAF utf\xE2\x80 \xED\xA0\x80", "bad\uFFFD\uFFFD\uFFFD utf\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(SafeDisplayText(in, kShownNameLength), out) << in;
}

TEST(SafeDisplayText, CutsLongTextAtACharacterWithAnEllipsis) {
    EXPECT_EQ(SafeDisplayText(std::string(5000, 'x'), 200), std::string(199, 'x') + "…");
    std::string wide;
    for (int i = 0; i < 2500; ++i) wide += "😀字";
    EXPECT_EQ(SafeDisplayText(wide, 5), "😀字😀字…");
    EXPECT_EQ(SafeDisplayText("абв", 3), "абв");  // at the cap nothing is cut
    EXPECT_EQ(SafeDisplayText("\n\n\n\n", 3), "  …");
}

}  // namespace
}  // namespace sentrel
