#pragma once
// A window shown modally over an owner, as a dialog box is: the owner is disabled while it is
// up, Tab, arrows, Enter and Escape work through IsDialogMessage, and a request to end the
// program (WM_QUIT) ends the modal loop and is passed on to the main loop.

#include "ui/Window.h"

namespace sentrel::ui {

class ModalWindow : public Window {
public:
    // Shows the window and runs its loop until EndModal; returns the result (`cancelled` when
    // the program is being ended meanwhile).
    int ShowModal(HWND owner, int cancelled);
    // The innermost modal window that is up, or null.
    static HWND Current() noexcept { return current_ ? current_->Handle() : nullptr; }

protected:
    void EndModal(int result);
    bool InModalLoop() const noexcept { return running_; }
    // A message of the modal loop before the dialog keys see it; true when handled.
    virtual bool PreviewModalMessage(MSG&) { return false; }

private:
    static inline ModalWindow* current_ = nullptr;
    bool running_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace sentrel::ui
