#include "ui/OptionsForm.h"

#include <algorithm>
#include <exception>

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/DateTimeFormat.h"
#include "config/Options.h"
#include "config/SystemClock.h"
#include "core/SecurityLevels.h"
#include "core/ColorList.h"
#include "core/ShieldLevel.h"
#include "ui/Controls.h"
#include "ui/MessageBox.h"
#include "ui/OptionsFormIds.h"
#include "ui/Skin.h"
#include "warnings/Backuper.h"

namespace sentrel::ui {

namespace ids = options_ids;

namespace {

constexpr int kClientWidth = 540;
constexpr int kClientHeight = 319;
constexpr const char* kCaption = "Options";
// The backup store changed (posted by its listener, from whichever thread wrote).
constexpr UINT kBackupsChangedMessage = WM_APP + 40;

constexpr const char* kNoHelpMessage =
    "Sorry, but your system doesn't support HTMlHelp.\rPlease, consult our support in order to solve this problem.";

constexpr std::array<const char*, kOptionsPageCount> kHelpTopics = {
    "::/Source\\Interface\\Options dialog\\General tab.htm",
    "::/Source\\Interface\\Options dialog\\Security level tab.htm",
    "::/Source\\Interface\\Options dialog\\Default actions tab.htm",
    "::/Source\\Interface\\Options dialog\\Black list tab.htm",
    "::/Source\\Interface\\Options dialog\\White list tab.htm",
    "::/Source\\Interface\\Options dialog\\Restore changes tab .htm",
    "",
};

void CheckRow(const std::vector<HWND>& radios, std::optional<int> row) {
    for (std::size_t i = 0; i < radios.size(); ++i)
        Button_SetCheck(radios[i], row && static_cast<std::size_t>(*row) == i ? BST_CHECKED : BST_UNCHECKED);
}

std::optional<int> CheckedRow(const std::vector<HWND>& radios) {
    for (std::size_t i = 0; i < radios.size(); ++i)
        if (Button_GetCheck(radios[i]) == BST_CHECKED) return static_cast<int>(i);
    return std::nullopt;
}

}  // namespace

int PageIndexOf(OptionsPage page) {
    switch (page) {
    case OptionsPage::General: return kGeneralPage;
    case OptionsPage::SecurityLevel: return kSecurityLevelPage;
    case OptionsPage::RestoreChanges: return kRestorePage;
    case OptionsPage::About: return kAboutPage;
    }
    return kGeneralPage;
}

std::string LongHint(const std::string& hint) {
    const std::size_t bar = hint.find('|');
    return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

const char* HelpTopicOf(int page) {
    return kHelpTopics.at(static_cast<std::size_t>(page));
}

TOptionsForm::TOptionsForm(Context context) : context_(std::move(context)) {}

TOptionsForm::~TOptionsForm() {
    context_.backuper.SetChangeListener({});
    if (levelList_) RemoveWindowSubclass(levelList_, LevelListProc, 0);
    // FormDestroy: the level in force is what the next start applies.
    context_.options.WriteInteger(kShieldKey, context_.shieldLevel.CurrentLevel());
}

void TOptionsForm::Create() {
    RegisterWindowClass(kOptionsFormClass);
    const DpiScale screen = DpiScale::Of(nullptr);
    RECT frame{0, 0, screen(kClientWidth), screen(kClientHeight)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateWindowOfClass(kOptionsFormClass, kCaption, style, exStyle, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top, context_.mainForm.Handle());
    layout_ = DpiLayout(DpiScale::Of(Handle()));
    SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kDialogFont)), FALSE);
    CreatePages();
    SetWindowSubclass(levelList_, LevelListProc, 0, reinterpret_cast<DWORD_PTR>(this));
    ShowPage(page_);
    const HWND form = Handle();
    context_.backuper.SetChangeListener([form] { PostMessageA(form, kBackupsChangedMessage, 0, 0); });
}

void TOptionsForm::Present(std::optional<int> page) {
    const bool shown = IsWindowVisible(Handle()) != FALSE;
    if (page) page_ = *page;
    if (!shown) FormSHow();
    ShowPage(page_);
    if (!shown) {
        CentreOver(Handle(), context_.mainForm.Handle());
        ShowWindow(Handle(), SW_SHOW);
    }
    SetForegroundWindow(Handle());
    if (!shown) SetFocus(okButton_);
}

void TOptionsForm::SetOptions(int level) {
    const std::optional<SecurityLevel> named = LevelFromValue(level);
    LogEvent("security level " + (named ? std::string(kLevels[static_cast<std::size_t>(*named)].label)
                                        : "value " + std::to_string(level) + " (no such level)"));
    const std::optional<MonitorSwitches> switches = context_.shieldLevel.Apply(level);
    if (context_.showDatabase) context_.showDatabase();
    if (!switches) return;
    context_.mainForm.ShowLevel(level);
    // The main window's level pictures and the tray menu choose levels while the dialog may be
    // open: its OK must not bring back the level it showed before.
    if (IsWindowVisible(Handle())) ShowLevelRow(level);
}

void TOptionsForm::ShowLevelRow(int level) {
    const std::optional<int> row =
        level >= 0 && level < kLevelRows ? std::optional<int>(level) : std::nullopt;
    if (SelectedLevelRow() == row) return;
    SendMessageA(levelList_, LB_SETCURSEL, static_cast<WPARAM>(row.value_or(-1)), 0);
    // The check boxes show the switches of the new row, not edits of the old one.
    shown_.switches = ControlSettings().switches;
    RefreshFromStore();
    ShowLevelDescription(row ? kLevelDescriptions[static_cast<std::size_t>(*row)] : std::string_view{});
}

void TOptionsForm::ShowDataBaseState() {
    const TDateTime lastUpdate = context_.options.ReadDateTime("LastUpdate", CurrentDateTime());
    std::string date;
    try {
        date = FormatPicture(lastUpdate, UserDateTimeFormat().shortDate, UserDateTimeFormat());
    } catch (const std::exception&) {
        // A date outside the calendar shows as nothing.
        LogCaught("About page: last update date");
    }
    SetWindowTextA(lastUpdate_, date.c_str());
    SetWindowTextA(numberThreads_, std::to_string(context_.options.ReadInteger("KnownSpywares", 49752)).c_str());
}

void TOptionsForm::FormSHow() {
    const int level = context_.shieldLevel.CurrentLevel();
    SendMessageA(levelList_, LB_SETCURSEL, static_cast<WPARAM>(level >= 0 && level < kLevelRows ? level : -1), 0);
    ShowDataBaseState();
    SetOptionsToControls();
    FillList(list1_, context_.blackList);
    FillList(list2_, context_.whiteList);
    FillBackups({});
    pages1Change();
    const std::optional<int> row = SelectedLevelRow();
    ShowLevelDescription(row ? kLevelDescriptions[static_cast<std::size_t>(*row)] : std::string_view{});
}

std::optional<int> TOptionsForm::SelectedLevelRow() const {
    const LRESULT row = SendMessageA(levelList_, LB_GETCURSEL, 0, 0);
    if (row < 0 || row >= kLevelRows) return std::nullopt;
    return static_cast<int>(row);
}

OptionsDialogSettings TOptionsForm::ControlSettings() const {
    OptionsDialogSettings settings;
    settings.whatDo = CheckedRow(whatDo_);
    settings.autorun = Button_GetCheck(autorun_) == BST_CHECKED;
    settings.runMinimized = Button_GetCheck(runMinimized_) == BST_CHECKED;
    const LRESULT period = SendMessageA(remindPeriod_, CB_GETCURSEL, 0, 0);
    if (period >= 0) settings.remindPeriod = static_cast<int>(period);
    settings.closeAction = CheckedRow(closeAction_);
    for (std::size_t i = 0; i < actions_.size(); ++i) settings.actions[i] = CheckedRow(actions_[i]);
    // The check boxes are in the order of the monitor words.
    for (std::size_t i = 0; i < watches_.size(); ++i)
        settings.switches.on.at(i) = Button_GetCheck(watches_[i]) == BST_CHECKED;
    return settings;
}

void TOptionsForm::SetOptionsToControls() {
    shown_ = ReadDialogSettings(context_.options, SelectedLevelRow(), ControlSettings());
    ShowSettings(shown_);
}

void TOptionsForm::RefreshFromStore() {
    const OptionsDialogSettings edited = ControlSettings();
    const OptionsDialogSettings stored = ReadDialogSettings(context_.options, SelectedLevelRow(), edited);
    ShowSettings(MergeDialogSettings(shown_, edited, stored));
    shown_ = stored;
    RefreshList(list1_, context_.blackList);
    RefreshList(list2_, context_.whiteList);
}

void TOptionsForm::ShowSettings(const OptionsDialogSettings& settings) {
    filling_ = true;
    CheckRow(whatDo_, settings.whatDo);
    Button_SetCheck(autorun_, settings.autorun ? BST_CHECKED : BST_UNCHECKED);
    Button_SetCheck(runMinimized_, settings.runMinimized ? BST_CHECKED : BST_UNCHECKED);
    SendMessageA(remindPeriod_, CB_SETCURSEL, static_cast<WPARAM>(settings.remindPeriod.value_or(-1)),
                 0);
    CheckRow(closeAction_, settings.closeAction);
    for (std::size_t i = 0; i < actions_.size(); ++i) CheckRow(actions_[i], settings.actions[i]);
    for (std::size_t i = 0; i < watches_.size(); ++i)
        Button_SetCheck(watches_[i], settings.switches.on.at(i) ? BST_CHECKED : BST_UNCHECKED);
    filling_ = false;
}

bool TOptionsForm::GetOptionsFromControls() {
    // What changed in the store since the dialog showed it stays, unless the user changed it too.
    const OptionsDialogSettings edited = ControlSettings();
    const OptionsDialogSettings merged = MergeDialogSettings(
        shown_, edited, ReadDialogSettings(context_.options, SelectedLevelRow(), edited));
    if (!WriteDialogSettings(context_.options, merged, SelectedLevelRow())) return false;
    shown_ = merged;
    ShowSettings(merged);
    return true;
}

void TOptionsForm::ShowLevelDescription(std::string_view text) {
    SetWindowTextA(description_, std::string(text).c_str());
}

void TOptionsForm::ok2CliCk() {
    // The lists in memory hold the dialog's edits (each made there as in the list box) and what
    // an alert added meanwhile, which the list boxes may not show yet. Each list keeps its old
    // entries (in memory and in its file) when its file cannot be written; the dialog then stays
    // open with the user's edits and says why.
    const std::vector<std::string> white = context_.whiteList.Entries();
    const std::vector<std::string> black = context_.blackList.Entries();
    context_.whiteList.ReplaceAllAndSave(white);
    context_.blackList.ReplaceAllAndSave(black);
    if (!GetOptionsFromControls())
        throw FileError("Cannot write \"" + context_.options.FileName() + "\": the options were not saved.");
    // No row selected (the dialog opened at Disabled): the level stays what it is.
    const std::optional<int> row = SelectedLevelRow();
    SetOptions(row ? *row : context_.shieldLevel.CurrentLevel());
    ShowWindow(Handle(), SW_HIDE);
}

void TOptionsForm::CancelButtonClick() {
    SetOptionsToControls();
    ShowWindow(Handle(), SW_HIDE);
}

void TOptionsForm::HelpButtonClick() {
    if (!context_.help.Loaded()) {
        MessageBoxA(Handle(), kNoHelpMessage, kApplicationTitle, MB_OK);
        return;
    }
    context_.help.DisplayTopic(Handle(), context_.helpFile + HelpTopicOf(page_));
}

void TOptionsForm::pages1Change() {
    EnableWindow(helpButton_, page_ != kAboutPage);
}

void TOptionsForm::ShowPage(int index) {
    page_ = index;
    TabCtrl_SetCurSel(tabs_, index);
    for (int i = 0; i < kOptionsPageCount; ++i) ShowWindow(Page(i), i == index ? SW_SHOW : SW_HIDE);
    pages1Change();
    // blacklistSHow, whitelistSHow.
    if (index == kBlackListPage) FillList(list1_, context_.blackList);
    if (index == kWhiteListPage) FillList(list2_, context_.whiteList);
}

void TOptionsForm::CheckBox1Click() {
    if (filling_ || context_.options.ReadInteger(kShieldKey, 0) == kCustomRow) return;
    context_.options.WriteInteger(kShieldKey, kCustomRow);
    SendMessageA(levelList_, LB_SETCURSEL, kCustomRow, 0);
    SetOptionsToControls();
    ShowLevelDescription(kCustomClickDescription);
}

void TOptionsForm::listBox1Click() {
    SetOptionsToControls();
    const std::optional<int> row = SelectedLevelRow();
    ShowLevelDescription(row ? kLevelDescriptions[static_cast<std::size_t>(*row)] : std::string_view{});
}

void TOptionsForm::ListBox1Enter() {
    if (!GetOptionsFromControls()) LogEvent("options dialog: the settings could not be stored before a level change");
}

LRESULT CALLBACK TOptionsForm::LevelListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                             DWORD_PTR form) {
    if (message == WM_SETFOCUS) {
        // The focus a window had before: null or another program's window when the dialog
        // itself is activated again (Alt+Tab, a message box closed).
        auto* const self = reinterpret_cast<TOptionsForm*>(form);
        const HWND from = reinterpret_cast<HWND>(wParam);
        if (from && from != list && IsChild(self->Handle(), from) && !self->filling_) self->ListBox1Enter();
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void TOptionsForm::DisplayHint(HWND control) {
    if (control == hintShown_) return;
    hintShown_ = control;
    const auto found = hints_.find(control);
    const std::string text = found == hints_.end() ? std::string() : LongHint(found->second);
    SendMessageA(statusBar_, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
    // Also the window text, so that the hint can be read like any other text.
    SetWindowTextA(statusBar_, text.c_str());
}

bool TOptionsForm::PreviewMessage(MSG& message) {
    const HWND form = Handle();
    if (!form || !IsWindowVisible(form)) return false;
    if (message.hwnd != form && !IsChild(form, message.hwnd)) return false;
    if (message.message == WM_KEYDOWN && message.wParam == VK_F1) {
        // FormKeyDown: F1 is the Help button, whichever control has the focus.
        HelpButtonClick();
        return true;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
        const bool back = GetKeyState(VK_SHIFT) < 0;
        ShowPage((page_ + (back ? kOptionsPageCount - 1 : 1)) % kOptionsPageCount);
        return true;
    }
    if (message.message == WM_MOUSEMOVE) {
        HWND control = message.hwnd;
        // A group box lets the mouse through to its page: find it under the mouse.
        if (GetParent(control) == form && hints_.find(control) == hints_.end()) {
            POINT point{GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
            const HWND child = ChildWindowFromPointEx(control, point, CWP_SKIPINVISIBLE);
            if (child) control = child;
        }
        DisplayHint(control);
    }
    return IsDialogMessageA(form, &message) != FALSE;
}

LRESULT TOptionsForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == tabs_ && header->code == TCN_SELCHANGE) ShowPage(TabCtrl_GetCurSel(tabs_));
        return 0;
    }
    case WM_CONTEXTMENU: OnContextMenu(reinterpret_cast<HWND>(wParam), lParam); return 0;
    case WM_MENUSELECT: {
        // A context-menu item shows the hint of the button it stands for.
        const HWND button = GetDlgItem(Page(page_), LOWORD(wParam));
        DisplayHint(HIWORD(wParam) & MF_POPUP ? nullptr : button);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lParam);
        const bool link = std::find(links_.begin(), links_.end(), control) != links_.end();
        if (!link && control != testKeyNote_) break;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, link ? RGB(0, 0, 204) : RGB(176, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_ACTIVATE:
        // Back from an alert answered with "Do it always": show what it stored.
        if (LOWORD(wParam) != WA_INACTIVE && IsWindowVisible(Handle())) RefreshFromStore();
        break;
    case kBackupsChangedMessage:
        if (IsWindowVisible(Handle())) FillBackups(SelectedBackups());
        return 0;
    case WM_CLOSE: ShowWindow(Handle(), SW_HIDE); return 0;
    case WM_DPICHANGED: return OnDpiChanged(DpiChangeOf(wParam, lParam));
    default: break;
    }
    return DefaultHandling(message, wParam, lParam);
}

void TOptionsForm::OnCommand(int id, int code, HWND control) {
    if (control && code != BN_CLICKED && id != ids::kLevelList && (id < ids::kLink || id > ids::kLink + 2)) return;
    try {
        switch (id) {
        case IDOK: ok2CliCk(); return;
        case IDCANCEL: CancelButtonClick(); return;
        case ids::kHelp: HelpButtonClick(); return;
        case ids::kLevelList:
            if (code == LBN_SELCHANGE) listBox1Click();
            return;
        case ids::kBlackAdd: AddEntry(list1_, context_.blackList, "Add new program to Black List"); return;
        case ids::kBlackEdit:
            EditEntry(list1_, context_.blackList, "Edit entry of Black List", "Enter new content:");
            return;
        case ids::kBlackDelete: DeleteEntry(list1_, context_.blackList); return;
        case ids::kWhiteAdd: AddEntry(list2_, context_.whiteList, "Add new program to White List"); return;
        case ids::kWhiteEdit:
            EditEntry(list2_, context_.whiteList, "Edit entry of White list", "Enter name of program:");
            return;
        case ids::kWhiteDelete: DeleteEntry(list2_, context_.whiteList); return;
        case ids::kBackupUndo: UndoSelected(); return;
        case ids::kBackupDelete: DeleteSelectedBackups(); return;
        default: break;
        }
        if (id >= ids::kWatch && id < ids::kWatch + static_cast<int>(watches_.size())) CheckBox1Click();
        if (id >= ids::kLink && id <= ids::kLink + 2 && code == STN_CLICKED) OpenLink(id - ids::kLink);
    } catch (const std::exception& error) {
        // What the user asked for did not happen: say so rather than pretend.
        ShowError(ReadableDetail(error.what(), 400), Handle());
    }
}

void TOptionsForm::OnContextMenu(HWND control, LPARAM position) {
    std::vector<std::pair<int, const char*>> items;
    if (control == list1_) {
        items = {{ids::kBlackAdd, "&Add..."}, {ids::kBlackEdit, "&Edit..."}, {ids::kBlackDelete, "&Delete"}};
    } else if (control == list2_) {
        items = {{ids::kWhiteAdd, "&Add..."}, {ids::kWhiteEdit, "&Edit..."}, {ids::kWhiteDelete, "&Delete"}};
    } else if (control == backupsList_) {
        items = {{ids::kBackupUndo, "&Undo"}, {ids::kBackupDelete, "&Delete"}};
    } else {
        return;
    }
    platform::UniqueHmenu menu(CreatePopupMenu());
    if (!menu) return;
    for (const auto& [id, caption] : items) AppendMenuA(menu.get(), MF_STRING, static_cast<UINT_PTR>(id), caption);
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard (Shift+F10, the menu key): at the list's corner.
        RECT rect{};
        GetWindowRect(control, &rect);
        point = {rect.left + 8, rect.top + 8};
    }
    const int command =
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, Handle(), nullptr);
    DisplayHint(nullptr);
    if (command != 0) OnCommand(command, BN_CLICKED, nullptr);
}

}  // namespace sentrel::ui
