#include "ui/ClosingForm.h"

#include <exception>

#include <windowsx.h>

#include "common/DiagnosticLog.h"
#include "ui/Controls.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 420;
constexpr int kClientHeight = 214;
constexpr const char* kCaption = "Closing Sentrel...";
constexpr const char* kText = "You are going to close Sentrel. Please, select one of the following actions:";

struct Choice {
    const char* text;
    const char* picture;
};
constexpr std::array<Choice, 3> kChoices = {{
    {"Always &minimize Sentrel with X (close window) button", "closing_minimize_png"},
    {"Always c&lose Sentrel with X (close window) button", "closing_close_png"},
    {"Close Sentrel now and &ask this next time", "closing_ask_png"},
}};

constexpr int kRadioId = 200;    // + choice
constexpr int kPictureId = 210;  // + choice

constexpr FontSpec kFont{"Tahoma", 11};

}  // namespace

TClosingForm::TClosingForm(std::function<void()> terminate) : terminate_(std::move(terminate)) {}

void TClosingForm::Create(HWND owner) {
    RegisterWindowClass(kClosingFormClass, 0, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const DpiScale screen = DpiScale::Of(nullptr);
    RECT frame{0, 0, screen(kClientWidth), screen(kClientHeight)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    CreateWindowOfClass(kClosingFormClass, kCaption, style, exStyle, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top, owner);
    layout_ = DpiLayout(DpiScale::Of(Handle()));
    const HFONT font = layout_.Font(kFont);
    const HWND form = Handle();
    SendMessageA(form, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    layout_.Control("STATIC", kText, SS_LEFT, 0, {14, 12, 392, 30}, form, 0, font);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const unsigned background = 0xFF000000u | (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
    for (std::size_t i = 0; i < kChoices.size(); ++i) {
        const int top = 50 + static_cast<int>(i) * 40;
        try {
            pictures_[i] = Picture::FromResource(kChoices[i].picture, background);
        } catch (const std::exception&) {
            LogCaught("closing window picture");
            pictures_[i] = {};
        }
        const HWND picture = layout_.Control("STATIC", "", SS_BITMAP | SS_NOTIFY | SS_CENTERIMAGE, 0,
                                             {16, top, 32, 32}, form, kPictureId + static_cast<int>(i), nullptr);
        if (!pictures_[i].Empty())
            SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(pictures_[i].Bitmap()));
        const DWORD group = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
        radios_[i] = layout_.Control("BUTTON", kChoices[i].text, BS_AUTORADIOBUTTON | group, 0,
                                     {58, top + 6, 350, 20}, form, kRadioId + static_cast<int>(i), font);
    }
    layout_.Control("BUTTON", "&OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, {232, 176, 84, 26}, form, IDOK,
                    font);
    layout_.Control("BUTTON", "&Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, {324, 176, 84, 26}, form, IDCANCEL, font);
}

int TClosingForm::ShowModalOver(HWND owner) {
    Select(0);
    CentreOver(Handle(), owner);
    SetFocus(radios_[0]);
    return ShowModal(owner, kCloseCancelled);
}

void TClosingForm::Select(int index) {
    for (std::size_t i = 0; i < radios_.size(); ++i)
        Button_SetCheck(radios_[i], static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED);
}

int TClosingForm::Selected() const {
    for (std::size_t i = 0; i < radios_.size(); ++i)
        if (Button_GetCheck(radios_[i]) == BST_CHECKED) return static_cast<int>(i);
    return 0;
}

LRESULT TClosingForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CLOSE:
        EndModal(kCloseCancelled);
        return 0;
    case WM_DPICHANGED:
        // The pictures keep their size, centred in their places.
        layout_.Apply(Handle(), DpiChangeOf(wParam, lParam));
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

void TClosingForm::OnCommand(int id, int code) {
    if (id == IDCANCEL) {
        EndModal(kCloseCancelled);
    } else if (id == IDOK) {
        const int result = kAlwaysMinimize + Selected();
        if (result == kCloseNow && terminate_) terminate_();
        EndModal(result);
    } else if (id >= kPictureId && id < kPictureId + 3 && code == STN_CLICKED) {
        Select(id - kPictureId);
        SetFocus(radios_[static_cast<std::size_t>(id - kPictureId)]);
    }
}

}  // namespace sentrel::ui
