// The options dialog driven as a user would: the undo list of the changes the shield made, the
// black and white lists, the security level page, and a look at every page.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "database/UpdateSignature.h"
#include "e2e/ShieldProcess.h"
#include "platform/Registry.h"
#include "ui/OptionsFormIds.h"
#include "warnings/Backuper.h"

namespace sentrel::e2e {
namespace {

namespace ids = ui::options_ids;

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPageNames[] = {"General",    "Security Level",  "Default Actions", "Black List",
                                      "White List", "Restore Changes", "About"};

// The current user's Run key; the values a test adds are deleted when it ends.
class RunKey {
public:
    RunKey() : key_(platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey)) { ForgetAutostartBaseline(); }
    ~RunKey() {
        for (const auto& name : added_) key_.DeleteValue(name);
    }
    void Add(const std::string& name, DWORD type, const std::string& data) {
        WaitForAutostartBaseline();
        key_.WriteValue(name, type, std::string_view(data.c_str(), data.size() + 1));
        added_.push_back(name);
    }
    std::optional<platform::RegistryValue> Read(const std::string& name) const { return key_.ReadValue(name); }

private:
    platform::RegistryKey key_;
    std::vector<std::string> added_;
};

// A program folder past the first start, the main window shown at start.
class DialogFolder : public ProgramFolder {
public:
    explicit DialogFolder(int level, int whatDo) {
        CopyGraphics();
        TOptions options = Options();
        WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("Autorun", false);
        options.WriteBool("RunMinimized", false);
        options.WriteInteger("RemindPeriod", 9);
        options.WriteInteger("WhatDo", whatDo);
        options.WriteInteger("Shield", level);
    }
    TOptions Options() const { return TOptions("options.ini", Path()); }
    int Option(const std::string& key) const { return Options().ReadInteger(key, -1); }
};

// The entries of a list box of the shield (read as UTF-16: only that crosses processes whole).
std::vector<std::string> ListTexts(HWND list) {
    std::vector<std::string> texts;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t wide[512] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
        char text[1024] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        texts.emplace_back(text);
    }
    return texts;
}

// Every control of `parent`, at any depth.
std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

// The control of `parent` (at any depth) with the id, or null.
HWND ChildWithId(HWND parent, int id) {
    std::pair<int, HWND> search{id, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) {
            auto* const wanted = reinterpret_cast<std::pair<int, HWND>*>(data);
            if (GetDlgCtrlID(child) != wanted->first) return TRUE;
            wanted->second = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.second;
}

void SelectOnly(HWND list, int index) {
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    SendMessageA(list, LB_SETSEL, TRUE, index);
    SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
}

// The shield started in `folder` with its main window and options dialog at hand.
class Session {
public:
    explicit Session(const ProgramFolder& folder) : shield_(folder) {
        EXPECT_TRUE(shield_.WaitUntilStarted());
        mainWindow_ = shield_.WaitForWindow("TMainForm");
        EXPECT_TRUE(WaitForVisibility(mainWindow_, true));
        dialog_ = shield_.WaitForWindow("TOptionsForm");
    }
    ~Session() {
        RunAndWait("taskkill /pid " + std::to_string(shield_.Id()));
        shield_.WaitForExit();
    }

    // Opens the dialog through a button of the main window.
    void Open(const std::string& button) {
        Press(mainWindow_, button);
        ASSERT_TRUE(WaitForVisibility(dialog_, true));
    }
    HWND Page(const std::string& name) const { return FindChildByText(dialog_, name); }
    bool PageShown(const std::string& name) const { return IsWindowVisible(Page(name)) != FALSE; }
    // Moves to a page with Ctrl+Tab, as a user would from the keyboard. Keys go to the window in
    // front, which a window of a test running beside this one may take for a moment: the dialog
    // is brought to the front before each press, and a press that moved nothing is made again
    // (three times at most).
    void GoTo(const std::string& name) {
        for (int i = 0; i < 7 && !PageShown(name); ++i) {
            const std::string before = ShownPage();
            bool moved = false;
            for (int press = 0; press < 3 && !moved; ++press) {
                ASSERT_TRUE(ToFront());
                Keys({VK_CONTROL, VK_TAB});
                moved = Eventually([&] { return ShownPage() != before; }, 5s);
            }
            ASSERT_TRUE(moved) << "Ctrl+Tab left " << before;
        }
        ASSERT_TRUE(PageShown(name)) << name;
    }
    // Brings the dialog to the front, asking again while it waits.
    bool ToFront() const {
        return Eventually(
            [&] {
                if (GetForegroundWindow() != dialog_) SetForegroundWindow(dialog_);
                return GetForegroundWindow() == dialog_;
            },
            10s);
    }
    std::string ShownPage() const {
        for (const char* name : kPageNames)
            if (PageShown(name)) return name;
        return {};
    }
    // Answers the input box that `button` opens with `text`; checks its caption and prompt.
    void AnswerInputBox(HWND page, const std::string& button, const std::string& caption, const std::string& prompt,
                        const std::string& expectedDefault, const std::string& text) {
        Press(page, button);
        HWND box = nullptr;
        ASSERT_TRUE(Eventually([&] {
            box = FindWindowA("TInputBox", caption.c_str());
            return box && IsWindowVisible(box);
        })) << caption;
        EXPECT_NE(FindChildByText(box, prompt), nullptr) << prompt;
        const HWND edit = FindWindowExA(box, nullptr, "Edit", nullptr);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(WindowText(edit), expectedDefault);
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        Press(box, "OK");
        ASSERT_TRUE(Eventually([&] { return !IsWindow(box) || !IsWindowVisible(box); }));
    }
    void Close(const std::string& button) {
        Press(dialog_, button);
        ASSERT_TRUE(WaitForVisibility(dialog_, false));
    }

    ShieldProcess& Shield() { return shield_; }
    HWND MainWindow() const { return mainWindow_; }
    HWND Dialog() const { return dialog_; }

private:
    ShieldProcess shield_;
    HWND mainWindow_ = nullptr;
    HWND dialog_ = nullptr;
};

TEST(OptionsDialog, RestoreChangesUndoesAndDeletesWhatTheShieldFixed) {
    test::TempFolder programs;
    DialogFolder folder(1, 1);  // Medium, "Shield me without prompt"
    RunKey run;
    Session session(folder);
    TBackuper backuper(folder.Path());

    // Two programs add themselves to the autorun list; the shield removes both at once.
    const std::string restoredData = "%SystemRoot%\\e2e restore\\tool.exe";
    run.Add("E2E Restore", REG_EXPAND_SZ, restoredData);
    run.Add("E2E Delete", REG_SZ, programs / "other.exe");
    ASSERT_TRUE(Eventually([&] { return !run.Read("E2E Restore") && !run.Read("E2E Delete"); }, 40s));

    session.Open("undo");
    ASSERT_TRUE(session.PageShown("Restore Changes"));
    const HWND page = session.Page("Restore Changes");
    const HWND list = GetDlgItem(page, ids::kBackups);
    ASSERT_NE(list, nullptr);
    const std::vector<std::string> shown = ListTexts(list);
    ASSERT_EQ(shown.size(), 2u);
    // Each record's description, and why its finding looked dangerous where the record says so.
    const auto line = [&](int record) {
        const std::string why = backuper.GetString(record, "Why");
        return backuper.GetString(record, "Desc") + (why.empty() ? "" : " - why it looked dangerous: " + why);
    };
    const std::vector<std::string> records{line(0), line(1)};
    EXPECT_EQ(shown, records) << "the list shows each record's description in record order";
    EXPECT_TRUE(std::find(shown.begin(), shown.end(),
                          "Program other.exe was deleted from the autorun list - why it looked dangerous: the program "
                          "is in the temporary folder") != shown.end());
    const int otherRecord = records[0].find("other.exe") != std::string::npos ? 0 : 1;
    const std::string otherCode = backuper.GetSectionName(otherRecord);

    // Undo brings the value back with its type and data; the entry goes from the list.
    const auto restoreIndex = std::find(shown.begin(), shown.end(),
                                        "Program tool.exe was deleted from the autorun list") - shown.begin();
    ASSERT_LT(restoreIndex, 2);
    SelectOnly(list, static_cast<int>(restoreIndex));
    Press(page, "&Undo");
    ASSERT_TRUE(Eventually([&] { return run.Read("E2E Restore").has_value(); }));
    const auto value = run.Read("E2E Restore");
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(platform::StringFromRegistryData(value->data), restoredData);
    ASSERT_TRUE(Eventually([&] { return ListTexts(list).size() == 1u; }));

    // The next autorun pass leaves the value the user brought back: a new entry added after the
    // undo is removed (so a pass ran) and shows up in the open list at once.
    run.Add("E2E Marker", REG_SZ, programs / "marker.exe");
    ASSERT_TRUE(Eventually([&] { return !run.Read("E2E Marker"); }, 40s));
    EXPECT_TRUE(run.Read("E2E Restore").has_value()) << "the undone change was removed again";
    ASSERT_TRUE(Eventually([&] { return ListTexts(list).size() == 2u; }))
        << "the list did not show the new change";
    // The dispatcher settles one finding a second: give it a few to (wrongly) fix the value again.
    EXPECT_FALSE(Eventually([&] { return !run.Read("E2E Restore") || ListTexts(list).size() > 2u; }, 4s))
        << "the undone change was removed again";

    // Delete removes the other record and its folder, restoring nothing.
    const std::vector<std::string> now = ListTexts(list);
    const auto otherIndex = std::find_if(now.begin(), now.end(), [](const std::string& text) {
                                return text.starts_with("Program other.exe was deleted from the autorun list");
                            }) - now.begin();
    ASSERT_LT(otherIndex, 2);
    SelectOnly(list, static_cast<int>(otherIndex));
    Press(page, "&Delete");
    ASSERT_TRUE(Eventually([&] { return ListTexts(list).size() == 1u; }));
    EXPECT_FALSE(FolderExists(backuper.RecordFolder(otherCode)));
    EXPECT_FALSE(run.Read("E2E Delete").has_value());
    EXPECT_EQ(ListTexts(list), (std::vector<std::string>{"Program marker.exe was deleted from the autorun list - why it "
                                                         "looked dangerous: the program is in the temporary folder"}));
    // Delete of the only entry leaves nothing selected.
    SelectOnly(list, 0);
    Press(page, "&Delete");
    ASSERT_TRUE(Eventually([&] { return ListTexts(list).empty(); }));
    EXPECT_EQ(SendMessageA(list, LB_GETSELCOUNT, 0, 0), 0);
    EXPECT_EQ(backuper.GetCount(), 0);
}

TEST(OptionsDialog, ListEditsReachTheFilesOnOkAndAddsAtOnce) {
    DialogFolder folder(1, 0);
    test::WriteTextFile(folder / "black_list.txt", "alpha\r\nbeta\r\n");
    Session session(folder);
    session.Open("options_button");
    ASSERT_TRUE(session.PageShown("General"));
    session.GoTo("Black List");
    const HWND black = session.Page("Black List");
    const HWND list1 = GetDlgItem(black, ids::kBlackList);
    EXPECT_EQ(ListTexts(list1), (std::vector<std::string>{"alpha", "beta"}));

    // Add saves at once.
    session.AnswerInputBox(black, "&Add...", "Add new program to Black List", "Enter name of program:", "", "delta");
    EXPECT_TRUE(Eventually([&] { return ListTexts(list1).size() == 3u; }));
    EXPECT_EQ(ReadTextFile(folder / "black_list.txt"), "alpha\r\nbeta\r\ndelta\r\n");
    // Edit and Delete wait for OK.
    SelectOnly(list1, 0);
    session.AnswerInputBox(black, "&Edit...", "Edit entry of Black List", "Enter new content:", "alpha", "gamma");
    SelectOnly(list1, 1);
    Press(black, "&Delete");
    ASSERT_TRUE(Eventually([&] { return ListTexts(list1).size() == 2u; }));
    EXPECT_EQ(ListTexts(list1), (std::vector<std::string>{"gamma", "delta"}));
    EXPECT_EQ(ReadTextFile(folder / "black_list.txt"), "alpha\r\nbeta\r\ndelta\r\n");

    // The white list: an Add, then Cancel; the Add stays saved, the files keep the rest.
    session.GoTo("White List");
    const HWND white = session.Page("White List");
    session.AnswerInputBox(white, "&Add...", "Add new program to White List", "Enter name of program:", "", "w1");
    EXPECT_TRUE(Eventually([&] { return ListTexts(GetDlgItem(white, ids::kWhiteList)).size() == 1u; }));
    session.Close("&Cancel");
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"), "w1\r\n");
    EXPECT_EQ(ReadTextFile(folder / "black_list.txt"), "alpha\r\nbeta\r\ndelta\r\n");

    // The edits stay in the lists in memory; OK writes them.
    session.Open("options_button");
    session.GoTo("Black List");
    EXPECT_EQ(ListTexts(list1), (std::vector<std::string>{"gamma", "delta"}));
    session.Close("&OK");
    EXPECT_EQ(ReadTextFile(folder / "black_list.txt"), "gamma\r\ndelta\r\n");
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"), "w1\r\n");
}

// Clicks row `row` of a list box as the mouse would.
void ClickRow(HWND list, int row) {
    const LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    const LPARAM point = MAKELPARAM(10, static_cast<int>(height * row + height / 2));
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
}

TEST(OptionsDialog, TheLevelPageSwitchesTheMonitorsOnOk) {
    test::TempFolder programs;
    DialogFolder folder(1, 0);
    RunKey run;
    Session session(folder);
    const HWND mainWindow = session.MainWindow();
    const HWND page = session.Page("Security Level");
    const HWND levels = GetDlgItem(page, ids::kLevelList);
    const auto choose = [&](int row) {
        session.Open("options_button");
        session.GoTo("Security Level");
        ClickRow(levels, row);
        ASSERT_TRUE(Eventually([&] { return SendMessageA(levels, LB_GETCURSEL, 0, 0) == row; }));
        session.Close("&OK");
    };

    // The first start's pass takes what the autorun list holds (a level switched before it ends
    // would leave it to the next level that watches).
    WaitForAutostartBaseline();
    // Low: the autorun list is not watched.
    choose(0);
    EXPECT_NE(FindChildByText(mainWindow, "Low"), nullptr);
    EXPECT_EQ(folder.Option("Shield"), 0);
    run.Add("E2E Level", REG_SZ, programs / "level.exe");
    const HWND alert = session.Shield().WaitForWindow("TAlertForm");
    EXPECT_FALSE(WaitForVisibility(alert, true, 10s)) << "Low noticed an autorun entry";

    // Medium: it is, the entry is asked about.
    choose(1);
    EXPECT_NE(FindChildByText(mainWindow, "Medium"), nullptr);
    EXPECT_TRUE(WaitForVisibility(alert, true, 30s)) << "Medium did not notice the autorun entry";
    Press(alert, "ignore");
    EXPECT_TRUE(WaitForVisibility(alert, false));

    choose(2);
    EXPECT_NE(FindChildByText(mainWindow, "High"), nullptr);
    EXPECT_EQ(folder.Option("Shield"), 2);

    // A monitor check box turns the level into Custom at once; the monitors wait for OK.
    session.Open("options_button");
    session.GoTo("Security Level");
    EXPECT_EQ(SendMessageA(levels, LB_GETCURSEL, 0, 0), 2);
    folder.Options().WriteBool("CustomProcesses", false);
    SendMessageA(FindChildByText(page, "&Processes"), BM_CLICK, 0, 0);
    EXPECT_EQ(folder.Option("Shield"), 3);
    EXPECT_EQ(SendMessageA(levels, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(SendMessageA(FindChildByText(page, "&Processes"), BM_GETCHECK, 0, 0), BST_UNCHECKED)
        << "the check boxes show the Custom switches";
    EXPECT_NE(FindChildByText(page, "This is a custom security level. Here you can set up necessary options manually."),
              nullptr);
    EXPECT_NE(FindChildByText(mainWindow, "High"), nullptr) << "the level changed before OK";
    session.Close("&OK");
    EXPECT_NE(FindChildByText(mainWindow, "Custom"), nullptr);
    EXPECT_FALSE(folder.Options().ReadBool("CustomProcesses", true));
}

// What changes behind the open dialog survives its OK: an alert's standing answers, and a level
// chosen with the main window's Custom picture.
TEST(OptionsDialog, OkKeepsWhatChangedWhileItWasOpen) {
    test::TempFolder programs;
    DialogFolder folder(1, 0);
    RunKey run;
    Session session(folder);
    session.Open("options_button");
    const HWND levels = GetDlgItem(session.Page("Security Level"), ids::kLevelList);
    EXPECT_EQ(SendMessageA(levels, LB_GETCURSEL, 0, 0), 1);

    run.Add("E2E Always", REG_SZ, programs / "always.exe");
    const HWND alert = session.Shield().WaitForWindow("TAlertForm");
    ASSERT_TRUE(WaitForVisibility(alert, true, 30s)) << "Medium did not notice the autorun entry";
    const HWND always = FindChildByText(alert, "Do it always");
    const HWND allSuch = FindChildByText(alert, "Do it always with all such threats");
    ASSERT_TRUE(always && allSuch);
    SendMessageA(always, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(allSuch, BM_SETCHECK, BST_CHECKED, 0);
    Press(alert, "ignore");
    ASSERT_TRUE(WaitForVisibility(alert, false));
    const std::string whitePath = folder / "white_list.txt";
    ASSERT_TRUE(Eventually([&] { return FileExists(whitePath) && !ReadTextFile(whitePath).empty(); }));
    const std::string whiteList = ReadTextFile(folder / "white_list.txt");
    EXPECT_EQ(folder.Option("AutorunAction"), 2);
    // Back in the dialog, it shows both answers.
    SetForegroundWindow(session.Dialog());
    const HWND ignoreAutorun = ChildWithId(session.Dialog(), ids::kAction + 1 * 10 + 2);
    EXPECT_TRUE(Eventually([&] { return SendMessageA(ignoreAutorun, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5s));
    EXPECT_EQ(ListTexts(GetDlgItem(session.Page("White List"), ids::kWhiteList)).size(), 1u);

    Press(session.MainWindow(), "custom");
    EXPECT_TRUE(Eventually([&] { return SendMessageA(levels, LB_GETCURSEL, 0, 0) == 3; }, 10s))
        << "the dialog kept showing the level it was opened at";
    session.Close("&OK");
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"), whiteList);
    EXPECT_EQ(folder.Option("AutorunAction"), 2);
    EXPECT_EQ(folder.Option("Shield"), 3);
    EXPECT_NE(FindChildByText(session.MainWindow(), "Custom"), nullptr);
}

// Coming back to the dialog (Alt+Tab, a message box closed) stores nothing: Cancel
// still cancels.
TEST(OptionsDialog, ActivatingItAgainStoresNothing) {
    DialogFolder folder(1, 0);
    Session session(folder);
    session.Open("options_button");
    session.GoTo("Security Level");
    const HWND levels = GetDlgItem(session.Page("Security Level"), ids::kLevelList);
    ClickRow(levels, 1);
    const auto focus = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(levels, nullptr), &info);
        return info.hwndFocus;
    };
    ASSERT_TRUE(Eventually([&] { return focus() == levels; }, 5s));
    const HWND autorun = FindChildByText(session.Page("General"), "Run on Windows &startup");
    ASSERT_NE(autorun, nullptr);
    SendMessageA(autorun, BM_SETCHECK, BST_CHECKED, 0);
    const unsigned long long written = SetLastWriteTimeBack(folder / "options.ini");
    // What the list hears when the dialog becomes active again while it holds the focus (Wine
    // sends it nothing then, so it is sent here): the focus comes from no window of the dialog.
    SendMessageA(levels, WM_SETFOCUS, 0, 0);
    SendMessageA(levels, WM_SETFOCUS, reinterpret_cast<WPARAM>(GetDesktopWindow()), 0);
    EXPECT_EQ(LastWriteTime(folder / "options.ini"), written) << "activating the dialog wrote the options";
    session.Close("&Cancel");
    EXPECT_EQ(folder.Option("Autorun"), 0);

    // From another control of the dialog the settings are stored, before the level changes.
    session.Open("options_button");
    session.GoTo("Security Level");
    SendMessageA(autorun, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(levels, WM_SETFOCUS, reinterpret_cast<WPARAM>(FindChildByText(session.Dialog(), "&OK")), 0);
    EXPECT_TRUE(Eventually([&] { return folder.Option("Autorun") == 1; }, 5s));
    session.Close("&Cancel");
}

// OK with an options file that cannot be written says so and leaves the dialog open.
TEST(OptionsDialog, OkSaysWhenTheOptionsCannotBeSaved) {
    DialogFolder folder(1, 0);
    Session session(folder);
    session.Open("options_button");
    // A folder in its place (Wine replaces a read-only file).
    const std::string path = folder / "options.ini";
    const std::string aside = folder / "options.ini.aside";
    ASSERT_TRUE(MoveFileA(path.c_str(), aside.c_str()));
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    Press(session.Dialog(), "&OK");
    const HWND box = session.Shield().WaitForMessageBox(10s);
    RemoveDirectoryA(path.c_str());
    MoveFileA(aside.c_str(), path.c_str());
    ASSERT_NE(box, nullptr) << "OK said nothing";
    EXPECT_NE(MessageBoxText(box).find("the options were not saved"), std::string::npos) << MessageBoxText(box);
    PressOk(box);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(box); }, 10s));
    // Answered once the dialog's thread is back in a message loop, after what OK does next.
    ASSERT_NE(SendMessageTimeoutA(session.Dialog(), WM_NULL, 0, 0, SMTO_BLOCK, 10000, nullptr), 0);
    EXPECT_TRUE(IsWindowVisible(session.Dialog())) << "the dialog closed as if the options were saved";
    session.Close("&OK");
}

TEST(OptionsDialog, EveryPageShowsItsControls) {
    DialogFolder folder(4, 0);  // Disabled: no row of the level list is selected
    Session session(folder);
    session.Open("help_mini");
    ASSERT_TRUE(session.PageShown("About"));
    const HWND dialog = session.Dialog();
    EXPECT_EQ(WindowText(dialog), "Options");
    EXPECT_FALSE(IsWindowEnabled(FindChildByText(dialog, "&Help"))) << "no help for the About page";
    EXPECT_NE(FindChildByText(session.Page("About"), "Product infromation"), nullptr);
    // A build with the public test key for updates says so, in a line of its own on the page.
    const HWND testKeyNote =
        FindChildByText(session.Page("About"), "development build: accepts updates signed with the public test key");
    EXPECT_EQ(testKeyNote != nullptr, BuiltWithTestUpdateKey());
    if (testKeyNote) {
        EXPECT_TRUE(IsWindowVisible(testKeyNote));
    }
    // Every caption a user reads on each page (the radio items of the Default Actions page once
    // per category), each shown with its page as often as listed.
    struct Caption {
        std::string text;
        int times = 1;
    };
    const std::map<std::string, std::vector<Caption>> captions = {
        {"General",
         {{"Do this action when new threat is found:"}, {"Inform me and ask what to do"}, {"Shield me without prompt"},
          {"Do nothing"}, {"Run options"}, {"Run on Windows &startup"}, {"Run &minimized"}, {"Database updates"},
          {"Warn about the necessity of database updating in:"}, {"Do this action on window closing attempt"},
          {"Close Sentrel"}, {"Minimize Sentrel"}, {"Ask, what to do"}}},
        {"Security Level",
         {{"Watch and ward:"}, {"&System folders"}, {"&Autorun list"}, {"&Processes"}, {"&Browser settings"},
          {"Registry"}, {"Cookies"}, {"Malicious files and folders"}, {"Description"}, {"Security level"}}},
        {"Default Actions",
         {{"Choose what Sentrel should do with particular system changes and threats"}, {"Changes in system folders"},
          {"Changes in autorun list"}, {"Malicious processes"}, {"Changes in browser settings"},
          {"Malicious registry entries"}, {"Malicious cookies"}, {"Changes in autostart points"},
          {"Programs in Startup folders"}, {"New scheduled tasks"}, {"New browser extensions"}, {"New services"},
          {"Ask what to do", 11}, {"Solve always", 11}, {"Ignore always", 11}}},
        {"Black List",
         {{"Here is a list of files that should be treated  as malicious programs:"}, {"&Add..."}, {"&Edit..."},
          {"&Delete"}}},
        {"White List",
         {{"Here is a list of files that should be ignored by Sentrel:"}, {"&Add..."}, {"&Edit..."}, {"&Delete"}}},
        {"Restore Changes",
         {{"Here is a list of changes that Sentrel has made to your system. You can undo any changes you want."},
          {"&Undo"}, {"&Delete"}}},
        {"About",
         {{"Sentrel 4"}, {"Version 4.0"}, {"Sentrel protects your computer from viruses and spyware using heuristic algorithms"},
          {"Last update date:"}, {"Number of known threads:"}, {"www.sentrel.example"}, {"Product infromation"},
          {"Support"},
          {"Threat data includes EasyList and EasyPrivacy (easylist.to; GPLv3 or CC BY-SA 3.0), URLhaus hosts by "
           "malware-filter (abuse.ch; CC0) and the Public Suffix List (publicsuffix.org; MPL 2.0)."}}},
    };
    const auto shownTimes = [](HWND page, const std::string& text) {
        int times = 0;
        for (const HWND child : ChildWindows(page)) times += IsWindowVisible(child) && WindowText(child) == text;
        return times;
    };
    // And the rows a user picks from: the update periods and the levels.
    const auto ofClass = [](HWND page, const char* className) {
        for (const HWND child : ChildWindows(page)) {
            char found[64] = {};
            GetClassNameA(child, found, sizeof found);
            if (lstrcmpiA(found, className) == 0) return child;
        }
        return HWND{};
    };
    const HWND periods = ofClass(session.Page("General"), "ComboBox");
    std::vector<std::string> periodRows;
    for (LRESULT i = 0; i < SendMessageW(periods, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t wide[64] = {};
        SendMessageW(periods, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
        char text[128] = {};
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        periodRows.emplace_back(text);
    }
    EXPECT_EQ(periodRows, (std::vector<std::string>{"3 days", "1 week", "2 weeks", "3 weeks", "1 month", "2 month",
                                                    "3 month", "6 month", "1 year", "Never"}));
    EXPECT_EQ(ListTexts(ofClass(session.Page("Security Level"), "ListBox")),
              (std::vector<std::string>{"Low", "Medium", "High", "Custom"}));
    for (const char* name : kPageNames) {
        session.GoTo(name);
        for (const Caption& caption : captions.at(name))
            EXPECT_EQ(shownTimes(session.Page(name), caption.text), caption.times) << name << ": " << caption.text;
        std::string file = std::string("options-") + name + ".bmp";
        std::replace(file.begin(), file.end(), ' ', '-');
        SaveWindowPicture(dialog, ScreenshotPath(file));
        EXPECT_EQ(IsWindowEnabled(FindChildByText(dialog, "&Help")) != FALSE, std::string(name) != "About");
    }
    // The status bar shows the hint of the control under the mouse.
    RECT ok{};
    GetWindowRect(FindChildByText(dialog, "&OK"), &ok);
    SetCursorPos((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
    const HWND status = GetDlgItem(dialog, ids::kStatus);
    EXPECT_TRUE(Eventually([&] { return WindowText(status) == "Apply changes and close this window"; }, 5s))
        << WindowText(status);

    // The keyboard as in any dialog: Alt+letter presses its control, Tab moves the focus on.
    session.GoTo("General");
    const HWND minimized = FindChildByText(dialog, "Run &minimized");
    const LRESULT before = SendMessageA(minimized, BM_GETCHECK, 0, 0);
    ASSERT_TRUE(session.ToFront());
    Keys({VK_MENU, 'M'});
    EXPECT_TRUE(Eventually([&] { return SendMessageA(minimized, BM_GETCHECK, 0, 0) != before; }, 5s));
    const auto focus = [&] {
        GUITHREADINFO info{sizeof info};
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
        return info.hwndFocus;
    };
    EXPECT_EQ(focus(), minimized);
    ASSERT_TRUE(session.ToFront());
    Keys({VK_TAB});
    EXPECT_TRUE(Eventually([&] { return focus() != minimized; }, 5s));
    ASSERT_TRUE(session.ToFront());
    Keys({VK_ESCAPE});
    ASSERT_TRUE(WaitForVisibility(dialog, false)) << "Escape did not cancel";
    EXPECT_EQ(folder.Options().ReadBool("RunMinimized", true), false) << "Cancel stored a control";

    // OK at Disabled keeps Disabled.
    session.Open("options_button");
    session.Close("&OK");
    EXPECT_EQ(folder.Option("Shield"), 4);
    EXPECT_NE(FindChildByText(session.MainWindow(), "Disabled"), nullptr);
}

}  // namespace
}  // namespace sentrel::e2e
