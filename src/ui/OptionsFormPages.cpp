// The seven pages of the options dialog and their controls. Each page is a child window of the
// dialog laid over the tab control's display area; it hands the notifications of its controls to
// the dialog.
#include <windows.h>
#include <commctrl.h>

#include "database/UpdateSignature.h"
#include "platform/Win32Error.h"
#include "ui/Controls.h"
#include "ui/OptionsForm.h"
#include "ui/OptionsFormIds.h"
#include "ui/Resources.h"

namespace sentrel::ui {

namespace ids = options_ids;

namespace {

constexpr std::array<const char*, kOptionsPageCount> kPageCaptions = {
    "General", "Security Level", "Default Actions", "Black List", "White List", "Restore Changes", "About"};

constexpr std::array<const char*, 4> kLevelRowsText = {"Low", "Medium", "High", "Custom"};

struct WatchBox {
    const char* caption;
    const char* hint;
};
constexpr std::array<WatchBox, 7> kWatchBoxes = {{
    {"&System folders", "Watch for dangerous changes inside system folders"},
    {"&Autorun list", "Prevent malicious programs from running on Windows startup"},
    {"&Processes", "Watch for dangerous currently working processes"},
    {"&Browser settings", "Watch for dangerous changes in browser settings"},
    {"Registry", "Watch for malicious registry keys"},
    {"Cookies", "Watch for malicious cookies"},
    {"Malicious files and folders", "Scan for known malicious files and folders"},
}};

struct ActionGroup {
    const char* caption;
    const char* hint;
};
constexpr std::array<ActionGroup, kDefaultActionKeys.size()> kActionGroups = {{
    {"Changes in system folders", "Choose what Sentrel should do when change in system files is found"},
    {"Changes in autorun list", "Choose what Sentrel should do when change in autorun list is found"},
    {"Malicious processes", "Choose what Sentrel should do when malicious process is found"},
    {"Changes in browser settings", "Choose what Sentrel should do when change in browser settings is found"},
    {"Malicious registry entries", "Choose what Sentrel should do when malicious registry entry is found"},
    {"Malicious cookies", "Choose what Sentrel should do when malicious cookie is found"},
    {"Changes in autostart points", "Choose what Sentrel should do when change in autostart points is found"},
    {"Programs in Startup folders", "Choose what Sentrel should do when new program in Startup folder is found"},
    {"New scheduled tasks", "Choose what Sentrel should do when new scheduled task is found"},
    {"New browser extensions", "Choose what Sentrel should do when new browser extension is found"},
    {"New services", "Choose what Sentrel should do when new service is found"},
}};

constexpr std::array<const char*, 10> kRemindPeriods = {"3 days",  "1 week",  "2 weeks", "3 weeks", "1 month",
                                                        "2 month", "3 month", "6 month", "1 year",  "Never"};

struct Link {
    const char* text;
    const char* hint;
};
constexpr std::array<Link, 3> kLinks = {{
    {"www.sentrel.example", "Visit the Sentrel web site"},
    {"Product infromation", "Read about Sentrel 4 on the web"},
    {"Support", "Write to the Sentrel support"},
}};

constexpr DesignRect kAboutIconPlace{20, 16, 48, 48};
constexpr const char* kFeedCredits =
    "Threat data includes EasyList and EasyPrivacy (easylist.to; GPLv3 or CC BY-SA 3.0), URLhaus hosts by "
    "malware-filter (abuse.ch; CC0) and the Public Suffix List (publicsuffix.org; MPL 2.0).";
// A row of the backups list may be that wide before it scrolls.
constexpr int kBackupsExtent = 1200;

constexpr const char* kTestKeyNote = "development build: accepts updates signed with the public test key";

// A page hands what its controls report to the dialog, and shows the hand over a link.
LRESULT CALLBACK PageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CONTEXTMENU:
    case WM_CTLCOLORSTATIC:
        return SendMessageA(GetParent(page), message, wParam, lParam);
    case WM_SETCURSOR: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam));
        if (id >= ids::kLink && id < ids::kLink + static_cast<int>(kLinks.size())) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
            return TRUE;
        }
        break;
    }
    default: break;
    }
    return DefWindowProcA(page, message, wParam, lParam);
}

void RegisterPageClass() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA existing{sizeof existing};
    if (GetClassInfoExA(instance, kOptionsPageClass, &existing)) return;
    WNDCLASSEXA wc{sizeof wc};
    wc.lpfnWndProc = &PageProcedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kOptionsPageClass;
    if (!RegisterClassExA(&wc)) platform::ThrowLastError("RegisterClassExA(TOptionsPage)");
}

}  // namespace

void TOptionsForm::CreatePages() {
    const HWND form = Handle();
    tabs_ = layout_.Control(WC_TABCONTROLA, "", WS_TABSTOP | WS_CLIPSIBLINGS | WS_GROUP, 0, {4, 4, 532, 262}, form,
                            ids::kTabs, layout_.Font(kDialogFont));
    for (int i = 0; i < kOptionsPageCount; ++i) {
        TCITEMA item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char*>(kPageCaptions[static_cast<std::size_t>(i)]);
        SendMessageA(tabs_, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    RegisterPageClass();
    for (int i = 0; i < kOptionsPageCount; ++i) pages_[static_cast<std::size_t>(i)] = NewPage(i);

    CreateGeneralPage();
    CreateLevelPage();
    CreateDefaultsPage();
    CreateListPage(kBlackListPage, "Here is a list of files that should be treated  as malicious programs:",
                   "Here is a list of files that should be treated  as malicious programs", ids::kBlackList,
                   {"Add desired program to the black list", "Edit selected black list item",
                    "Delete selected black list item(s)"});
    CreateListPage(kWhiteListPage, "Here is a list of files that should be ignored by Sentrel:",
                   "Here is a list of files that should be ignored by Sentrel", ids::kWhiteList,
                   {"Add desired program to the white list", "Edit selected white list item",
                    "Delete selected white list item(s)"});
    CreateRestorePage();
    CreateAboutPage();

    okButton_ = layout_.Control("BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, {290, 272, 76, 25}, form,
                                IDOK, layout_.Font(kDialogFont));
    hints_[okButton_] = "Apply changes and close this window";
    const HWND cancel = layout_.Control("BUTTON", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, {374, 272, 76, 25}, form,
                                        IDCANCEL, layout_.Font(kDialogFont));
    hints_[cancel] = "Exit this window without saving changes";
    helpButton_ = layout_.Control("BUTTON", "&Help", BS_PUSHBUTTON | WS_TABSTOP, 0, {458, 272, 76, 25}, form,
                                  ids::kHelp, layout_.Font(kDialogFont));
    hints_[helpButton_] = "View help for current page of Option dialog";
    statusBar_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, form,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(ids::kStatus)),
                                 GetModuleHandleA(nullptr), nullptr);
    if (!statusBar_) platform::ThrowLastError("CreateWindowExA(status bar)");
    SendMessageA(statusBar_, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kDialogFont)), FALSE);
    SendMessageA(statusBar_, SB_SIMPLE, TRUE, 0);
}

RECT TOptionsForm::PageArea() const {
    RECT area{};
    GetWindowRect(tabs_, &area);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&area), 2);
    SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return area;
}

HWND TOptionsForm::NewPage(int index) {
    const RECT area = PageArea();
    const HWND page = CreateWindowExA(WS_EX_CONTROLPARENT, kOptionsPageClass, kPageCaptions[static_cast<std::size_t>(index)],
                                      WS_CHILD | WS_CLIPSIBLINGS, area.left, area.top, area.right - area.left,
                                      area.bottom - area.top, Handle(), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!page) platform::ThrowLastError("CreateWindowExA(options page)");
    SendMessageA(page, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kDialogFont)), FALSE);
    SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return page;
}

HWND TOptionsForm::Add(int page, const char* className, const std::string& text, DWORD style, const DesignRect& place,
                       int id, const std::string& hint, DWORD exStyle) {
    const HWND control =
        layout_.Control(className, text, style, exStyle, place, Page(page), id, layout_.Font(kDialogFont));
    if (!hint.empty()) hints_[control] = hint;
    return control;
}

HWND TOptionsForm::Group(int page, const std::string& caption, const DesignRect& place, const std::string& hint) {
    return Add(page, "BUTTON", caption, BS_GROUPBOX, place, 0, hint);
}

void TOptionsForm::RadioGroup(int page, const std::string& caption, const std::vector<const char*>& items,
                              const DesignRect& place, int firstId, const std::string& hint,
                              std::vector<HWND>& radios) {
    Group(page, caption, place, hint);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const DWORD first = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
        radios.push_back(Add(page, "BUTTON", items[i], BS_AUTORADIOBUTTON | first,
                             {place.left + 12, place.top + 20 + static_cast<int>(i) * 22, place.width - 24, 20},
                             firstId + static_cast<int>(i), hint));
    }
}

void TOptionsForm::CreateGeneralPage() {
    RadioGroup(kGeneralPage, "Do this action when new threat is found:",
               {"Inform me and ask what to do", "Shield me without prompt", "Do nothing"}, {8, 6, 250, 96},
               ids::kWhatDo, "Choose what Sentrel should do when virus or spyware is found", whatDo_);
    Group(kGeneralPage, "Run options", {268, 6, 248, 96});
    autorun_ = Add(kGeneralPage, "BUTTON", "Run on Windows &startup", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP,
                   {280, 30, 226, 20}, ids::kAutorun, "Let Sentrel run on Windows startup");
    runMinimized_ = Add(kGeneralPage, "BUTTON", "Run &minimized", BS_AUTOCHECKBOX | WS_TABSTOP, {280, 58, 226, 20},
                        ids::kRunMinimized, "Make Sentrel run minimized to system tray");
    Group(kGeneralPage, "Database updates", {8, 110, 250, 110});
    const std::string remindHint = "Talvex will tell you to update its database in this period of time";
    Add(kGeneralPage, "STATIC", "Warn about the necessity of database updating in:", SS_LEFT, {20, 130, 226, 30}, 0,
        remindHint);
    remindPeriod_ = Add(kGeneralPage, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                        {20, 166, 150, 220}, ids::kRemindPeriod, remindHint);
    for (const char* period : kRemindPeriods) SendMessageA(remindPeriod_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(period));
    RadioGroup(kGeneralPage, "Do this action on window closing attempt",
               {"Close Sentrel", "Minimize Sentrel", "Ask, what to do"}, {268, 110, 248, 110}, ids::kCloseAction,
               "Choose what Sentrel should do when \"close window\" button is clicked", closeAction_);
}

void TOptionsForm::CreateLevelPage() {
    Group(kSecurityLevelPage, "Watch and ward:", {8, 6, 200, 222});
    for (std::size_t i = 0; i < kWatchBoxes.size(); ++i) {
        const DWORD first = i == 0 ? WS_GROUP : 0;
        watches_[i] = Add(kSecurityLevelPage, "BUTTON", kWatchBoxes[i].caption, BS_AUTOCHECKBOX | WS_TABSTOP | first,
                          {20, 28 + static_cast<int>(i) * 28, 180, 20}, ids::kWatch + static_cast<int>(i),
                          kWatchBoxes[i].hint);
    }
    const std::string levelHint = "Select level of security (shield type)";
    Group(kSecurityLevelPage, "Security level", {216, 6, 300, 96}, levelHint);
    levelList_ = Add(kSecurityLevelPage, "LISTBOX", "", LBS_NOTIFY | WS_TABSTOP | WS_GROUP | WS_VSCROLL,
                     {228, 26, 276, 68}, ids::kLevelList, levelHint, WS_EX_CLIENTEDGE);
    for (const char* row : kLevelRowsText) SendMessageA(levelList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    Group(kSecurityLevelPage, "Description", {216, 110, 300, 118});
    description_ = Add(kSecurityLevelPage, "STATIC", "", SS_LEFT | SS_NOPREFIX, {228, 132, 276, 88}, ids::kDescription);
}

void TOptionsForm::CreateDefaultsPage() {
    Add(kDefaultsPage, "STATIC", "Choose what Sentrel should do with particular system changes and threats", SS_LEFT,
        {8, 6, 508, 16}, 0);
    // One line per category: its name, then its three choices side by side, so that every
    // category fits on the page however many there are.
    constexpr std::array<const char*, 3> kChoices = {"Ask what to do", "Solve always", "Ignore always"};
    constexpr std::array<int, 3> kChoiceLeft = {212, 310, 396};
    constexpr std::array<int, 3> kChoiceWidth = {94, 82, 90};
    for (std::size_t i = 0; i < kActionGroups.size(); ++i) {
        const int top = 26 + static_cast<int>(i) * 18;  // eleven lines fit above the page's foot
        Add(kDefaultsPage, "STATIC", kActionGroups[i].caption, SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE,
            {8, top, 200, 17}, 0, kActionGroups[i].hint);
        for (std::size_t r = 0; r < kChoices.size(); ++r) {
            const DWORD first = r == 0 ? WS_GROUP | WS_TABSTOP : 0;
            actions_[i].push_back(Add(kDefaultsPage, "BUTTON", kChoices[r], BS_AUTORADIOBUTTON | first,
                                      {kChoiceLeft[r], top, kChoiceWidth[r], 17},
                                      ids::kAction + static_cast<int>(i) * 10 + static_cast<int>(r),
                                      kActionGroups[i].hint));
        }
    }
}

void TOptionsForm::CreateListPage(int page, const char* label, const char* listHint, int firstId,
                                  const std::array<const char*, 3>& hints) {
    Add(page, "STATIC", label, SS_LEFT | SS_NOPREFIX, {8, 6, 508, 16}, 0);
    const HWND list = Add(page, "LISTBOX", "",
                          LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                              WS_GROUP,
                          {8, 26, 410, 200}, firstId, listHint, WS_EX_CLIENTEDGE);
    (page == kBlackListPage ? list1_ : list2_) = list;
    const std::array<const char*, 3> captions = {"&Add...", "&Edit...", "&Delete"};
    for (int i = 0; i < 3; ++i) {
        Add(page, "BUTTON", captions[static_cast<std::size_t>(i)], BS_PUSHBUTTON | WS_TABSTOP | (i == 0 ? WS_GROUP : 0),
            {428, 26 + i * 32, 88, 25}, firstId + 1 + i, hints[static_cast<std::size_t>(i)]);
    }
}

void TOptionsForm::CreateRestorePage() {
    Add(kRestorePage, "STATIC",
        "Here is a list of changes that Sentrel has made to your system. You can undo any changes you want.",
        SS_LEFT | SS_NOPREFIX, {8, 6, 508, 30}, 0);
    backupsList_ = Add(kRestorePage, "LISTBOX", "",
                       LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP |
                           WS_GROUP,
                       {8, 40, 410, 186}, ids::kBackups,
                       "Here is a list of changes that Sentrel  has made to your system", WS_EX_CLIENTEDGE);
    SendMessageA(backupsList_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(layout_.Scale()(kBackupsExtent)), 0);
    Add(kRestorePage, "BUTTON", "&Delete", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, {428, 40, 88, 25},
        ids::kBackupDelete, "Delete selected backup list item (s)");
    Add(kRestorePage, "BUTTON", "&Undo", BS_PUSHBUTTON | WS_TABSTOP, {428, 72, 88, 25}, ids::kBackupUndo,
        "Undo selected change (s)");
}

void TOptionsForm::CreateAboutPage() {
    // A development build (one carrying the public test key for updates) says so under its
    // version; the lines below move down to make room.
    const bool testKey = BuiltWithTestUpdateKey();
    const int down = testKey ? 18 : 0;
    aboutIcon_ = Add(kAboutPage, "STATIC", "", SS_ICON | SS_REALSIZEIMAGE, kAboutIconPlace, 0);
    LoadAboutIcon();
    const HWND name = Add(kAboutPage, "STATIC", "Sentrel 4", SS_LEFT, {84, 16, 300, 22}, 0);
    SendMessageA(name, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kNameFont)), FALSE);
    Add(kAboutPage, "STATIC", "Version 4.0", SS_LEFT, {84, 40, 300, 16}, 0);
    if (testKey)
        testKeyNote_ = Add(kAboutPage, "STATIC", kTestKeyNote, SS_LEFT | SS_NOPREFIX, {84, 58, 430, 16}, 0);
    Add(kAboutPage, "STATIC", "Sentrel protects your computer from viruses and spyware using heuristic algorithms",
        SS_LEFT, {84, 62 + down, 420, 32}, 0);
    Add(kAboutPage, "STATIC", "Last update date:", SS_LEFT, {84, 104 + down, 150, 16}, 0);
    lastUpdate_ = Add(kAboutPage, "STATIC", "", SS_LEFT, {240, 104 + down, 200, 16}, 0);
    Add(kAboutPage, "STATIC", "Number of known threads:", SS_LEFT, {84, 126 + down, 150, 16}, 0);
    numberThreads_ = Add(kAboutPage, "STATIC", "", SS_LEFT, {240, 126 + down, 200, 16}, 0);
    // The public lists the threat database is made from, with their licences (data/threats).
    Add(kAboutPage, "STATIC", kFeedCredits, SS_LEFT | SS_NOPREFIX, {290, 156 + down, 230, 90}, 0);
    for (std::size_t i = 0; i < kLinks.size(); ++i) {
        const HWND link = Add(kAboutPage, "STATIC", kLinks[i].text, SS_LEFT | SS_NOTIFY | SS_NOPREFIX,
                              {84, 160 + down + static_cast<int>(i) * 22, 200, 18}, ids::kLink + static_cast<int>(i),
                              kLinks[i].hint);
        SendMessageA(link, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kLinkFont)), FALSE);
        links_.push_back(link);
    }
}

void TOptionsForm::LoadAboutIcon() {
    const int size = layout_.Scale()(kAboutIconPlace.width);
    platform::UniqueHicon icon(static_cast<HICON>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SENTREL), IMAGE_ICON, size, size, 0)));
    if (!icon) return;
    SendMessageA(aboutIcon_, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
    // The control shows the new icon: the old one may go.
    icon_ = std::move(icon);
}

LRESULT TOptionsForm::OnDpiChanged(const DpiChange& change) {
    layout_.Apply(Handle(), change);
    // The pages follow the tab control, whose display area depends on its font.
    const RECT area = PageArea();
    for (const HWND page : pages_)
        SetWindowPos(page, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    // The status bar takes its height from its font and its width from the window.
    SendMessageA(statusBar_, WM_SIZE, 0, 0);
    SendMessageA(backupsList_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(layout_.Scale()(kBackupsExtent)), 0);
    LoadAboutIcon();
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

}  // namespace sentrel::ui
