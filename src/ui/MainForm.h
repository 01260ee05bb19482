#pragma once
// The main window. It owns the program's timers and receives the hand-overs of worker threads;
// it stays hidden until its face is built. It is also how the program is ended from outside:
// a WM_CLOSE (as `taskkill` sends) or the end of the Windows session.

#include <array>
#include <functional>

#include "ui/MainTimers.h"
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

    // What each timer does on its tick; a timer without a handler does nothing.
    struct TimerHandlers {
        std::function<void()> MainTimerTimer;
        std::function<void()> ProcessTimerTimer;
        std::function<void()> AutorunListTimerTimer;
        std::function<void()> RegChangeTimerTimer;
        std::function<void()> RegistryTimerTimer;
        std::function<void()> CookiesTimerTimer;
        std::function<void()> FoldersTimerTimer;
    };

    explicit TMainForm(Callbacks callbacks);

    void Create();

    void SetTimerHandlers(TimerHandlers handlers) { timerHandlers_ = std::move(handlers); }
    // Starts a timer with its interval (a running one starts its interval afresh) or stops it.
    void SetTimerEnabled(TimerId id, bool enabled);
    bool IsTimerEnabled(TimerId id) const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose();
    LRESULT OnQueryEndSession();
    LRESULT OnEndSession(bool ending);
    LRESULT OnTimer(UINT_PTR id);

    Callbacks callbacks_;
    TimerHandlers timerHandlers_;
    std::array<bool, kTimers.size()> timerEnabled_{};
};

}  // namespace sentrel::ui
