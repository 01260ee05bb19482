#include "ui/MainForm.h"

#include "app/Resources.h"
#include "platform/Win32Error.h"
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
    case WM_TIMER:
        return OnTimer(wParam);
    default:
        return DefaultHandling(message, wParam, lParam);
    }
}

void TMainForm::SetTimerEnabled(TimerId id, bool enabled) {
    const std::size_t slot = static_cast<std::size_t>(id) - 1;
    // A running timer keeps its period: setting it again would restart the wait.
    if (enabled == timerEnabled_[slot]) return;
    if (enabled) {
        if (!SetTimer(Handle(), static_cast<UINT_PTR>(id), SpecOf(id).intervalMs, nullptr))
            platform::ThrowLastError("SetTimer(" + std::string(SpecOf(id).name) + ")");
    } else {
        KillTimer(Handle(), static_cast<UINT_PTR>(id));
    }
    timerEnabled_[slot] = enabled;
}

bool TMainForm::IsTimerEnabled(TimerId id) const {
    return timerEnabled_[static_cast<std::size_t>(id) - 1];
}

LRESULT TMainForm::OnTimer(UINT_PTR id) {
    const std::function<void()>* handler = nullptr;
    switch (static_cast<TimerId>(id)) {
    case TimerId::MainTimer: handler = &timerHandlers_.MainTimerTimer; break;
    case TimerId::ProcessTimer: handler = &timerHandlers_.ProcessTimerTimer; break;
    case TimerId::AutorunListTimer: handler = &timerHandlers_.AutorunListTimerTimer; break;
    case TimerId::RegChangeTimer: handler = &timerHandlers_.RegChangeTimerTimer; break;
    case TimerId::RegistryTimer: handler = &timerHandlers_.RegistryTimerTimer; break;
    case TimerId::CookiesTimer: handler = &timerHandlers_.CookiesTimerTimer; break;
    case TimerId::FoldersTimer: handler = &timerHandlers_.FoldersTimerTimer; break;
    }
    // A tick that fails ends silently (the window procedure's catch-all); the next tick starts
    // afresh.
    if (handler && *handler) (*handler)();
    return 0;
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
