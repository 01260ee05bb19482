#include "ui/SplashForm.h"

#include <shellapi.h>
#include <windowsx.h>

#include <exception>

#include "common/DiagnosticLog.h"
#include "platform/GdiGuards.h"
#include "ui/Controls.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 460;
constexpr int kClientHeight = 336;
constexpr DesignRect kPicturePlace{0, 0, 460, 260};
constexpr const char* kCaption = "Talvex is not installed on your computer yet!";
constexpr const char* kText =
    "Talvex, the on-demand scanner by Brannock, searches the whole computer for spyware and trojans that "
    "are already there. Sentrel keeps new ones out.";

struct Link {
    const char* text;
    const char* address;
    DesignRect place;
};
// The scanner's pages on the maker's web site.
constexpr std::array<Link, 4> kLinks = {{
    {"Look at its features", "https://www.brannock.example/talvex/features.html", {16, 306, 130, 20}},
    {"Try Now!", "https://www.brannock.example/talvex/download.html", {156, 306, 70, 20}},
    {"Learn More...", "https://www.brannock.example/talvex/", {236, 306, 100, 20}},
    {"Try Now!", "https://www.brannock.example/talvex/trial.html", {346, 306, 70, 20}},
}};
constexpr int kLinkId = 300;  // + link

constexpr COLORREF kLinkColour = RGB(0, 0x4A, 0xAD);
constexpr FontSpec kTextFont{"Verdana", 12};
constexpr FontSpec kLinkFont{"Verdana", 12, false, true};

}  // namespace

TSplashForm::TSplashForm(std::string graphicsFolder) : graphicsFolder_(std::move(graphicsFolder)) {}

void TSplashForm::Create() {
    RegisterWindowClass(kSplashFormClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    layout_ = DpiLayout(DpiScale::Of(nullptr));
    const DpiScale& scale = layout_.Scale();
    RECT frame{0, 0, scale(kClientWidth), scale(kClientHeight)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    CreateWindowOfClass(kSplashFormClass, kCaption, style, WS_EX_TOPMOST, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top);
    layout_.Control("STATIC", kText, SS_LEFT | SS_NOPREFIX, 0, {16, 266, 428, 34}, Handle(), 0,
                    layout_.Font(kTextFont));
    for (std::size_t i = 0; i < kLinks.size(); ++i)
        layout_.Control("BUTTON", kLinks[i].text, BS_OWNERDRAW | WS_TABSTOP, 0, kLinks[i].place, Handle(),
                        kLinkId + static_cast<int>(i), layout_.Font(kLinkFont));
}

void TSplashForm::ShowPicture(bool shown) {
    // The picture is held only while the window shows.
    if (!shown) {
        picture_ = {};
        return;
    }
    if (!picture_.Empty()) return;
    try {
        picture_ = Picture::Load(graphicsFolder_ + "Splash.jpg");
    } catch (const std::exception&) {
        LogCaught("splash picture");
    }
}

void TSplashForm::Present(HWND owner) {
    CentreOver(Handle(), owner);
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());
}

LRESULT TSplashForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: return OnPaint();
    case WM_SHOWWINDOW:
        ShowPicture(wParam != FALSE);
        return DefaultHandling(message, wParam, lParam);
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_DRAWITEM:
        DrawLink(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SETCURSOR:
        if (GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) >= kLinkId) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND)));
            return TRUE;
        }
        return DefaultHandling(message, wParam, lParam);
    case WM_COMMAND: {
        const int link = LOWORD(wParam) - kLinkId;
        if (link >= 0 && link < static_cast<int>(kLinks.size()))
            ShellExecuteA(Handle(), "open", kLinks[static_cast<std::size_t>(link)].address, nullptr, nullptr,
                          SW_SHOWNORMAL);
        return 0;
    }
    case WM_CLOSE:
        // The window is kept for the next time.
        ShowWindow(Handle(), SW_HIDE);
        return 0;
    case WM_DPICHANGED:
        // The picture is drawn stretched to its place at the new size.
        layout_.Apply(Handle(), DpiChangeOf(wParam, lParam));
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT TSplashForm::OnPaint() {
    const platform::PaintDc paint(Handle());
    RECT client{};
    GetClientRect(Handle(), &client);
    FillRect(paint.get(), &client, GetSysColorBrush(COLOR_WINDOW));
    picture_.Draw(paint.get(), layout_.Scale()(kPicturePlace));
    return 0;
}

void TSplashForm::DrawLink(const DRAWITEMSTRUCT& item) const {
    RECT area = item.rcItem;
    FillRect(item.hDC, &area, GetSysColorBrush(COLOR_WINDOW));
    const std::string text = WindowText(item.hwndItem);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, kLinkColour);
    // The link's own font, which follows the DPI.
    const platform::SelectObjectGuard selectFont(item.hDC, GetWindowFont(item.hwndItem));
    DrawTextA(item.hDC, text.c_str(), -1, &area, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        RECT measured = area;
        DrawTextA(item.hDC, text.c_str(), -1, &measured, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        measured.bottom = area.bottom;
        DrawFocusRect(item.hDC, &measured);
    }
}

}  // namespace sentrel::ui
