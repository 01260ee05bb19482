// Every window of the program lays itself out again when it moves to a screen of another DPI: it
// takes the rectangle the system suggests, and its controls move, grow and change their fonts to
// match; back on the first screen everything is as it was.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>
#include <windowsx.h>

#include "config/Options.h"
#include "core/ColorList.h"
#include "core/ShieldLevel.h"
#include "core/WarningQueue.h"
#include "database/MappedFileAccessWin.h"
#include "database/ShellFoldersWin.h"
#include "monitors/FileMonitor.h"
#include "monitors/RegistryMonitors.h"
#include "support/TempFolder.h"
#include "ui/ClosingForm.h"
#include "ui/Controls.h"
#include "ui/FirstSplashForm.h"
#include "ui/InputBox.h"
#include "ui/MainForm.h"
#include "ui/OptionsForm.h"
#include "ui/SplashForm.h"
#include "ui/UiTestSupport.h"
#include "ui/UpdateForm.h"
#include "warnings/Backuper.h"

namespace sentrel::ui {
namespace {

using Rect = std::vector<long>;  // left, top, width, height

Rect Scaled(const RECT& r, int dpi) {
    return {MulDiv(r.left, dpi, kDesignDpi), MulDiv(r.top, dpi, kDesignDpi),
            MulDiv(r.right - r.left, dpi, kDesignDpi), MulDiv(r.bottom - r.top, dpi, kDesignDpi)};
}

RECT PlaceInParent(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LONG FontHeight(HWND control) {
    LOGFONTA font{};
    const HFONT handle = GetWindowFont(control);
    return handle && GetObjectA(handle, sizeof font, &font) ? font.lfHeight : 0;
}

HWND FindDescendant(HWND window, const std::string& text) {
    struct Search {
        const std::string& text;
        HWND found = nullptr;
    } search{text};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            if (WindowText(child) != s.text) return TRUE;
            s.found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Moves `window` to a 144-DPI screen and back; its control with the text `childText` must follow.
void ExpectFollowsDpi(HWND window, const std::string& childText) {
    const HWND child = FindDescendant(window, childText);
    ASSERT_NE(child, nullptr) << childText;
    ASSERT_EQ(DpiOf(window), kDesignDpi) << "the test screen runs at 96 DPI";
    RECT start{};
    GetWindowRect(window, &start);
    const RECT childStart = PlaceInParent(child);
    const LONG fontStart = FontHeight(child);
    ASSERT_NE(fontStart, 0) << childText;

    for (const int dpi : {144, kDesignDpi}) {
        const Rect size = Scaled(start, dpi);
        RECT suggested{start.left + 20, start.top + 10, start.left + 20 + size[2], start.top + 10 + size[3]};
        SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

        RECT now{};
        GetWindowRect(window, &now);
        EXPECT_EQ(Scaled(now, kDesignDpi), Scaled(suggested, kDesignDpi)) << dpi;
        EXPECT_EQ(Scaled(PlaceInParent(child), kDesignDpi), Scaled(childStart, dpi)) << childText << " " << dpi;
        EXPECT_EQ(FontHeight(child), MulDiv(fontStart, dpi, kDesignDpi)) << childText << " " << dpi;
    }
}

// The input box lives in its own modal loop: it is checked from a timer of that loop, then closed.
bool inputBoxChecked = false;

void CALLBACK CheckInputBox(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND box = FindWindowA(kInputBoxClass, "Rename");
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
    TShieldLevel level_{{options_, tracker_, watches_, "C:\\Sentrel4.exe"}};
    TColorList white_{program_ / "white.txt"};
    TColorList black_{program_ / "black.txt"};
    TBackuper backuper_{program_.Path()};
    HelpEngine help_;
    TClosingForm closing_{[] {}};
    TSplashForm splash_{test::ShippedGraphicsFolder()};
    TMainForm main_{{.terminate = [] {}, .endSession = [] {}}};
    TOptionsForm optionsForm_{{options_, level_, white_, black_, backuper_, watches_, main_, help_, "", {}}};
    TUpdateForm wizard_{{.options = options_}};
    TFirstSplashForm firstRun_{test::ShippedGraphicsFolder()};
};

TEST_F(DpiChangeTest, EveryWindowLaysItselfOutAgainAtTheNewDpi) {
    struct Case {
        const char* window;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"main", [&] { ExpectFollowsDpi(main_.Handle(), "Current security level:"); }},
        {"options", [&] { ExpectFollowsDpi(optionsForm_.Handle(), "Run on Windows &startup"); }},
        {"update wizard", [&] { ExpectFollowsDpi(wizard_.Handle(), "&Next >"); }},
        {"first run", [&] { ExpectFollowsDpi(firstRun_.Handle(), "Welcome to Sentrel 4"); }},
        {"closing", [&] { ExpectFollowsDpi(closing_.Handle(), "&OK"); }},
        {"scanner", [&] { ExpectFollowsDpi(splash_.Handle(), "Look at its features"); }},
        {"input box",
         [&] {
             inputBoxChecked = false;
             const UINT_PTR timer = SetTimer(nullptr, 0, 0, &CheckInputBox);
             InputBox::Ask(main_.Handle(), "Rename", "New name:", "x");
             KillTimer(nullptr, timer);
             EXPECT_TRUE(inputBoxChecked);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        c.check();
    }
}

}  // namespace
}  // namespace sentrel::ui
