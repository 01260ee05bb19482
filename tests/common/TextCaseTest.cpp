#include "common/TextCase.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace sentrel {
namespace {

struct Pair {
    std::string_view a;
    std::string_view b;
    bool same;
};

TEST(TextCase, ComparesNamesInAnyScriptWithoutRegardToCase) {
    using namespace std::string_view_literals;
    const Pair pairs[] = {
        {"C:\\WINDOWS\\a.DLL", "c:\\windows\\A.dll", true},
        {"ОТЧЁТ.exe", "отчёт.EXE", true},                 // Cyrillic
        {"ΣΥΣΤΗΜΑ.dll", "σύστημα.dll", false},             // accents differ, not only case
        {"ΣΥΣΤΗΜΑ.dll", "συστημα.dll", true},              // Greek
        {"ς", "Σ", true},                                  // final sigma folds with sigma
        {"C:\\Programme\\MÜLLER\\É.exe", "c:\\programme\\müller\\é.exe", true},
        {"é", "e", false},
        {"報告😀.exe", "報告😀.EXE", true},
        {"報告😀.exe", "報告😁.exe", false},
        {"æ.exe", "ae.exe", false},                        // a ligature is one letter
        {"co\u00ADop.exe", "coop.exe", false},             // a soft hyphen still counts
        {"co-op.exe", "coop.exe", false},
        {"a", "a\0"sv, false},
        {"a\x01.exe", "a.exe", false},
        {"\xD0", "\xD0", true},                            // a cut sequence equals only itself
        {"\xD0", "\xF0", false},
        {"\xC3\xA9", "\xC3\x89", true},                    // é É
        {"\xE9", "\xC9", false},                           // the same letters in Windows-1252: bytes
        {"\xED\xA0\x80", "\xED\xA0\x81", false},           // encoded surrogates are stray bytes
        {"abc\xFF", "ABC\xFF", true},
    };
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(std::string(pair.a) + " / " + std::string(pair.b));
        EXPECT_EQ(SameIgnoringCase(pair.a, pair.b), pair.same);
        EXPECT_EQ(SameIgnoringCase(pair.b, pair.a), pair.same);
        // The order agrees with equality and turns round with the arguments.
        const int forward = CompareIgnoringCase(pair.a, pair.b);
        EXPECT_EQ(forward == 0, pair.same);
        EXPECT_EQ(CompareIgnoringCase(pair.b, pair.a), -forward);
    }
    // ASCII keeps its old order: letters fold to lower case, so "_" sorts before them.
    EXPECT_LT(CompareIgnoringCase("A_", "AB"), 0);
    EXPECT_LT(CompareIgnoringCase("ab", "ABC"), 0);
    EXPECT_LT(CompareIgnoringCase("z", "é"), 0);
}

}  // namespace
}  // namespace sentrel
