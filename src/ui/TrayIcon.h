#pragma once
// The shield's icon in the notification area: added when the main window is created, its tip
// kept up to date, added again when Explorer restarts ("TaskbarCreated"), removed with the
// window. Mouse events on it come to the owner window as `callbackMessage`, with the mouse
// message in the low word of lParam.

#include <string>

#include <windows.h>
#include <shellapi.h>

namespace sentrel::ui {

class TrayIcon {
public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon() { Remove(); }

    // Adds the icon; false when the shell refused it (no notification area yet: it is added
    // when the shell announces itself).
    bool Add(HWND owner, UINT callbackMessage, HICON icon, const std::string& tip);
    // Changes the tip (the shell shows at most 127 characters).
    void SetTip(const std::string& tip);
    const std::string& Tip() const noexcept { return tip_; }
    // Shows a balloon (a notification on current Windows) at the icon; false when the shell
    // refused it or the icon is not there. The texts are cut to what the shell holds.
    bool ShowBalloon(const std::string& title, const std::string& text);
    // Explorer started again: its notification area is empty.
    bool Readd();
    void Remove();

    // The message Explorer broadcasts when its taskbar is created.
    static UINT TaskbarCreatedMessage();

private:
    NOTIFYICONDATAA Data(UINT flags) const;

    HWND owner_ = nullptr;
    UINT callbackMessage_ = 0;
    HICON icon_ = nullptr;
    std::string tip_;
    bool added_ = false;
};

}  // namespace sentrel::ui
