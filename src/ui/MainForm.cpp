#include "ui/MainForm.h"

#include "app/Resources.h"
#include "ui/MessageBox.h"

namespace sentrel::ui {

TMainForm::TMainForm(Callbacks callbacks) : callbacks_(std::move(callbacks)) {}

void TMainForm::Create() {
    const auto icon = static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SENTREL),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    RegisterWindowClass(kMainFormClass, 0, icon);
    CreateWindowOfClass(kMainFormClass, kApplicationTitle, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0,
                        CW_USEDEFAULT, CW_USEDEFAULT, 760, 560);
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        return OnClose();
    case WM_QUERYENDSESSION:
        return OnQueryEndSession();
    case WM_ENDSESSION:
        return OnEndSession(wParam != FALSE);
    default:
        return DefaultHandling(message, wParam, lParam);
    }
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
