#include "ui/InputBox.h"

#include "ui/Controls.h"
#include "ui/Skin.h"

namespace sentrel::ui {

namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 104;
constexpr int kEditId = 100;
constexpr FontSpec kFont{"Tahoma", 11};

}  // namespace

std::optional<std::string> InputBox::Ask(HWND owner, const std::string& caption, const std::string& prompt,
                                         const std::string& defaultText) {
    InputBox box;
    box.Create(owner, caption, prompt, defaultText);
    CentreOver(box.Handle(), owner);
    SetFocus(box.edit_);
    SendMessageA(box.edit_, EM_SETSEL, 0, -1);
    if (box.ShowModal(owner, IDCANCEL) != IDOK) return std::nullopt;
    return box.answer_;
}

void InputBox::Create(HWND owner, const std::string& caption, const std::string& prompt, const std::string& text) {
    RegisterWindowClass(kInputBoxClass);
    layout_ = DpiLayout(DpiScale::Of(owner));
    const DpiScale& scale = layout_.Scale();
    RECT frame{0, 0, scale(kClientWidth), scale(kClientHeight)};
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    CreateWindowOfClass(kInputBoxClass, caption.c_str(), style, WS_EX_DLGMODALFRAME, 0, 0, frame.right - frame.left,
                        frame.bottom - frame.top, owner);
    const HFONT font = layout_.Font(kFont);
    const HWND form = Handle();
    layout_.Control("STATIC", prompt, SS_LEFT | SS_NOPREFIX, 0, {10, 10, 320, 16}, form, 0, font);
    edit_ = layout_.Control("EDIT", text, ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE,
                            {10, 30, 320, 22}, form, kEditId, font);
    layout_.Control("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, {166, 68, 78, 26}, form, IDOK, font);
    layout_.Control("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, {252, 68, 78, 26}, form, IDCANCEL, font);
}

LRESULT InputBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            answer_ = WindowText(edit_);
            EndModal(IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndModal(IDCANCEL);
        }
        return 0;
    case WM_CLOSE: EndModal(IDCANCEL); return 0;
    case WM_DPICHANGED: layout_.Apply(Handle(), DpiChangeOf(wParam, lParam)); return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

}  // namespace sentrel::ui
