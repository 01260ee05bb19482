// Files an older version of the shield left behind, written in the system's code page: the
// shield reads them, acts on them, and saves them back as UTF-8 with every line kept.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/StoredText.h"
#include "common/Utf8Text.h"
#include "e2e/AlertDriving.h"

namespace sentrel::e2e {
namespace {

constexpr const wchar_t* kRunKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// `text` in the system's old code page, as an older version wrote it; empty when the code page
// lacks one of its characters.
std::string InLegacyCodePage(const std::wstring& text) {
    BOOL defaulted = FALSE;
    const unsigned codePage = LegacyCodePage();
    const int size = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, &defaulted);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        &defaulted);
    return defaulted ? std::string() : bytes;
}

// Values of the current user's Run key written with the wide functions (the names hold letters
// beyond ASCII); deleted when the test ends.
class RunValues {
public:
    RunValues() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        ForgetAutostartBaseline();  // made before the shield starts: it starts as at its first start
    }
    ~RunValues() {
        for (const std::wstring& name : added_) RegDeleteValueW(key_, name.c_str());
        RegCloseKey(key_);
    }
    void Add(const std::wstring& name, const std::wstring& data) {
        WaitForAutostartBaseline();
        RegSetValueExW(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        added_.push_back(name);
    }

private:
    HKEY key_ = nullptr;
    std::vector<std::wstring> added_;
};

// The lines of an options text but that of the key the shield writes in this test.
std::vector<std::string> LinesWithout(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.starts_with("KnownSpywares=")) lines.push_back(line);
    }
    return lines;
}

HWND WaitForAlertAbout(const ShieldProcess& shield, const std::string& description) {
    const HWND alert = shield.WaitForWindow("TAlertForm");
    if (!alert) return nullptr;
    return Eventually([&] { return IsWindowVisible(alert) && FindChildByText(alert, description) != nullptr; }, 25s)
               ? alert
               : nullptr;
}

TEST(OlderFiles, OptionsAndWhiteListInTheOldCodePageAreReadActedOnAndKept) {
    const std::string whiteEntry = InLegacyCodePage(L"unidentified program \u00DCBUNG.EXE was added to the autorun list");
    const std::string extraLines = InLegacyCodePage(L"; Einstellungen f\u00FCr M\u00FCller\r\n[Fremd]\r\n"
                                                    L"Ordner=C:\\Programme\\M\u00FCller\r\n");
    ASSERT_FALSE(whiteEntry.empty() || extraLines.empty()) << "code page " << LegacyCodePage();
    ASSERT_FALSE(IsValidUtf8(whiteEntry + extraLines));

    ShieldFolder folder;
    test::WriteTextFile(folder / "options.ini", ReadTextFile(folder / "options.ini") + extraLines);
    test::WriteTextFile(folder / "white_list.txt", whiteEntry + "\r\n");
    const std::string oldOptions = Utf8FromStoredText(ReadTextFile(folder / "options.ini"));

    RunValues run;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());

    // The white-listed program is settled without a word; the next new one is asked about.
    run.Add(L"E2E \u00DCbung", L"C:\\Programme\\M\u00FCller\\\u00DCbung.exe");
    run.Add(L"E2E Spiel", L"C:\\Programme\\M\u00FCller\\Spiel.exe");
    HWND alert = WaitForAlertAbout(shield, "Unidentified program Spiel.exe was added to the autorun list");
    ASSERT_NE(alert, nullptr) << "no alert for the program that is not white-listed";

    // Ignored always: the list is saved again, its old line now in UTF-8. The options were saved
    // again at start.
    Choose(alert, {"Do it always"}, "ignore");
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"),
              Utf8FromStoredText(whiteEntry) + "\r\nUnidentified program Spiel.exe was added to the autorun list\r\n");

    // The white-listed program, first in the queue if it were still waiting, is never shown.
    run.Add(L"E2E Spiel 2", L"C:\\Programme\\M\u00FCller\\Spiel2.exe");
    alert = WaitForAlertAbout(shield, "Unidentified program Spiel2.exe was added to the autorun list");
    ASSERT_NE(alert, nullptr);
    Choose(alert, {"Do it always"}, "ignore");
    ASSERT_NO_FATAL_FAILURE(Stop(shield));

    const std::string newOptions = ReadTextFile(folder / "options.ini");
    EXPECT_TRUE(IsValidUtf8(newOptions));
    EXPECT_NE(newOptions.find("Ordner=C:\\Programme\\Müller\r\n"), std::string::npos);
    // Every line is kept but the one the shield writes at start: the count of known threats.
    EXPECT_EQ(LinesWithout(newOptions), LinesWithout(oldOptions));
}

}  // namespace
}  // namespace sentrel::e2e
