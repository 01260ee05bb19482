// The shield's face, driven as a user would: the first start with its welcome window, a start in
// the tray with the database reminder, the level pictures, the tray menu, the hot key, the
// minimise button and the ways of closing the shield.
#include <gtest/gtest.h>

#include <vector>

#include "common/Files.h"
#include "config/DateTime.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "config/SystemClock.h"
#include "e2e/ShieldProcess.h"
#include "platform/Registry.h"
#include "ui/MainForm.h"
#include "ui/TrayMenu.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// A program folder with pictures and the options of a user past the first start.
class FaceFolder : public ProgramFolder {
public:
    explicit FaceFolder(bool firstStart = false) {
        CopyGraphics();
        if (firstStart) return;
        TOptions options = Options();
        WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("Autorun", false);
        options.WriteBool("RunMinimized", false);
        options.WriteInteger("WhatDo", 0);
        options.WriteInteger("RemindPeriod", 9);  // never: only the reminder test reminds
    }
    TOptions Options() const { return TOptions("options.ini", Path()); }
    int Option(const std::string& key) const { return Options().ReadInteger(key, -1); }
};

bool IsLatched(HWND window, const std::string& name) {
    return SendMessageA(FindChildByText(window, name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void HotKey() {
    Keys({VK_CONTROL, VK_SHIFT, 'A'});
}

// The level label's text ("Current security level:" is followed by it).
bool ShowsLevel(HWND mainWindow, const std::string& label) {
    return FindChildByText(mainWindow, label) != nullptr;
}

void Answer(HWND box, int button) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

TEST(MainWindow, FirstStartWelcomesThenShowsTheMainWindow) {
    FaceFolder folder(true);
    ShieldProcess shield(folder);
    const HWND welcome = shield.WaitForWindow("TFirstSplashForm");
    ASSERT_NE(welcome, nullptr);
    ASSERT_TRUE(WaitForVisibility(welcome, true));
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_FALSE(IsWindowVisible(mainWindow)) << "the welcome comes before the main window";
    EXPECT_NE(FindChildByText(welcome, "Welcome to Sentrel 4"), nullptr);
    SaveWindowPicture(welcome, ScreenshotPath("first-run.bmp"));

    Press(welcome, "return");
    ASSERT_TRUE(WaitForVisibility(welcome, false));
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    ASSERT_TRUE(shield.WaitUntilStarted());
    EXPECT_EQ(folder.Option("FirstRun"), 0);
    // The first start runs at the first-start level, Medium.
    EXPECT_TRUE(ShowsLevel(mainWindow, "Medium"));
    EXPECT_TRUE(IsLatched(mainWindow, "middle_shield"));
    RECT client{};
    GetClientRect(mainWindow, &client);
    EXPECT_EQ(client.right, 632);
    EXPECT_EQ(client.bottom, 490);
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    EXPECT_TRUE(shield.WaitForExit().has_value());
    // The first start asked Windows to start the shield at log-on; this folder goes.
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey).DeleteValue("Sentrel 4");
}

// The visible message boxes of a process.
int VisibleMessageBoxes(DWORD processId) {
    int count = 0;
    for (HWND found = FindWindowExA(nullptr, nullptr, "#32770", nullptr); found != nullptr;
         found = FindWindowExA(nullptr, found, "#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(found, &owner);
        count += owner == processId && IsWindowVisible(found) ? 1 : 0;
    }
    return count;
}

// A window of the test in front of everything, so that bringing a window to the front shows.
class FrontWindow {
public:
    FrontWindow() {
        window_ = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "in front", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    ~FrontWindow() { DestroyWindow(window_); }
    // Asks again while it waits (a window of a test running beside this one may take the front
    // meanwhile) and lets its own window answer the activation.
    bool TakeFront() const {
        return Eventually(
            [&] {
                MSG message;
                while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
                if (GetForegroundWindow() != window_) SetForegroundWindow(window_);
                return GetForegroundWindow() == window_;
            },
            10s);
    }

private:
    HWND window_ = nullptr;
};

// While a window of the shield waits for an answer (the main window is disabled), the hot key,
// the tray icon and its menu bring that window to the front and do nothing else.
void ExpectOnlyBroughtToFront(const ShieldProcess& shield, HWND mainWindow, HWND waiting, const FrontWindow& front) {
    const bool mainShown = IsWindowVisible(mainWindow) != FALSE;
    const int boxes = VisibleMessageBoxes(shield.Id());
    ASSERT_TRUE(front.TakeFront());
    HotKey();
    EXPECT_TRUE(Eventually([&] { return GetForegroundWindow() == waiting; }, 5s)) << "the hot key";
    ASSERT_TRUE(front.TakeFront());
    PostMessageA(mainWindow, ui::kTrayIconMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(Eventually([&] { return GetForegroundWindow() == waiting; }, 5s)) << "the tray icon";
    // Sent: answered at once when it only brings the window to the front; a second question
    // would hold the answer, and the send gives up after a while.
    SendMessageTimeoutA(mainWindow, WM_COMMAND, ui::kExitCommand, 0, SMTO_BLOCK, 3000, nullptr);
    EXPECT_EQ(VisibleMessageBoxes(shield.Id()), boxes) << "\"&Exit\" asked again";
    EXPECT_EQ(IsWindowVisible(mainWindow) != FALSE, mainShown);
    EXPECT_TRUE(IsWindowVisible(waiting));
    // A second question (before the fault was mended) is answered No, so the walk goes on.
    for (HWND box = shield.WaitForMessageBox(0ms); VisibleMessageBoxes(shield.Id()) > boxes;
         box = shield.WaitForMessageBox(0ms)) {
        Answer(box, IDNO);
        Eventually([&] { return !IsWindow(box); }, 5s);
    }
}

TEST(MainWindow, AWindowWaitingForAnAnswerComesToTheFrontInsteadOfASecondOne) {
    FrontWindow front;
    FaceFolder folder(true);
    ShieldProcess shield(folder);
    const HWND welcome = shield.WaitForWindow("TFirstSplashForm");
    ASSERT_TRUE(welcome && WaitForVisibility(welcome, true));
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ExpectOnlyBroughtToFront(shield, mainWindow, welcome, front);
    EXPECT_FALSE(IsWindowVisible(mainWindow));

    // Shown meanwhile by other means, the main window stays when the first start ends.
    ShowWindow(mainWindow, SW_SHOWNOACTIVATE);
    Press(welcome, "return");
    ASSERT_TRUE(WaitForVisibility(welcome, false));
    // Answered once the first start has ended (the end shows or hides the main window without
    // taking messages).
    ASSERT_TRUE(shield.WaitUntilStarted());
    EXPECT_TRUE(IsWindowVisible(mainWindow)) << "the end of the first start hid the main window";
    ShowWindow(mainWindow, SW_SHOW);

    // The close dialog and the confirmation of "&Exit" over the main window.
    folder.Options().WriteInteger("CloseAction", 3);
    Press(mainWindow, "exit1");
    const HWND closing = shield.WaitForWindow("TClosingForm");
    ASSERT_TRUE(closing && WaitForVisibility(closing, true));
    ExpectOnlyBroughtToFront(shield, mainWindow, closing, front);
    Press(closing, "&Cancel");
    ASSERT_TRUE(WaitForVisibility(closing, false));
    PostMessageA(mainWindow, WM_COMMAND, ui::kExitCommand, 0);
    const HWND box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    ExpectOnlyBroughtToFront(shield, mainWindow, box, front);
    Answer(box, IDNO);
    EXPECT_TRUE(Eventually([&] { return VisibleMessageBoxes(shield.Id()) == 0; }));
    EXPECT_TRUE(shield.IsRunning());
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    EXPECT_TRUE(shield.WaitForExit().has_value());
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey).DeleteValue("Sentrel 4");
}

TEST(MainWindow, StartsInTheTrayAndRemindsWhenFirstShown) {
    const TDateTime now = CurrentDateTime();
    for (const bool due : {true, false}) {
        FaceFolder folder;
        TOptions options = folder.Options();
        options.WriteBool("RunMinimized", true);
        options.WriteInteger("RemindPeriod", 2);  // 14 days
        options.WriteDateTime("LastRemind", now - (due ? 20 : 13));
        ShieldProcess shield(folder);
        ASSERT_TRUE(shield.WaitUntilStarted());
        const HWND mainWindow = shield.WaitForWindow("TMainForm");
        EXPECT_FALSE(IsWindowVisible(mainWindow));
        EXPECT_EQ(shield.WaitForMessageBox(2s), nullptr) << "a reminder before the window was shown";

        HotKey();
        ASSERT_TRUE(WaitForVisibility(mainWindow, true)) << "Ctrl+Shift+A did not show the window";
        const HWND box = shield.WaitForMessageBox(due ? 10s : 3s);
        if (due) {
            ASSERT_NE(box, nullptr) << "no reminder";
            EXPECT_EQ(MessageBoxText(box), "Sentrel's antispyware database is out of date.\n\rDo you want to update it now?");
            Answer(box, IDNO);
            ASSERT_TRUE(Eventually([&] { return folder.Options().ReadDateTime("LastRemind", 0) > now - 1; }));
        } else {
            EXPECT_EQ(box, nullptr) << "reminded within the period";
        }
        HotKey();
        EXPECT_TRUE(WaitForVisibility(mainWindow, false)) << "Ctrl+Shift+A did not hide the window";
        RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
        EXPECT_TRUE(shield.WaitForExit().has_value());
    }
}

TEST(MainWindow, LevelPicturesSwitchTheLevelAndItsSigns) {
    // The pointer away from the window, so no hint covers the pictures taken.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
    FaceFolder folder;
    folder.Options().WriteInteger("Shield", 4);
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    EXPECT_TRUE(IsLatched(mainWindow, "disabled"));

    const std::vector<std::pair<std::string, std::string>> levels = {
        {"small_shield", "Low"}, {"middle_shield", "Medium"}, {"large_shield", "High"}, {"disabled", "Disabled"}};
    for (std::size_t level = 0; level < levels.size(); ++level) {
        const auto& [image, label] = levels[level];
        Press(mainWindow, image);
        ASSERT_TRUE(Eventually([&] { return ShowsLevel(mainWindow, label); })) << image;
        EXPECT_EQ(folder.Option("Shield"), level == 3 ? 4 : static_cast<int>(level));
        for (const auto& [other, unused] : levels) EXPECT_EQ(IsLatched(mainWindow, other), other == image) << other;
        SaveWindowPicture(mainWindow, ScreenshotPath("main-" + label + ".bmp"));
    }

    // The monitors of the level run: Medium notices a new autorun entry, Disabled does not.
    platform::RegistryKey run = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey);
    Press(mainWindow, "middle_shield");
    ASSERT_TRUE(Eventually([&] { return ShowsLevel(mainWindow, "Medium"); }));
    WaitForAutostartBaseline();
    run.WriteString("E2E Face", "C:\\Program Files\\Face\\face.exe");
    HWND alert = shield.WaitForWindow("TAlertForm");
    const bool noticed = alert && WaitForVisibility(alert, true, 25s);
    run.DeleteValue("E2E Face");
    ASSERT_TRUE(noticed) << "Medium did not notice the new autorun entry";
    Press(alert, "ignore");
    ASSERT_TRUE(WaitForVisibility(alert, false));

    Press(mainWindow, "disabled");
    ASSERT_TRUE(Eventually([&] { return ShowsLevel(mainWindow, "Disabled"); }));
    run.WriteString("E2E Face 2", "C:\\Program Files\\Face\\face2.exe");
    const bool noticedDisabled = WaitForVisibility(alert, true, 14s);
    run.DeleteValue("E2E Face 2");
    EXPECT_FALSE(noticedDisabled) << "Disabled noticed an autorun entry";
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    EXPECT_TRUE(shield.WaitForExit().has_value());
}

TEST(MainWindow, TrayMenuSwitchesLevelsAndExits) {
    FaceFolder folder;
    folder.Options().WriteInteger("Shield", 0);
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND mainWindow = shield.WaitForWindow("TMainForm");

    // A right click on the icon opens the menu; the keyboard picks "&Security Level", "&High".
    PostMessageA(mainWindow, ui::kTrayIconMessage, 1, WM_RBUTTONUP);
    const HWND menu = shield.WaitForWindow("#32768");
    ASSERT_NE(menu, nullptr) << "the tray menu did not open";
    ASSERT_TRUE(WaitForVisibility(menu, true));
    SaveWindowPicture(menu, ScreenshotPath("tray-menu.bmp"));
    Keys({'S'});
    // The submenu is a second menu window.
    const auto visibleMenus = [] {
        int count = 0;
        for (HWND found = FindWindowExA(nullptr, nullptr, "#32768", nullptr); found != nullptr;
             found = FindWindowExA(nullptr, found, "#32768", nullptr))
            count += IsWindowVisible(found) ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(Eventually([&] { return visibleMenus() >= 2; })) << "the level submenu did not open";
    Keys({'H'});
    ASSERT_TRUE(Eventually([&] { return folder.Option("Shield") == 2; })) << "the menu did not switch the level";
    EXPECT_TRUE(ShowsLevel(mainWindow, "High"));
    EXPECT_TRUE(IsLatched(mainWindow, "large_shield"));

    // A double click runs the default item, which hides the window that shows and shows it again.
    ASSERT_TRUE(IsWindowVisible(mainWindow));
    PostMessageA(mainWindow, ui::kTrayIconMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitForVisibility(mainWindow, false));
    PostMessageA(mainWindow, ui::kTrayIconMessage, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitForVisibility(mainWindow, true));

    // "&Exit" asks; No keeps the shield, Yes ends it with its normal teardown.
    const auto databaseWritten = SetLastWriteTimeBack(folder / "database.db");
    for (const int answer : {IDNO, IDYES}) {
        PostMessageA(mainWindow, WM_COMMAND, ui::kExitCommand, 0);
        const HWND box = shield.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box),
                  "Please note that you will not be safe from spyware, adware and trojans when Sentrel is not active. "
                  "Are you really sure to close it? ");
        Answer(box, answer);
        if (answer == IDNO) {
            EXPECT_FALSE(shield.WaitForExit(1500ms).has_value());
        } else {
            EXPECT_TRUE(shield.WaitForExit().has_value());
        }
    }
    EXPECT_GT(LastWriteTime(folder / "database.db"), databaseWritten);
}

TEST(MainWindow, MinimiseWarnsOnceAndCloseFollowsTheChoice) {
    FaceFolder folder;
    {
        // "MinimizeWarning" removed: the first press explains, later ones do not.
        TOptions options = folder.Options();
        options.WriteInteger("CloseAction", 3);
    }
    std::string text = ReadFileText(folder / "options.ini");
    const auto at = text.find("MinimizeWarning=1\r\n");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, std::string("MinimizeWarning=1\r\n").size());
    test::WriteTextFile(folder / "options.ini", text);

    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    Press(mainWindow, "mini");
    HWND box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box).substr(0, 56), "Now Sentrel will be minimized into the system tray icon.");
    PressOk(box);
    EXPECT_TRUE(WaitForVisibility(mainWindow, false));
    EXPECT_EQ(folder.Option("MinimizeWarning"), 1);
    HotKey();
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    Press(mainWindow, "mini");
    EXPECT_TRUE(WaitForVisibility(mainWindow, false));
    EXPECT_EQ(shield.WaitForMessageBox(1s), nullptr);
    HotKey();
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));

    // "CloseAction" 3 asks; Cancel changes nothing.
    Press(mainWindow, "exit1");
    HWND closing = shield.WaitForWindow("TClosingForm");
    ASSERT_NE(closing, nullptr);
    ASSERT_TRUE(WaitForVisibility(closing, true));
    EXPECT_EQ(WindowText(closing), "Closing Sentrel...");
    EXPECT_NE(FindChildByText(closing, "You are going to close Sentrel. Please, select one of the following actions:"),
              nullptr);
    SaveWindowPicture(closing, ScreenshotPath("closing.bmp"));
    Press(closing, "&Cancel");
    ASSERT_TRUE(WaitForVisibility(closing, false));
    EXPECT_EQ(folder.Option("CloseAction"), 3);
    EXPECT_TRUE(IsWindowVisible(mainWindow));

    // "Always minimize": written, and the window goes to the tray now and on every later click.
    Press(mainWindow, "exit1");
    ASSERT_TRUE(WaitForVisibility(closing, true));
    Press(closing, "&OK");
    EXPECT_TRUE(WaitForVisibility(mainWindow, false));
    EXPECT_EQ(folder.Option("CloseAction"), 1);
    HotKey();
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    Press(mainWindow, "exit1");
    EXPECT_TRUE(WaitForVisibility(mainWindow, false));
    EXPECT_FALSE(IsWindowVisible(closing));

    // "Always close": asks for confirmation at once and at every later click.
    folder.Options().WriteInteger("CloseAction", 3);
    HotKey();
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    Press(mainWindow, "exit1");
    ASSERT_TRUE(WaitForVisibility(closing, true));
    SendMessageA(FindChildByText(closing, "Always c&lose Sentrel with X (close window) button"), BM_CLICK, 0, 0);
    Press(closing, "&OK");
    box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    Answer(box, IDNO);
    EXPECT_EQ(folder.Option("CloseAction"), 2);
    ASSERT_TRUE(Eventually([&] { return shield.WaitForMessageBox(0ms) == nullptr; }));
    EXPECT_TRUE(shield.IsRunning());

    // "Close now and ask next time": ends at once, the choice is asked again next time.
    folder.Options().WriteInteger("CloseAction", 3);
    Press(mainWindow, "exit1");
    ASSERT_TRUE(WaitForVisibility(closing, true));
    SendMessageA(FindChildByText(closing, "Close Sentrel now and &ask this next time"), BM_CLICK, 0, 0);
    Press(closing, "&OK");
    EXPECT_TRUE(shield.WaitForExit().has_value());
    EXPECT_EQ(folder.Option("CloseAction"), 3);
}

TEST(MainWindow, TheScannerButtonSaysWhenTheScannerIsMissing) {
    platform::RegistryKey::Create(HKEY_CURRENT_USER, "SOFTWARE\\Brannock").DeleteTree("Talvex 4");
    FaceFolder folder;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ASSERT_TRUE(WaitForVisibility(mainWindow, true));
    Press(mainWindow, "scaner");
    const HWND splash = shield.WaitForWindow("TSplashForm");
    ASSERT_NE(splash, nullptr);
    ASSERT_TRUE(WaitForVisibility(splash, true));
    EXPECT_EQ(WindowText(splash), "Talvex is not installed on your computer yet!");
    for (const char* link : {"Look at its features", "Try Now!", "Learn More..."})
        EXPECT_NE(FindChildByText(splash, link), nullptr) << link;
    SaveWindowPicture(splash, ScreenshotPath("scanner-not-installed.bmp"));

    // A path of another type is a damaged installation of the scanner.
    {
        platform::RegistryKey key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "SOFTWARE\\Brannock\\Talvex 4");
        key.WriteDword("FilePath", 7);
    }
    Press(mainWindow, "scaner");
    const HWND box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "Path to Talvex's executable is corrupted! Please, reinstall Talvex.");
    PressOk(box);

    // So is a key the user may not open (a DACL that grants nothing).
    {
        platform::RegistryKey key = platform::RegistryKey::Create(HKEY_CURRENT_USER, "SOFTWARE\\Brannock\\Talvex 4",
                                                                  platform::RegistryAccess::ReadWrite);
        key.WriteString("FilePath", "C:\\Talvex\\talvex.exe");
        ACL none{};
        ASSERT_TRUE(InitializeAcl(&none, sizeof none, ACL_REVISION));
        SECURITY_DESCRIPTOR closed{};
        ASSERT_TRUE(InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION));
        ASSERT_TRUE(SetSecurityDescriptorDacl(&closed, TRUE, &none, FALSE));
        HKEY raw = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brannock\\Talvex 4", 0, WRITE_DAC, &raw), ERROR_SUCCESS);
        ASSERT_EQ(RegSetKeySecurity(raw, DACL_SECURITY_INFORMATION, &closed), ERROR_SUCCESS);
        RegCloseKey(raw);
    }
    HKEY probe = nullptr;
    const LONG denied = RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brannock\\Talvex 4", 0, KEY_READ, &probe);
    if (probe) RegCloseKey(probe);
    if (denied == ERROR_ACCESS_DENIED) {
        Press(mainWindow, "scaner");
        const HWND deniedBox = shield.WaitForMessageBox(10s);
        ASSERT_NE(deniedBox, nullptr) << "the scanner button did nothing for a key it may not open";
        EXPECT_EQ(MessageBoxText(deniedBox), "Path to Talvex's executable is corrupted! Please, reinstall Talvex.");
        PressOk(deniedBox);
    } else {
        ADD_FAILURE() << "this Wine lets anyone open a key with an empty DACL (" << denied << ")";
    }
    {
        HKEY raw = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Brannock\\Talvex 4", 0, WRITE_DAC, &raw) == ERROR_SUCCESS) {
            SECURITY_DESCRIPTOR open{};
            InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
            RegSetKeySecurity(raw, DACL_SECURITY_INFORMATION, &open);
            RegCloseKey(raw);
        }
    }
    platform::RegistryKey::Create(HKEY_CURRENT_USER, "SOFTWARE\\Brannock").DeleteTree("Talvex 4");
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    EXPECT_TRUE(shield.WaitForExit().has_value());
}

}  // namespace
}  // namespace sentrel::e2e
