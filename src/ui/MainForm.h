#pragma once
// The main window. It owns the program's timers and receives the hand-overs of worker threads;
// it stays hidden until its face is built. It is also how the program is ended from outside:
// a WM_CLOSE (as `taskkill` sends) or the end of the Windows session.

#include <functional>

#include "ui/Window.h"

namespace sentrel::ui {

inline constexpr const char* kMainFormClass = "TMainForm";

class TMainForm : public Window {
public:
    struct Callbacks {
        // Ends the program with its normal teardown (quit the message loop).
        std::function<void()> terminate;
        // The Windows session is ending and the process may be stopped as soon as the message
        // returns: write everything back now.
        std::function<void()> endSession;
    };

    explicit TMainForm(Callbacks callbacks);

    void Create();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose();
    LRESULT OnQueryEndSession();
    LRESULT OnEndSession(bool ending);

    Callbacks callbacks_;
};

}  // namespace sentrel::ui
