#include "ui/ModalWindow.h"

namespace sentrel::ui {

int ModalWindow::ShowModal(HWND owner, int cancelled) {
    // The owner may be hidden still (the first-run window comes before the main window).
    const bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    running_ = true;
    ModalWindow* const outer = current_;
    current_ = this;
    ended_ = false;
    result_ = cancelled;
    ShowWindow(Handle(), SW_SHOW);
    SetForegroundWindow(Handle());

    MSG message{};
    while (!ended_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending: the main loop must see the request too.
            PostQuitMessage(static_cast<int>(message.wParam));
            result_ = cancelled;
            break;
        }
        if (got == -1) break;
        if (PreviewModalMessage(message)) continue;
        if (IsDialogMessageA(Handle(), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    running_ = false;
    current_ = outer;
    // The owner is enabled before this window hides, so Windows activates the owner and not
    // some other program.
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    ShowWindow(Handle(), SW_HIDE);
    return result_;
}

void ModalWindow::EndModal(int result) {
    result_ = result;
    ended_ = true;
    // Wake the loop if it waits for a message.
    PostMessageA(Handle(), WM_NULL, 0, 0);
}

}  // namespace sentrel::ui
