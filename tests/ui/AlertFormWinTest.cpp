#include "ui/AlertForm.h"

#include <gtest/gtest.h>

#include <functional>

#include <memory>
#include <stdexcept>

#include <commctrl.h>
#include <windowsx.h>

#include "common/Files.h"
#include "config/Options.h"
#include "core/ColorList.h"
#include "core/Dispatcher.h"
#include "core/WarningQueue.h"
#include "platform/Clipboard.h"
#include "support/TempFolder.h"
#include "ui/UiTestSupport.h"
#include "warnings/Backuper.h"
#include "warnings/BrowserExtensionWarning.h"
#include "warnings/Warning.h"

namespace sentrel::ui {
namespace {

// What the test warnings' Fix saw; it outlives the warnings, which the queue destroys.
struct FixLog {
    int fixes = 0;
    bool fail = false;
    std::function<void()> duringFix;
};

// A warning of the cookies' category whose fix is recorded or fails.
class TestWarning : public TWarning {
public:
    static void Record(const TWarning& warning, const NewBackupResult&, FixOutcome&, const WarningWorkerContext&) {
        FixLog& log = WarningAs<TestWarning>(warning).log_;
        if (log.fail) throw std::runtime_error("the file is in use");
        ++log.fixes;
        if (log.duringFix) log.duringFix();
    }
    static WarningTexts Describe(const TWarning& warning) {
        return {.description = WarningAs<TestWarning>(warning).description_};
    }
    static constexpr WarningKind kKind{
        .name = "TestWarning", .categories = {kCookiesCategory}, .fix = &Record, .texts = &Describe};

    TestWarning(std::string name, std::string description, FixLog& log)
        : TWarning(kKind, std::move(name)), description_(std::move(description)), log_(log) {}

private:
    std::string description_;
    FixLog& log_;
};

// The last window of this thread that received the focus. GetFocus() alone races with the
// windows of other programs on the same desktop, which may take the activation at any moment.
HWND lastFocused = nullptr;
LRESULT CALLBACK RecordFocus(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETFOCUS) lastFocused = sent->hwnd;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class AlertFormTest : public ::testing::Test {
protected:
    explicit AlertFormTest(std::string graphics = test::ShippedGraphicsFolder())
        : form_({queue_, white_, black_, backuper_, options_, [this] { ++mainRepaints_; }}, std::move(graphics),
                nullptr) {}
    void SetUp() override {
        form_.Create();
        form_.SetErrorReporter([this](const std::string& text) { errors_.push_back(text); });
    }

    // Queues a warning, makes it current and shows it as the dispatcher does.
    TWarning* ShowNew(const std::string& name, const std::string& danger = "") {
        queue_.QueueWarning(std::make_unique<TestWarning>(name, "Tracking cookie " + name, log_));
        return ShowHead(danger);
    }
    TWarning* ShowHead(const std::string& danger = "") {
        TWarning* current = queue_.MakeHeadCurrent();
        form_.ShowWarning("Cookie " + current->Name, current->GetDescription(), "", "bug", danger);
        form_.Present();
        test::PumpPendingMessages();
        return current;
    }
    HWND Child(const char* name) const { return FindWindowExA(form_.Handle(), nullptr, nullptr, name); }
    void Click(const char* name) { SendMessageA(Child(name), BM_CLICK, 0, 0); }
    void Tick(HWND box) { SendMessageA(box, BM_CLICK, 0, 0); }
    std::string FileText(const std::string& name) {
        const std::string path = folder_ / name;
        if (!FileExists(path)) return {};
        const auto bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
    // A point of the client area in screen coordinates, as WM_NCHITTEST takes it.
    LPARAM ScreenPoint(int x, int y) const {
        POINT at{DpiScale::Of(form_.Handle())(x), DpiScale::Of(form_.Handle())(y)};
        ClientToScreen(form_.Handle(), &at);
        return MAKELPARAM(at.x, at.y);
    }

    sentrel::test::TempFolder folder_;
    WarningQueue queue_;
    TColorList white_{folder_ / "white_list.txt"};
    TColorList black_{folder_ / "black_list.txt"};
    TBackuper backuper_{folder_.Path()};
    TOptions options_{"options.ini", folder_.Path()};
    FixLog log_;
    int mainRepaints_ = 0;
    std::vector<std::string> errors_;
    TAlertForm form_;
};

TEST_F(AlertFormTest, IsABorderlessTopmostToolWindowOfTheAlertSize) {
    char className[64] = {};
    GetClassNameA(form_.Handle(), className, sizeof className);
    EXPECT_STREQ(className, "TAlertForm");
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(form_.Handle(), GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrA(form_.Handle(), GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU));
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(IsWindowVisible(form_.Handle()));
    RECT client{};
    GetClientRect(form_.Handle(), &client);
    const DpiScale scale = DpiScale::Of(form_.Handle());
    EXPECT_EQ(client.right, scale(438));
    EXPECT_EQ(client.bottom, scale(355));
    // The rounded outline: a corner pixel is outside, the inside of the corner is in.
    const HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(form_.Handle(), region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, client.right - 1, client.bottom - 1));
    EXPECT_TRUE(PtInRegion(region, scale(16), scale(16)));
    EXPECT_TRUE(PtInRegion(region, client.right / 2, 0));
    DeleteObject(region);
    for (const char* name : {"shield", "ignore", "close3", "Threat title:", "Threat description:", "Do it always",
                             "Do it always with all such threats"})
        EXPECT_NE(Child(name), nullptr) << name;
}

TEST_F(AlertFormTest, ControlsSitAtTheirPlacesWithTheirFontsStylesAndHints) {
    const DpiScale scale = DpiScale::Of(form_.Handle());
    const auto place = [&](HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, form_.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    const auto design = [&](long left, long top, long width, long height) {
        return std::vector<long>{scale(left), scale(top), scale(width), scale(height)};
    };
    EXPECT_EQ(place(form_.TitleLabel()), design(112, 72, 161, 33));
    EXPECT_EQ(place(form_.AllCheck()), design(32, 301, 108, 16));
    EXPECT_EQ(place(form_.AllThreatsCheck()), design(32, 320, 243, 16));
    EXPECT_EQ(place(Child("shield")), design(310, 65, 120, 209));
    EXPECT_EQ(place(Child("ignore")), design(310, 280, 120, 49));
    // The lines a finding has stack up from the bottom of the panel; the description has the rest.
    const auto shown = [](HWND control) { return (GetWindowLongPtrA(control, GWL_STYLE) & WS_VISIBLE) != 0; };
    form_.ShowWarning("t", "d", "", "bug", "");
    EXPECT_EQ(place(form_.DescriptionMemo()), design(24, 123, 265, 157));
    for (HWND line : {form_.ReasonsLabel(), form_.CommandLabel(), form_.IdentityLabel(), form_.SignatureLabel()})
        EXPECT_FALSE(shown(line));
    const std::string command =
        "C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe -w hidden -enc " + std::string(400, 'A') + "=END";
    form_.ShowWarning("t", "d", "HKCU\\Run\\x", "bug", "", "Program not signed", command,
                      "Why it looks dangerous: one; two");
    EXPECT_EQ(place(form_.DescriptionMemo()), design(24, 123, 265, 51));
    EXPECT_EQ(place(form_.ReasonsLabel()), design(24, 175, 265, 44));
    EXPECT_EQ(place(form_.CommandLabel()), design(24, 219, 217, 30));
    EXPECT_EQ(place(form_.CopyButton()), design(245, 226, 44, 16));
    EXPECT_EQ(place(form_.IdentityLabel()), design(24, 249, 265, 16));
    EXPECT_EQ(place(form_.SignatureLabel()), design(24, 265, 265, 16));
    // A long command keeps its program and its end, shortened in the middle; its hint is whole.
    const std::string line = WindowText(form_.CommandLabel());
    EXPECT_TRUE(line.starts_with("C:\\\xE2\x80\xA6\\powershell.exe -w")) << line;
    EXPECT_TRUE(line.ends_with("=END")) << line;
    EXPECT_NE(line.find("\xE2\x80\xA6"), std::string::npos) << line;
    EXPECT_LT(line.size(), command.size());
    // "Copy" puts the whole of it on the clipboard.
    SendMessageA(form_.CopyButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(platform::ClipboardText(form_.Handle()), command);
    EXPECT_EQ(place(Child("close3")), design(394, 10, 25, 22));

    struct Expected {
        HWND control;
        const char* face;
        int height;
        bool bold;
    };
    for (const Expected& e : {Expected{Child("Threat title:"), "Verdana", 12, true},
                              Expected{form_.TitleLabel(), "Verdana", 12, false},
                              Expected{Child("Threat description:"), "Verdana", 12, true},
                              Expected{form_.AllCheck(), "Verdana", 12, true},
                              Expected{form_.AllThreatsCheck(), "Verdana", 12, true},
                              Expected{form_.DescriptionMemo(), "MS Shell Dlg 2", 13, false},
                              Expected{form_.IdentityLabel(), "MS Shell Dlg 2", 13, false},
                              Expected{form_.SignatureLabel(), "MS Shell Dlg 2", 13, false},
                              Expected{form_.CommandLabel(), "MS Shell Dlg 2", 13, false},
                              Expected{form_.ReasonsLabel(), "MS Shell Dlg 2", 13, false}}) {
        LOGFONTA font{};
        ASSERT_NE(GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(e.control, WM_GETFONT, 0, 0)), sizeof font, &font),
                  0);
        EXPECT_STREQ(font.lfFaceName, e.face) << WindowText(e.control);
        EXPECT_EQ(font.lfHeight, -scale(e.height)) << WindowText(e.control);
        EXPECT_EQ(font.lfWeight >= FW_BOLD, e.bold) << WindowText(e.control);
    }

    const auto style = [](HWND control) { return static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE)); };
    const DWORD memo = style(form_.DescriptionMemo());
    EXPECT_EQ(memo & (ES_MULTILINE | ES_READONLY | WS_VSCROLL), DWORD(ES_MULTILINE | ES_READONLY | WS_VSCROLL));
    EXPECT_FALSE(memo & (WS_BORDER | ES_WANTRETURN));
    EXPECT_TRUE(style(form_.IdentityLabel()) & SS_NOPREFIX);  // an "&" of a name is no accelerator
    EXPECT_EQ(style(form_.AllCheck()) & BS_TYPEMASK, DWORD(BS_AUTOCHECKBOX));
    EXPECT_EQ(style(form_.AllThreatsCheck()) & BS_TYPEMASK, DWORD(BS_AUTOCHECKBOX));

    const auto hint = [&](HWND control) {
        char text[256] = {};
        TTTOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.hwnd = form_.Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = text;
        SendMessageA(form_.Hints(), TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        return std::string(text);
    };
    EXPECT_EQ(hint(Child("shield")), "Solve this problem. Eliminate the threat!");
    EXPECT_EQ(hint(Child("ignore")), "Ignore this threat");
    EXPECT_EQ(hint(form_.AllCheck()), "Always apply selected action to this particular threat");
    EXPECT_EQ(hint(form_.AllThreatsCheck()), "Always apply selected action to this kind of threats");
}

TEST_F(AlertFormTest, LaysItselfOutAnewWhenMovedToAScreenOfAnotherDpi) {
    const auto place = [&](HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, form_.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return std::vector<long>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    for (const int dpi : {192, 144, 96}) {
        const DpiScale scale(dpi);
        RECT suggested{40, 30, 40 + scale(438), 30 + scale(355)};
        SendMessageA(form_.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));

        RECT window{};
        GetWindowRect(form_.Handle(), &window);
        EXPECT_EQ(std::vector<long>({window.left, window.top, window.right - window.left, window.bottom - window.top}),
                  std::vector<long>({40, 30, scale(438), scale(355)}))
            << dpi;
        EXPECT_EQ(place(form_.DescriptionMemo()), std::vector<long>({scale(24), scale(123), scale(265), scale(158)}))
            << dpi;
        EXPECT_EQ(place(Child("shield")), std::vector<long>({scale(310), scale(65), scale(120), scale(209)})) << dpi;
        LOGFONTA font{};
        ASSERT_NE(GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(form_.AllCheck(), WM_GETFONT, 0, 0)), sizeof font,
                             &font),
                  0);
        EXPECT_EQ(font.lfHeight, -scale(12)) << dpi;
        // The rounded outline follows the size: the bottom-right corner is cut, its inside is in.
        const HRGN region = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(form_.Handle(), region), ERROR);
        EXPECT_FALSE(PtInRegion(region, scale(438) - 1, scale(355) - 1)) << dpi;
        EXPECT_TRUE(PtInRegion(region, scale(438) - scale(16), scale(355) - scale(16))) << dpi;
        DeleteObject(region);
    }
}

TEST_F(AlertFormTest, ShowWarningFillsTheControlsAndPicksTheDangerSkin) {
    EXPECT_FALSE(queue_.AlertBusy());
    lastFocused = nullptr;
    const HHOOK focusHook = SetWindowsHookExA(WH_CALLWNDPROC, RecordFocus, nullptr, GetCurrentThreadId());
    ASSERT_NE(focusHook, nullptr);
    ShowNew("a");
    UnhookWindowsHookEx(focusHook);
    EXPECT_TRUE(queue_.AlertBusy());
    EXPECT_TRUE(IsWindowVisible(form_.Handle()));
    EXPECT_EQ(WindowText(form_.TitleLabel()), "Cookie a");
    EXPECT_EQ(WindowText(form_.DescriptionMemo()), "Tracking cookie a");
    EXPECT_EQ(lastFocused, form_.DescriptionMemo());
    EXPECT_EQ(form_.CurrentTint(), TAlertForm::Tint::Yellow);
    EXPECT_EQ(form_.TintColour(), RGB(251, 215, 112));
    EXPECT_TRUE(form_.PictureErrors().empty());
    EXPECT_EQ(form_.LoadedPictures(),
              (std::vector<std::string>{"alert_exit.jpg", "alert_exit.jpg", "alert_exit_down.jpg",
                                        "alert_exit_over.jpg", "alert_main.gif", "shield.jpg", "shield.jpg",
                                        "shield_down.jpg", "shield_over.jpg", "ignore.jpg", "ignore.jpg",
                                        "ignore_down.jpg", "ignore_over.jpg"}));

    // Red: the suffix before every extension. Ticked boxes and a pressed button start afresh,
    // and line feeds show as line breaks in the memo.
    Tick(form_.AllCheck());
    Tick(form_.AllThreatsCheck());
    SendMessageA(Child("shield"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    form_.ShowWarning("Red one", "line 1\nline 2", "", "bug", "_red");
    EXPECT_EQ(WindowText(form_.DescriptionMemo()), "line 1\r\nline 2");
    EXPECT_EQ(form_.CurrentTint(), TAlertForm::Tint::Red);
    EXPECT_EQ(form_.TintColour(), RGB(243, 126, 126));
    ASSERT_EQ(form_.LoadedPictures().size(), 13u);
    for (const std::string& file : form_.LoadedPictures())
        EXPECT_NE(file.find("_red."), std::string::npos) << file;
    EXPECT_EQ(Button_GetCheck(form_.AllCheck()), BST_UNCHECKED);
    EXPECT_EQ(Button_GetCheck(form_.AllThreatsCheck()), BST_UNCHECKED);
    EXPECT_EQ(form_.ShieldButton().CurrentState(), ImageButton::State::Normal);

    // Any other danger text is no file name part: the plain skin.
    form_.LoadAlert("bug", "\\..\\x");
    EXPECT_EQ(form_.CurrentTint(), TAlertForm::Tint::Yellow);
    EXPECT_EQ(form_.LoadedPictures().at(4), "alert_main.gif");
}

TEST_F(AlertFormTest, HostileNamesAreShownSafeAndTheIdAndTheSignerHaveLinesOfTheirOwn) {
    const std::string id(32, 'a'), folder = "C:\\Extensions\\" + id + "\\1.0_0";
    const std::pair<std::string, std::string> cases[] = {{"Docs\u202Eexe.fdp", "Docs\uFFFDexe.fdp"},
                                                         {"Ads\r\nA new extension Safe", "Ads A new extension Safe"},
                                                         {std::string("Ads\0 (hidden)", 13), "Ads\uFFFD (hidden)"},
                                                         {std::string(5000, 'W'), std::string(199, 'W') + "\u2026"}};
    for (const auto& [name, shown] : cases) {
        BrowserExtensionWarning warning("Chrome", name, name, id, "SOFTWARE\\Policies", false);
        warning.Folder = folder;
        warning.MakeTexts();
        warning.SignatureText = "Program signed by " + shown;
        const AlertTexts texts = TDispatcher::PrepareTexts(warning);
        form_.ShowWarning(texts.title, texts.description, texts.identity, texts.picture, texts.danger,
                          texts.signature);
        EXPECT_EQ(WindowText(form_.DescriptionMemo()), "A new extension " + shown + " (" + id + ") was installed in " +
                      "Chrome, profile " + shown + ". Click Shield me to block it in Chrome or Ignore to permit it.");
        EXPECT_EQ(WindowText(form_.IdentityLabel()), folder + " \\ (id " + id + ")");
        EXPECT_EQ(WindowText(form_.SignatureLabel()), "Program signed by " + shown);  // a line of its own too
    }
    form_.ShowWarning("Next", "no program", "", "what", "");
    EXPECT_EQ(WindowText(form_.SignatureLabel()), "");  // nothing left of the one before
}

TEST_F(AlertFormTest, ShieldMeWithBothBoxesListsTheThreatSetsTheCategoryFixesAndSettles) {
    TWarning* shown = ShowNew("a");
    queue_.QueueWarning(std::make_unique<TestWarning>("b", "Tracking cookie b", log_));
    Tick(form_.AllCheck());
    Tick(form_.AllThreatsCheck());
    Click("shield");
    EXPECT_EQ(log_.fixes, 1);
    EXPECT_EQ(FileText("black_list.txt"), "Tracking cookie a\r\n");
    EXPECT_EQ(FileText("white_list.txt"), "");
    EXPECT_EQ(options_.ReadInteger("CookiesAction", -1), 1);
    EXPECT_EQ(mainRepaints_, 1);
    EXPECT_EQ(queue_.Count(), 1u);
    EXPECT_NE(queue_.Head(), shown);
    EXPECT_EQ(queue_.Current(), nullptr);
    EXPECT_FALSE(queue_.AlertBusy());
    EXPECT_FALSE(IsWindowVisible(form_.Handle()));

    // Without ticks: only the fix.
    ShowHead();
    EXPECT_EQ(WindowText(form_.TitleLabel()), "Cookie b");
    Click("shield");
    EXPECT_EQ(log_.fixes, 2);
    EXPECT_EQ(black_.Count(), 1u);
    EXPECT_TRUE(queue_.Empty());
}

TEST_F(AlertFormTest, IgnoreAndTheCloseMarkListTheThreatAsIgnoredWithoutFixing) {
    for (const char* button : {"ignore", "close3"}) {
        SCOPED_TRACE(button);
        const std::string name = button;
        ShowNew(name);
        EXPECT_TRUE(form_.ShieldButton().HasPictures());  // read again after the last settling
        Tick(form_.AllCheck());
        Tick(form_.AllThreatsCheck());
        Click(button);
        EXPECT_TRUE(form_.ShieldButton().HasPictures());  // kept a while for the next alert of a burst
        SendMessageA(form_.Handle(), WM_TIMER, TAlertForm::kReleaseSkinTimer, 0);
        EXPECT_FALSE(form_.ShieldButton().HasPictures());  // not held for long while hidden
        EXPECT_EQ(log_.fixes, 0);
        EXPECT_TRUE(white_.Contains("Tracking cookie " + name));
        EXPECT_EQ(options_.ReadInteger("CookiesAction", -1), 2);
        EXPECT_TRUE(queue_.Empty());
        EXPECT_EQ(queue_.Current(), nullptr);
        EXPECT_FALSE(queue_.AlertBusy());
        EXPECT_FALSE(IsWindowVisible(form_.Handle()));
    }
    EXPECT_EQ(FileText("white_list.txt"), "Tracking cookie ignore\r\nTracking cookie close3\r\n");
    EXPECT_EQ(FileText("black_list.txt"), "");

    // Closing the window (Alt+F4) is the close mark; a hidden alert ignores it.
    queue_.QueueWarning(std::make_unique<TestWarning>("d", "Tracking cookie d", log_));
    SendMessageA(form_.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form_.Handle()));
    EXPECT_EQ(queue_.Count(), 1u);
    ShowHead();
    SendMessageA(form_.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(form_.Handle()));
    EXPECT_TRUE(queue_.Empty());
    EXPECT_FALSE(IsWindowVisible(form_.Handle()));

    // Unticked boxes write nothing.
    options_.WriteInteger("CookiesAction", 0);
    ShowNew("c");
    Click("ignore");
    EXPECT_EQ(white_.Count(), 2u);
    EXPECT_EQ(options_.ReadInteger("CookiesAction", -1), 0);
}

TEST_F(AlertFormTest, AFailedFixKeepsTheWarningShownUntilTheUserChoosesAgain) {
    log_.fail = true;
    TWarning* shown = ShowNew("a");
    Click("shield");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "The threat could not be removed: the file is in use");
    EXPECT_EQ(queue_.Head(), shown);
    EXPECT_EQ(queue_.Current(), shown);
    EXPECT_TRUE(queue_.AlertBusy());
    EXPECT_TRUE(IsWindowVisible(form_.Handle()));

    log_.fail = false;
    Click("shield");
    EXPECT_EQ(log_.fixes, 1);
    EXPECT_TRUE(queue_.Empty());
    EXPECT_FALSE(queue_.AlertBusy());
}

TEST_F(AlertFormTest, ClicksWhileAFixRunsDoNothing) {
    // A fix may show a message box; the clicks its loop delivers must not settle the warning
    // being fixed (nor, after it, the next one).
    log_.duringFix = [this] {
        for (const char* name : {"ignore", "close3", "shield"}) Click(name);
        EXPECT_FALSE(IsWindowEnabled(Child("Do it always")));
    };
    ShowNew("a");
    queue_.QueueWarning(std::make_unique<TestWarning>("b", "Tracking cookie b", log_));
    Click("shield");
    EXPECT_EQ(log_.fixes, 1);
    ASSERT_EQ(queue_.Count(), 1u);
    EXPECT_EQ(queue_.Head()->Name, "b");
    EXPECT_TRUE(IsWindowEnabled(Child("shield")));
}

TEST_F(AlertFormTest, AListThatCannotBeSavedIsReportedAndTheWarningStillSettled) {
    // "Do it always" on a read-only list file: the user hears that the answer was not
    // remembered, the button still does what it says, and the file keeps what it had.
    WriteFileAtomically(folder_ / "black_list.txt", std::string("Tracking cookie old\r\n"));
    WriteFileAtomically(folder_ / "white_list.txt", std::string("Tracking cookie old\r\n"));
    TColorList black(folder_ / "black_list.txt");
    TColorList white(folder_ / "white_list.txt");
    // A folder where the save's temporary file must go blocks every save (Wine lets a read-only
    // file or folder be replaced, so that cannot stand for the read-only program folder here).
    for (const char* name : {"black_list.txt", "white_list.txt"})
        CreateFolders(folder_ / (std::string(name) + ".tmp"));
    TAlertForm form({queue_, white, black, backuper_, options_, [] {}}, test::ShippedGraphicsFolder(), nullptr);
    form.Create();
    std::vector<std::string> errors;
    form.SetErrorReporter([&errors](const std::string& text) { errors.push_back(text); });
    for (const char* button : {"shield", "ignore"}) {
        SCOPED_TRACE(button);
        errors.clear();
        queue_.QueueWarning(std::make_unique<TestWarning>("a", "Tracking cookie a", log_));
        TWarning* current = queue_.MakeHeadCurrent();
        form.ShowWarning("Cookie a", current->GetDescription(), "", "bug", "");
        form.Present();
        test::PumpPendingMessages();
        SendMessageA(FindWindowExA(form.Handle(), nullptr, nullptr, "Do it always"), BM_CLICK, 0, 0);
        SendMessageA(FindWindowExA(form.Handle(), nullptr, nullptr, button), BM_CLICK, 0, 0);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].rfind("The answer could not be remembered: ", 0), 0u) << errors[0];
        EXPECT_TRUE(queue_.Empty());
        EXPECT_FALSE(queue_.AlertBusy());
        EXPECT_FALSE(IsWindowVisible(form.Handle()));
    }
    EXPECT_EQ(log_.fixes, 1);
    EXPECT_EQ(FileText("black_list.txt"), "Tracking cookie old\r\n");
    EXPECT_EQ(FileText("white_list.txt"), "Tracking cookie old\r\n");
    EXPECT_EQ(black.Count(), 1u);
    EXPECT_EQ(white.Count(), 1u);
}

TEST_F(AlertFormTest, OnlyTheBackgroundDragsTheWindow) {
    ShowNew("a");
    const auto hit = [&](int x, int y) {
        return SendMessageA(form_.Handle(), WM_NCHITTEST, 0, ScreenPoint(x, y));
    };
    EXPECT_EQ(hit(200, 30), HTCAPTION);  // header
    EXPECT_EQ(hit(8, 150), HTCAPTION);   // left edge
    EXPECT_EQ(hit(300, 260), HTCAPTION); // below the ignore button
    EXPECT_EQ(hit(130, 80), HTCLIENT);   // the title label
    EXPECT_EQ(hit(30, 76), HTCLIENT);    // "Threat title:"
    EXPECT_EQ(hit(100, 150), HTCLIENT);  // the memo
    EXPECT_EQ(hit(350, 100), HTCLIENT);  // shield
    EXPECT_EQ(hit(40, 225), HTCLIENT);   // "Do it always"
}

TEST_F(AlertFormTest, PresentCentresOverTheMainWindowOrTheWorkArea) {
    const HWND main = CreateWindowExA(0, "STATIC", "main", WS_POPUP | WS_VISIBLE, 100, 80, 632, 490, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(main, nullptr);
    TAlertForm overMain({queue_, white_, black_, backuper_, options_, {}}, test::ShippedGraphicsFolder(), main);
    overMain.Create();
    overMain.Present();
    RECT alert{};
    GetWindowRect(overMain.Handle(), &alert);
    EXPECT_NEAR((alert.left + alert.right) / 2, 100 + 632 / 2, 1);
    EXPECT_NEAR((alert.top + alert.bottom) / 2, 80 + 490 / 2, 1);
    EXPECT_TRUE(IsWindowVisible(overMain.Handle()));

    // Hidden main window: the middle of the work area.
    ShowWindow(overMain.Handle(), SW_HIDE);
    ShowWindow(main, SW_HIDE);
    overMain.Present();
    RECT work{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(overMain.Handle(), &alert);
    EXPECT_NEAR((alert.left + alert.right) / 2, (work.left + work.right) / 2, 1);
    EXPECT_NEAR((alert.top + alert.bottom) / 2, (work.top + work.bottom) / 2, 1);
    DestroyWindow(main);
}

// A graphics folder of the test's own, whose pictures it can take away.
class AlertFormOwnPicturesTest : public AlertFormTest {
protected:
    AlertFormOwnPicturesTest() : AlertFormTest(graphics_.Path()) {}
    void SetUp() override {
        AlertFormTest::SetUp();
        for (const char* base : {"alert_exit", "shield", "ignore"}) {
            for (const char* state : {"", "_down", "_over"}) {
                const std::string name = std::string(base) + state + ".jpg";
                ASSERT_TRUE(CopyFileA((test::ShippedGraphicsFolder() + name).c_str(), (graphics_ / name).c_str(), FALSE));
            }
        }
        ASSERT_TRUE(CopyFileA((test::ShippedGraphicsFolder() + "alert_main.gif").c_str(),
                              (graphics_ / "alert_main.gif").c_str(), FALSE));
    }
    static inline sentrel::test::TempFolder graphics_;
};

TEST_F(AlertFormOwnPicturesTest, TheAlertsOfABurstReadThePicturesOnceAndAHiddenAlertDropsThemLater) {
    ShowNew("a");
    Click("ignore");
    ASSERT_TRUE(DeleteFileA((graphics_ / "shield.jpg").c_str()));
    ShowNew("b");  // within the while: the pictures read for "a"
    EXPECT_TRUE(form_.ShieldButton().HasPictures());
    EXPECT_TRUE(form_.PictureErrors().empty());
    Click("ignore");

    SendMessageA(form_.Handle(), WM_TIMER, TAlertForm::kReleaseSkinTimer, 0);
    ShowNew("c");  // read anew: the missing picture leaves a plain button
    EXPECT_FALSE(form_.ShieldButton().HasPictures());
    ASSERT_EQ(form_.PictureErrors().size(), 2u);  // normal and clicked
    EXPECT_NE(form_.PictureErrors()[0].find("shield.jpg"), std::string::npos) << form_.PictureErrors()[0];
}

class AlertFormWithoutPicturesTest : public AlertFormTest {
protected:
    AlertFormWithoutPicturesTest() : AlertFormTest("C:\\sentrel-no-such-folder\\graphics\\") {}
};

TEST_F(AlertFormWithoutPicturesTest, TheAlertIsStillShownInPlainColoursAndWorks) {
    EXPECT_NO_THROW(ShowNew("a", "_red"));
    EXPECT_TRUE(IsWindowVisible(form_.Handle()));
    EXPECT_TRUE(queue_.AlertBusy());
    EXPECT_EQ(WindowText(form_.TitleLabel()), "Cookie a");
    EXPECT_EQ(form_.CurrentTint(), TAlertForm::Tint::Red);
    EXPECT_TRUE(form_.LoadedPictures().empty());
    ASSERT_EQ(form_.PictureErrors().size(), 13u);
    EXPECT_NE(form_.PictureErrors()[4].find("alert_main_red.gif"), std::string::npos) << form_.PictureErrors()[4];
    EXPECT_FALSE(form_.ShieldButton().HasPictures());
    EXPECT_EQ(WindowText(Child("shield")), "shield");
    UpdateWindow(form_.Handle());
    Click("ignore");
    EXPECT_TRUE(queue_.Empty());
    EXPECT_FALSE(IsWindowVisible(form_.Handle()));
}

}  // namespace
}  // namespace sentrel::ui
