#include "core/ColorList.h"

#include <gtest/gtest.h>

#include <string>

#include <windows.h>

#include "support/TempFolder.h"

namespace sentrel {
namespace {

// `text` in the system code page; empty when a character has no form there.
std::string InAnsiCodePage(const wchar_t* text) {
    char buffer[64] = {};
    BOOL defaulted = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, nullptr, &defaulted);
    return length > 0 && !defaulted ? std::string(buffer, length - 1) : std::string();
}

TEST(ColorListWin, ContainsFoldsLettersByTheUsersLocale) {
    // Letters beyond ASCII, in whatever code page the system uses.
    const std::string upper = InAnsiCodePage(L"C:\\PROGRAMME\\\u00C9VIL\u00C4.DLL");
    const std::string lower = InAnsiCodePage(L"c:\\programme\\\u00E9vil\u00E4.dll");
    const std::string other = InAnsiCodePage(L"c:\\programme\\evila.dll");
    if (upper.empty() || lower.empty()) GTEST_SKIP() << "the system code page has no accented letters";
    ASSERT_NE(upper, lower);

    test::TempFolder folder;
    test::WriteTextFile(folder / "white_list.txt", upper + "\r\n");
    const TColorList list(folder / "white_list.txt");
    EXPECT_TRUE(list.Contains(lower));
    EXPECT_TRUE(list.Contains(upper));
    EXPECT_FALSE(list.Contains(other));

    // Characters the locale's sorting gives little or no weight still count: the entry must be
    // the same line.
    const std::string ligature = InAnsiCodePage(L"\u00E6.exe");
    if (!ligature.empty()) {
        EXPECT_FALSE(SameTextIgnoringCase(ligature, "ae.exe"));
    }
    const std::string softHyphen = InAnsiCodePage(L"co\u00ADop.exe");
    if (!softHyphen.empty()) {
        EXPECT_FALSE(SameTextIgnoringCase(softHyphen, "coop.exe"));
    }
    EXPECT_FALSE(SameTextIgnoringCase("co-op.exe", "coop.exe"));
    EXPECT_FALSE(SameTextIgnoringCase("it's.exe", "its.exe"));
    EXPECT_FALSE(SameTextIgnoringCase("a.exe", std::string_view("a.exe\0", 6)));
    EXPECT_FALSE(SameTextIgnoringCase("a\x01.exe", "a.exe"));
}

}  // namespace
}  // namespace sentrel
