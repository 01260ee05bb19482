#pragma once
// The tray icon's menu: "Show Sentrel  Ctrl-Shift-A" (the default item, run by a double click on
// the icon), the "&Security Level" submenu with the current level checked, the tools and
// "&Exit". Its pictures come from one image list the program carries; they are drawn through
// the menu's owner-draw bitmap callback, so the owner window passes WM_MEASUREITEM and
// WM_DRAWITEM on.

#include <optional>

#include <windows.h>
#include <commctrl.h>

#include "platform/UniqueHandle.h"

namespace sentrel::ui {

// The commands of the tray menu, as they reach the owner in WM_COMMAND.
enum TrayCommand : UINT {
    kShowCommand = 100,
    kLevelCommand = 110,  // + level (0 Low to 4 Disabled)
    kOnlineUpdateCommand = 120,
    kUndoChangesCommand,
    kRunScannerCommand,
    kOptionsCommand,
    kHelpCommand,
    kExitCommand,
};

inline constexpr const char* kShowItemText = "Show Sentrel  Ctrl-Shift-A";

class TrayMenu {
public:
    TrayMenu();
    ~TrayMenu();
    TrayMenu(const TrayMenu&) = delete;
    TrayMenu& operator=(const TrayMenu&) = delete;

    // Only this level's item of the submenu carries the check mark (none for another value).
    void CheckLevel(int level);
    // Opens the menu at `at` (screen coordinates) for `owner`; the chosen command comes as
    // WM_COMMAND. Returns when the menu has closed.
    void Show(HWND owner, POINT at);

    HMENU Handle() const noexcept { return menu_.get(); }
    HMENU LevelMenu() const noexcept { return levels_; }

    // The owner's WM_MEASUREITEM and WM_DRAWITEM for the menu's pictures; false when the message
    // is not about them.
    bool MeasureItem(MEASUREITEMSTRUCT& item) const;
    bool DrawItem(const DRAWITEMSTRUCT& item) const;

private:
    void LoadPictures();
    void AddItem(HMENU menu, UINT command, const char* text, std::optional<int> picture);

    platform::UniqueHmenu menu_;
    HMENU levels_ = nullptr;  // owned by menu_
    HIMAGELIST pictures_ = nullptr;
};

}  // namespace sentrel::ui
