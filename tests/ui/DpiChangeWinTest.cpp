// Every window of the program lays itself out again when it moves to a screen of another DPI: it
// takes the rectangle the system suggests, and its controls move, grow and change their fonts to
// match; back on the first screen everything is as it was.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include <windows.h>
#include <windowsx.h>

#include "config/Options.h"
#include "core/ColorList.h"
#include "core/Scheduler.h"
#include "core/ShieldLevel.h"
#include "core/WarningQueue.h"
#include "database/MappedFileAccessWin.h"
#include "database/ShellFoldersWin.h"
#include "monitors/FileMonitor.h"
#include "monitors/RegistryMonitors.h"
#include "support/TempFolder.h"
#include "ui/ClosingForm.h"
#include "ui/FirstSplashForm.h"
#include "ui/InputBox.h"
#include "ui/MainForm.h"
#include "ui/OptionsForm.h"
#include "ui/SplashForm.h"
#include "ui/UiTestSupport.h"
#include "ui/UpdateForm.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel::ui {
namespace {

// The window's place and size, its control's in the window, and the control's font height.
std::vector<long> Placement(HWND window, HWND control) {
    RECT w{}, c{};
    GetWindowRect(window, &w);
    GetWindowRect(control, &c);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&c), 2);
    LOGFONTA font{};
    GetObjectA(GetWindowFont(control), sizeof font, &font);
    return {w.left, w.top, w.right - w.left, w.bottom - w.top, c.left, c.top, c.right - c.left, c.bottom - c.top,
            font.lfHeight};
}

// Moves `window` to a 144-DPI screen and back: it takes the suggested rectangle each time, and its
// control `controlText` follows in place, size and font.
void ExpectFollowsDpi(HWND window, const char* controlText) {
    const HWND control = FindWindowExA(window, nullptr, nullptr, controlText);
    ASSERT_NE(control, nullptr) << controlText;
    ASSERT_EQ(DpiOf(window), kDesignDpi) << "the test screen runs at 96 DPI";
    const std::vector<long> start = Placement(window, control);
    ASSERT_NE(start.back(), 0) << controlText << " has no font";
    for (const int dpi : {144, kDesignDpi}) {
        std::vector<long> expected = start;
        for (long& value : expected) value = MulDiv(value, dpi, kDesignDpi);
        expected[0] = start[0] + 20;
        expected[1] = start[1] + 10;
        RECT suggested{expected[0], expected[1], expected[0] + expected[2], expected[1] + expected[3]};
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        EXPECT_EQ(Placement(window, control), expected) << controlText << " at " << dpi;
    }
}

// The input box runs its own modal loop: a timer of that loop checks the box, then closes it.
bool inputBoxChecked = false;

void CALLBACK CheckInputBox(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND box = FindWindowA(kInputBoxClass, nullptr);
    if (!box) return;  // not up yet: the next tick
    KillTimer(nullptr, timer);
    ExpectFollowsDpi(box, "OK");
    inputBoxChecked = true;
    PostMessageA(box, WM_CLOSE, 0, 0);
}

class DpiChangeTest : public ::testing::Test {
protected:
    DpiChangeTest() {
        main_.Create();
        main_.CreateFace(options_, test::ShippedGraphicsFolder(), "C:\\nowhere\\Help.chm", help_, closing_, splash_);
        closing_.Create(main_.Handle());
        splash_.Create();
        optionsForm_.Create();
        wizard_.Create(main_.Handle());
        firstRun_.Create();
    }

    sentrel::test::TempFolder program_;
    sentrel::test::TempFolder watched_;
    TOptions options_{"options.ini", program_.Path()};
    WarningQueue queue_;
    TFileChangesTracker tracker_{watched_.Path(),
                                 []() -> const TThreatTables& { throw std::logic_error("no lookup expected"); },
                                 queue_, TLookupSystem{SystemFileAccess(), MacroFolders(), program_.Path()}};
    TRegistryWatches watches_;
    Scheduler scheduler_;
    TShieldLevel level_{{options_, tracker_, scheduler_, "C:\\Sentrel4.exe"}};
    TColorList white_{program_ / "white.txt"};
    TColorList black_{program_ / "black.txt"};
    TBackuper backuper_{program_.Path()};
    const WarningContext warnings_;
    HelpEngine help_;
    TClosingForm closing_{[] {}};
    TSplashForm splash_{test::ShippedGraphicsFolder()};
    TMainForm main_{{.terminate = [] {}, .endSession = [] {}}};
    TOptionsForm optionsForm_{{options_, level_, white_, black_, backuper_, warnings_, watches_, main_, help_, "", {}}};
    TUpdateForm wizard_{{.options = options_}};
    TFirstSplashForm firstRun_{test::ShippedGraphicsFolder()};
};

TEST_F(DpiChangeTest, EveryWindowLaysItselfOutAgainAtTheNewDpi) {
    const std::vector<std::pair<const char*, std::function<void()>>> windows = {
        {"main", [&] { ExpectFollowsDpi(main_.Handle(), "Current security level:"); }},
        {"options", [&] { ExpectFollowsDpi(optionsForm_.Handle(), "&OK"); }},
        {"update wizard", [&] { ExpectFollowsDpi(wizard_.Handle(), "&Next >"); }},
        {"first run", [&] { ExpectFollowsDpi(firstRun_.Handle(), "Welcome to Sentrel 4"); }},
        {"closing", [&] { ExpectFollowsDpi(closing_.Handle(), "&OK"); }},
        {"scanner", [&] { ExpectFollowsDpi(splash_.Handle(), "Look at its features"); }},
        {"input box",
         [&] {
             const UINT_PTR timer = SetTimer(nullptr, 0, 0, &CheckInputBox);
             InputBox::Ask(main_.Handle(), "Rename", "New name:", "x");
             KillTimer(nullptr, timer);
             EXPECT_TRUE(inputBoxChecked);
         }},
    };
    for (const auto& [name, check] : windows) {
        SCOPED_TRACE(name);
        check();
    }
}

}  // namespace
}  // namespace sentrel::ui
