#include "e2e/AlertDriving.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "config/OptionKeys.h"
#include "monitors/AutostartPoints.h"
#include "platform/ProgramFolder.h"

namespace sentrel::e2e {

ShieldFolder::ShieldFolder(SecurityLevel level, const std::string& name) : ProgramFolder(true, name) {
    CopyGraphics();
    TOptions options = Options();
    WriteDefaultOptions(options);
    options.WriteBool("FirstRun", false);
    options.WriteBool("Autorun", false);
    options.WriteInteger("WhatDo", 0);
    options.WriteInteger("Shield", static_cast<int>(level));
}

HWND WaitForAlert(const ShieldProcess& shield, std::chrono::milliseconds timeout) {
    const HWND alert = shield.WaitForWindow("TAlertForm");
    return alert && WaitForVisibility(alert, true, timeout) ? alert : nullptr;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& text : texts) all += (all.empty() ? "" : " | ") + text;
    return all;
}

std::string AllTexts(HWND window) {
    return Joined(ChildTexts(window));
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void Click(HWND alert, const std::string& button) {
    const HWND pressed = FindChildByText(alert, button);
    ASSERT_NE(pressed, nullptr) << button;
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutW(pressed, BM_CLICK, 0, 0, SMTO_BLOCK, 30000, &answer), 0);
}

void Choose(HWND alert, const std::vector<std::string>& checkBoxes, const std::string& button) {
    for (const auto& text : checkBoxes) {
        const HWND box = FindChildByText(alert, text);
        ASSERT_NE(box, nullptr) << text;
        SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    }
    // The warning the alert shows: its texts but the count of those waiting, which changes by
    // itself.
    const auto shown = [alert] {
        std::vector<std::string> texts = ChildTexts(alert);
        std::erase_if(texts, [](const std::string& text) { return text.ends_with(" waiting"); });
        return Joined(texts);
    };
    const std::string before = shown();
    ASSERT_NO_FATAL_FAILURE(Click(alert, button));
    // Settled: the alert hides, or already shows the next warning (a busy machine may let the
    // next tick come before a look sees it hidden).
    EXPECT_TRUE(Eventually([&] { return !IsWindowVisible(alert) || shown() != before; }, 10s))
        << "the alert stays shown after " << button << ": " << before;
}

void ShieldEach(const ShieldProcess& shield, const std::vector<std::string>& expected, const std::string& pictured,
                const std::string& pictureName) {
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const HWND alert = WaitForAlert(shield, 30s);
        ASSERT_NE(alert, nullptr) << "alerts so far: " << seen.size();
        const std::vector<std::string> texts = ChildTexts(alert);
        const auto match = std::find_first_of(texts.begin(), texts.end(), expected.begin(), expected.end());
        ASSERT_NE(match, texts.end()) << Joined(texts);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), *match), 0) << "reported twice: " << *match;
        seen.push_back(*match);
        if (!pictured.empty() && match->find(pictured) != std::string::npos)
            SaveWindowPicture(alert, ScreenshotPath(pictureName));
        ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
        ASSERT_TRUE(Eventually([&] { return !IsWindowVisible(alert) || AllTexts(alert).find(*match) == std::string::npos; }));
    }
}

void UndoEveryChange(const ShieldProcess& shield, int count) {
    Press(shield.WaitForWindow("TMainForm"), "undo");
    const HWND dialog = shield.WaitForWindow("TOptionsForm");
    ASSERT_TRUE(WaitForVisibility(dialog, true));
    const HWND page = FindChildByText(dialog, "Restore Changes");
    const HWND list = GetDlgItem(page, 700);
    ASSERT_TRUE(list);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), count);
    SendMessageA(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, count - 1));
    PostMessageA(FindChildByText(page, "&Undo"), BM_CLICK, 0, 0);
}

namespace {

// A file of the shield's per-user settings folder.
std::string SettingsFile(const std::string& name) {
    return platform::UserAppDataFolder() + "\\.SentrelSettings\\" + name;
}

}  // namespace

std::string WhatTheShieldSays(const ShieldProcess& shield) {
    std::string says;
    if (const HWND box = shield.WaitForMessageBox(0ms)) says = "message box: " + MessageBoxText(box) + "\n";
    try {
        const std::string log = ReadTextFile(SettingsFile("Sentrel4.log"));
        std::size_t from = log.size();  // the start of the last 16 lines
        for (int lines = 0; lines < 16 && from != 0 && from != std::string::npos; ++lines)
            from = log.rfind('\n', from - 1);
        says += "log:\n" + log.substr(from == std::string::npos ? 0 : from);
    } catch (const std::exception& error) {
        says += std::string("no log: ") + error.what();
    }
    return says;
}

std::optional<std::string> BaselineData(const std::string& point, const std::string& item) {
    try {
        const AutostartBaseline baseline = ParseAutostartBaseline(ReadTextFile(AutostartBaselinePath()));
        const auto entries = baseline.find(point);
        if (entries == baseline.end()) return std::nullopt;
        for (const AutostartEntry& entry : entries->second)
            if (entry.item == item) return entry.data;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::string KnownThreatContent() {
    std::string content(4096, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((7 * i) % 251);
    return content;
}

void Stop(ShieldProcess& shield) {
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    ASSERT_TRUE(shield.WaitForExit().has_value());
}

}  // namespace sentrel::e2e
