#include "ui/MainForm.h"

#include <windowsx.h>

#include "common/DiagnosticLog.h"
#include "core/SecurityLevels.h"
#include "platform/Win32Error.h"
#include "ui/MessageBox.h"
#include "ui/ModalWindow.h"
#include "ui/Resources.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 632;
constexpr int kClientHeight = 490;
constexpr int kCornerEllipse = 60;
// The background picture is a little larger than the client area and placed at -1,-3.
constexpr DesignRect kBackPlace{-1, -3, 633, 493};

struct ButtonLayout {
    const char* name;
    DesignRect place;
    const char* hint;
    const char* caption;  // what a plain button shows when its pictures are missing
    int level;            // the level a level picture chooses, -1 for the other buttons
};

// The buttons in the order of kButtons.
enum Button : std::size_t { kScaner, kOptionsButton, kUpdate, kUndo, kHelp, kHelpMini, kMini, kExit1 };

// clang-format off
constexpr std::array<ButtonLayout, 13> kButtons = {{
    {"scaner", {18, 51, 113, 51}, "Run Talvex - ultimate spyware and trojan scanner by Brannock", "Scanner", -1},
    {"options_button", {18, 109, 113, 52}, "Change Sentrel's options", "Options", -1},
    {"update", {18, 289, 113, 54}, "Update Sentrel's spyware database", "Update", -1},
    {"undo", {18, 348, 113, 54}, "Restore previously deleted files or registry keys", "Undo", -1},
    {"help", {18, 405, 113, 54}, "Display Sentrel's help file", "Help", -1},
    {"help_mini", {533, 5, 25, 22}, "About Sentrel", "?", -1},
    {"mini", {560, 5, 25, 22}, "Minimize Sentrel", "_", -1},
    {"exit1", {588, 5, 25, 22}, "Exit or minimize Sentrel", "X", -1},
    {"small_shield", {218, 146, 109, 116},
     "Switch to Low security level\r\n(watch for system folders and executables)", "Low", 0},
    {"middle_shield", {330, 113, 101, 149},
     "Switch to Medium security level\r\n(watch fo system folders, executables, autorun list, browser settings and BHOs)",
     "Medium", 1},
    {"large_shield", {440, 108, 108, 157},
     "Switch to High security level\r\n(watch fo system folders, executables, Dll''s, autorun list, processes, browser "
     "settings and BHOs)", "High", 2},
    {"custom", {391, 293, 136, 116}, "Use your own security settings", "Custom", 3},
    {"disabled", {250, 292, 136, 116}, "Disable Sentrel protection", "Disabled", 4},
}};
// clang-format on

// The status lines, on the flat panel of the background.
constexpr int kCaptionLeft = 166;
constexpr int kCaptionWidth = 176;
constexpr int kValueLeft = 344;
constexpr int kValueWidth = 268;
constexpr int kLineHeight = 20;
constexpr std::array<int, 3> kLineTops = {417, 437, 457};
constexpr FontSpec kCaptionFont{"Times New Roman", 15};
constexpr FontSpec kValueFont{"Times New Roman", 15, true};

constexpr UINT kFormShowMessage = WM_APP + 21;

}  // namespace

TMainForm::TMainForm(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

TMainForm::~TMainForm() {
    // Its WM_DESTROY gives the hot key back, removes the tray icon and closes the help windows.
    Destroy();
}

void TMainForm::Create() {
    const auto icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SENTREL),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    RegisterWindowClass(kMainFormClass, CS_DBLCLKS, icon, reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH)));
    const DpiScale screen = DpiScale::Of(nullptr);
    // No border and no caption; the system menu and minimise box let the taskbar minimise it.
    CreateWindowOfClass(kMainFormClass, kApplicationTitle, WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                        0, CW_USEDEFAULT, CW_USEDEFAULT, screen(kClientWidth), screen(kClientHeight));
    layout_ = DpiLayout(DpiScale::Of(Handle()));
    const DpiScale& scale = layout_.Scale();
    SetWindowPos(Handle(), nullptr, 0, 0, scale(kClientWidth), scale(kClientHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::CreateFace(TOptions& options, std::string graphicsFolder, std::string helpFile, HelpEngine& help,
                           TClosingForm& closingForm, TSplashForm& splashForm) {
    options_ = &options;
    graphicsFolder_ = std::move(graphicsFolder);
    helpFile_ = std::move(helpFile);
    help_ = &help;
    closingForm_ = &closingForm;
    splashForm_ = &splashForm;

    const DpiScale& scale = layout_.Scale();
    SetRoundedOutline(Handle(), scale(kClientWidth) + 1, scale(kClientHeight) + 1, scale(kCornerEllipse));
    CentreOnDesktop(Handle());

    hints_.Create(Handle());
    CreateButtons();
    CreateLabels();
    // The pictures are read when the window shows and dropped when it hides (LoadPictures).

    menu_ = std::make_unique<TrayMenu>();
    // Another program may hold the hot key; the shield works without it.
    hotKeyRegistered_ = RegisterHotKey(Handle(), kShowHotKeyId, MOD_CONTROL | MOD_SHIFT, 'A') != FALSE;
    hasFace_ = true;
}

void TMainForm::ShowTrayIcon() {
    const auto icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SENTREL),
                                                    IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    // Without a notification area yet (Explorer still starting) the icon comes with
    // "TaskbarCreated". The tip is the level's once a level was applied.
    tray_.Add(Handle(), kTrayIconMessage, icon, tray_.Tip().empty() ? kTrayStartTip : tray_.Tip());
}

void TMainForm::CreateButtons() {
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonLayout& layout = kButtons[i];
        auto button = std::make_unique<ImageButton>(layout.name, layout.caption, [this, i] { ButtonClick(i); });
        button->SetLatching(layout.level >= 0);
        button->Create(Handle(), layout.place, layout_.Scale());
        layout_.Remember(button->Handle(), layout.place);
        hints_.Add(button->Handle(), layout.hint);
        buttons_.push_back(std::move(button));
    }
}

void TMainForm::ButtonClick(std::size_t index) {
    switch (static_cast<Button>(index)) {
    case kScaner: scanerClick(); break;
    case kOptionsButton: callbacks_.showOptions(OptionsPage::General); break;
    case kUpdate: callbacks_.showUpdateWizard(false); break;
    case kUndo: callbacks_.showOptions(OptionsPage::RestoreChanges); break;
    case kHelp: ShowHelp(false); break;
    case kHelpMini: callbacks_.showOptions(OptionsPage::About); break;
    case kMini: miniClick(); break;
    case kExit1: exit1Click(); break;
    default: ChooseLevel(kButtons[index].level); break;
    }
}

void TMainForm::CreateLabels() {
    panelBrush_.reset(CreateSolidBrush(kStatusPanel));
    const std::array<const char*, 3> captions = {"Current security level:", "Last update:", "Number of known threats:"};
    std::array<HWND, 3> values{};
    // One line each: where the fonts come out a little wider (another DPI, another face), a line
    // is cut at its end rather than wrapped out of sight.
    for (std::size_t i = 0; i < captions.size(); ++i) {
        layout_.Control("STATIC", captions[i], SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0,
                        {kCaptionLeft, kLineTops[i], kCaptionWidth, kLineHeight}, Handle(), 0,
                        layout_.Font(kCaptionFont));
        values[i] = layout_.Control("STATIC", i == 0 ? "Disabled" : "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0,
                                    {kValueLeft, kLineTops[i], kValueWidth, kLineHeight}, Handle(), 0,
                                    layout_.Font(kValueFont));
    }
    mainLevel_ = values[0];
    lastUpdate_ = values[1];
    numberThreads_ = values[2];
}

void TMainForm::LoadPictures() {
    if (picturesLoaded_) return;
    picturesLoaded_ = true;
    try {
        back_ = Picture::Load(graphicsFolder_ + "main_back.jpg");
    } catch (const std::exception&) {
        LogCaught("main window skin");
        // Start-up goes on: the window is drawn in plain colours with plain buttons.
        back_ = {};
    }
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonLayout& layout = kButtons[i];
        if (layout.level >= 0) {
            // The background's own pixels under the button: the picture is placed at -1,-3.
            const RECT place{layout.place.left - kBackPlace.left, layout.place.top - kBackPlace.top,
                             layout.place.left - kBackPlace.left + layout.place.width,
                             layout.place.top - kBackPlace.top + layout.place.height};
            LoadLevelButton(*buttons_[i], graphicsFolder_, layout.name, back_, place, kPlainFace);
        } else {
            LoadResourceButton(*buttons_[i], layout.name, kPlainFace);
        }
    }
}

void TMainForm::ReleasePictures() {
    if (!picturesLoaded_) return;
    picturesLoaded_ = false;
    back_ = {};
    for (const auto& button : buttons_) button->ClearPictures(kPlainFace);
}

ImageButton* TMainForm::FindButton(const std::string& name) {
    for (std::size_t i = 0; i < kButtons.size() && i < buttons_.size(); ++i)
        if (name == kButtons[i].name) return buttons_[i].get();
    return nullptr;
}

void TMainForm::ShowLevel(int level) {
    if (level < 0 || level >= static_cast<int>(kLevels.size())) return;
    const LevelSigns& signs = kLevels[static_cast<std::size_t>(level)];
    tray_.SetTip(std::string(signs.trayHint));
    if (mainLevel_) SetWindowTextA(mainLevel_, std::string(signs.label).c_str());
    if (menu_) menu_->CheckLevel(level);
    for (std::size_t i = 0; i < kButtons.size() && i < buttons_.size(); ++i) {
        if (kButtons[i].level < 0) continue;
        buttons_[i]->SetDown(kButtons[i].level == level);
    }
}

void TMainForm::ShowDatabase(const std::string& lastUpdate, int knownThreats) {
    if (lastUpdate_) SetWindowTextA(lastUpdate_, lastUpdate.c_str());
    if (numberThreads_) SetWindowTextA(numberThreads_, std::to_string(knownThreats).c_str());
}

void TMainForm::ShowBalloon(const std::string& text) {
    if (!tray_.ShowBalloon(kApplicationTitle, text)) LogEvent("no tray balloon for: " + text);
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TrayIcon::TaskbarCreatedMessage() && message != 0) {
        tray_.Readd();
        return 0;
    }
    switch (message) {
    case WM_CLOSE: return OnClose();
    case WM_QUERYENDSESSION: return OnQueryEndSession();
    case WM_ENDSESSION: return OnEndSession(wParam != FALSE);
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return 1;
    case WM_NCHITTEST: return WMNCHitTest(wParam, lParam);
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, kStatusPanel);
        SetTextColor(dc, kSkinText);
        return reinterpret_cast<LRESULT>(panelBrush_.get());
    }
    case WM_SHOWWINDOW:
        // The decoded pictures take more memory than the rest of the window: the window holds
        // them only while it is shown (most of the time it sits in the tray).
        if (wParam && hasFace_) LoadPictures();
        if (!wParam) ReleasePictures();
        // After the window has appeared: a message box must come up over it.
        if (wParam) PostMessageA(Handle(), kFormShowMessage, 0, 0);
        return DefaultHandling(message, wParam, lParam);
    case kFormShowMessage:
        FormShow();
        return 0;
    case kTrayIconMessage: return OnTrayIcon(lParam);
    case WM_HOTKEY:
        if (wParam == kShowHotKeyId && !FrontModalWindow()) ToggleMainWindow();
        return 0;
    case WM_COMMAND:
        // The tray menu's commands (no control sends them).
        if (lParam == 0 && FrontModalWindow()) return 0;
        return OnCommand(LOWORD(wParam));
    case WM_SYSCOMMAND: return OnSysCommand(wParam, lParam);
    case WM_DPICHANGED: return OnDpiChanged(DpiChangeOf(wParam, lParam));
    case WM_SIZE:
        // Minimised from the taskbar or by the system: to the tray, with no taskbar button.
        if (wParam == SIZE_MINIMIZED) My_Minimize();
        return 0;
    case WM_MEASUREITEM:
        if (menu_ && menu_->MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) return TRUE;
        return DefaultHandling(message, wParam, lParam);
    case WM_DRAWITEM:
        if (menu_ && menu_->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
        return DefaultHandling(message, wParam, lParam);
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT TMainForm::OnPaint() {
    // Shown some other way than by ShowWindow.
    if (hasFace_) LoadPictures();
    PaintSkin(Handle(), back_, layout_.Scale(), kBackPlace, kPlainFace);
    return 0;
}

LRESULT TMainForm::OnDpiChanged(const DpiChange& change) {
    layout_.Apply(Handle(), change);
    // The pictures are drawn stretched to their places: only the outline is made anew.
    const DpiScale& scale = layout_.Scale();
    if (hasFace_)
        SetRoundedOutline(Handle(), scale(kClientWidth) + 1, scale(kClientHeight) + 1, scale(kCornerEllipse));
    return 0;
}

LRESULT TMainForm::WMNCHitTest(WPARAM wParam, LPARAM lParam) {
    const LRESULT standard = DefaultHandling(WM_NCHITTEST, wParam, lParam);
    if (standard != HTCLIENT) return standard;
    // Only the background moves the window: the point must not be over any control (labels
    // included).
    POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(Handle(), &at);
    const HWND under = ChildWindowFromPointEx(Handle(), at, CWP_SKIPINVISIBLE);
    return under == Handle() || under == nullptr ? HTCAPTION : HTCLIENT;
}

LRESULT TMainForm::OnTrayIcon(LPARAM lParam) {
    switch (LOWORD(lParam)) {
    case WM_LBUTTONDBLCLK:
        // The menu's default item.
        if (!FrontModalWindow()) ToggleMainWindow();
        break;
    case NIN_BALLOONUSERCLICK:
        // The balloon tells of removed threats: their undo is on the restore page.
        if (!FrontModalWindow()) callbacks_.showOptions(OptionsPage::RestoreChanges);
        break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        if (!FrontModalWindow()) OpenTrayMenu();
        break;
    default: break;
    }
    return 0;
}

bool TMainForm::FrontModalWindow() const {
    if (IsWindowEnabled(Handle())) return false;
    // The first-run window has no owner; a message box is the last active popup of its owner.
    const HWND modal = ModalWindow::Current();
    HWND front = GetLastActivePopup(modal ? modal : Handle());
    if (!front || front == Handle() || !IsWindowVisible(front)) front = modal;
    if (front) SetForegroundWindow(front);
    return true;
}

void TMainForm::OpenTrayMenu() {
    if (!menu_) return;
    POINT at{};
    GetCursorPos(&at);
    menu_->Show(Handle(), at);
}

LRESULT TMainForm::OnCommand(UINT command) {
    switch (command) {
    case kShowCommand: ToggleMainWindow(); break;
    case kOnlineUpdateCommand: callbacks_.showUpdateWizard(false); break;
    case kUndoChangesCommand: callbacks_.showOptions(OptionsPage::RestoreChanges); break;
    case kRunScannerCommand: scanerClick(); break;
    case kOptionsCommand: callbacks_.showOptions(OptionsPage::General); break;
    case kHelpCommand: ShowHelp(false); break;
    case kExitCommand: Exit2Click(); break;
    default:
        if (command >= kLevelCommand && command < kLevelCommand + kLevels.size()) {
            const int level = static_cast<int>(command - kLevelCommand);
            if (menu_) menu_->CheckLevel(level);
            callbacks_.setLevel(level);
            // "&Custom" opens the options dialog on its first page.
            if (level == static_cast<int>(SecurityLevel::Custom)) callbacks_.showOptions(OptionsPage::General);
        }
        break;
    }
    return 0;
}

LRESULT TMainForm::OnSysCommand(WPARAM wParam, LPARAM lParam) {
    switch (wParam & 0xFFF0) {
    case SC_MINIMIZE:
        My_Minimize();
        return 0;
    case SC_CLOSE:
        // Alt+F4 is the user's close, as the close button.
        exit1Click();
        return 0;
    default: return DefaultHandling(WM_SYSCOMMAND, wParam, lParam);
    }
}

void TMainForm::ChooseLevel(int level) {
    callbacks_.setLevel(level);
    // The custom level shows the options dialog at its level page.
    if (level == static_cast<int>(SecurityLevel::Custom)) callbacks_.showOptions(OptionsPage::SecurityLevel);
}

bool TMainForm::PreviewKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_F1 || !hasFace_) return false;
    if (message.hwnd != Handle() && !IsChild(Handle(), message.hwnd)) return false;
    ShowHelp(true);
    return true;
}

void TMainForm::OnDestroy() {
    if (hotKeyRegistered_) UnregisterHotKey(Handle(), kShowHotKeyId);
    hotKeyRegistered_ = false;
    tray_.Remove();
    if (help_) help_->CloseAll();
}

LRESULT TMainForm::OnClose() {
    // Closing from outside ends the shield the normal way.
    callbacks_.terminate();
    return 0;
}

LRESULT TMainForm::OnQueryEndSession() {
    return TRUE;
}

LRESULT TMainForm::OnEndSession(bool ending) {
    if (ending) {
        callbacks_.endSession();
        callbacks_.terminate();
    }
    return 0;
}

}  // namespace sentrel::ui
