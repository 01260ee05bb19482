#pragma once
// The main window: the shield's control panel and the owner of its tray icon. It only shows the
// shield's state; the shield's clock is core/Scheduler.
// A borderless, skinned window with the five level pictures, the tool buttons, three status
// lines and its own minimise and close buttons. Most of the time it is hidden and the shield
// lives in the tray; Ctrl+Shift+A, the tray icon and its menu bring it back.
//
// It is also how the program is ended from outside: a WM_CLOSE (as `taskkill` or the installer
// sends) or the end of the Windows session end the shield with its normal teardown.

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"
#include "ui/Controls.h"
#include "ui/DpiLayout.h"
#include "ui/HelpEngine.h"
#include "ui/ImageButton.h"
#include "ui/Picture.h"
#include "ui/TrayIcon.h"
#include "ui/TrayMenu.h"
#include "ui/Window.h"

namespace sentrel {
class TOptions;
}

namespace sentrel::ui {

class TClosingForm;
class TSplashForm;

inline constexpr const char* kMainFormClass = "TMainForm";
// Mouse events on the tray icon reach the main window as this message.
inline constexpr UINT kTrayIconMessage = WM_APP + 20;
inline constexpr int kShowHotKeyId = 1;
inline constexpr const char* kTrayStartTip = "Sentrel";

// The pages of the options dialog the main window opens.
enum class OptionsPage { General, SecurityLevel, RestoreChanges, About };

// The help topic every help request of the main window opens, after the help file's path.
inline constexpr const char* kIntroductionTopic = "::/Source\\Introducing the Sentrel\\Introduction.htm";

class TMainForm : public Window {
public:
    struct Callbacks {
        // Ends the program with its normal teardown (quit the message loop).
        std::function<void()> terminate;
        // The Windows session is ending and the process may be stopped as soon as the message
        // returns: write everything back now.
        std::function<void()> endSession;
        // Applies a security level (0 Low to 4 Disabled).
        std::function<void(int level)> setLevel;
        // Shows the options dialog at a page (not modal).
        std::function<void(OptionsPage page)> showOptions;
        // Shows the update wizard, modally or not.
        std::function<void(bool modal)> showUpdateWizard;
    };

    explicit TMainForm(Callbacks callbacks);
    ~TMainForm() override;

    // The window alone (hidden, no face).
    void Create();
    // The face: background, buttons, labels, tray icon and hot key. `options` is read by the
    // close, minimise and reminder logic; `helpFile` is the full path of Help.chm.
    void CreateFace(TOptions& options, std::string graphicsFolder, std::string helpFile, HelpEngine& help,
                    TClosingForm& closingForm, TSplashForm& splashForm);

    // Puts the icon into the notification area. Adding it waits for Explorer, and while it waits
    // the window answers messages sent to it: the program does it once its shield is set up.
    void ShowTrayIcon();

    // The signs of a level: tray tip, level label, tray menu mark and the latched level picture.
    void ShowLevel(int level);
    // Tells the user something that needs no answer in a balloon at the tray icon; a click on
    // it opens the options dialog at the restore page.
    void ShowBalloon(const std::string& text);
    // The database lines: the last update (already formatted) and the number of known threats.
    void ShowDatabase(const std::string& lastUpdate, int knownThreats);

    // Hides the window into the tray when it shows; otherwise shows it in its normal size and
    // brings it to the foreground.
    void ToggleMainWindow();
    // Shows the window in its normal size and brings it to the foreground, shown or not.
    void ShowMainWindow();
    // Hides the window into the tray.
    void My_Minimize();

    // The close button ("CloseAction": minimise, close after asking, or ask what to do).
    void exit1Click();
    // The tray menu's "&Exit": asks, then ends the program.
    void Exit2Click();
    void miniClick();
    // Help on the introduction topic; `fromKeyboard` chooses the message shown without help.
    void ShowHelp(bool fromKeyboard);
    // Starts the maker's scanner, or says it is not installed.
    void scanerClick();

    // Keyboard preview: the main loop gives the window every key press for it or its controls
    // first. True when the key was used (F1).
    bool PreviewKey(const MSG& message);

    ImageButton* FindButton(const std::string& name);
    HWND LevelLabel() const noexcept { return mainLevel_; }
    const TrayIcon& Tray() const noexcept { return tray_; }
    TrayMenu* Menu() noexcept { return menu_.get(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose();
    LRESULT OnQueryEndSession();
    LRESULT OnEndSession(bool ending);
    LRESULT OnPaint();
    LRESULT WMNCHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayIcon(LPARAM lParam);
    LRESULT OnCommand(UINT command);
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnDpiChanged(const DpiChange& change);
    void OnDestroy();
    // Runs each time the window becomes visible; the database reminder the first time.
    void FormShow();

    void CreateButtons();
    void ButtonClick(std::size_t index);
    void CreateLabels();
    // Reads the background and the buttons' pictures (once until released); ReleasePictures
    // drops them, leaving plain buttons until the next LoadPictures.
    void LoadPictures();
    void ReleasePictures();
    void OpenTrayMenu();
    // While a modal window of the program is up (the main window is disabled), brings it (or the
    // message box over it) to the front and returns true: the hot key and the tray do nothing else.
    bool FrontModalWindow() const;
    void ChooseLevel(int level);
    bool Confirm(const std::string& text) const;

    Callbacks callbacks_;

    TOptions* options_ = nullptr;
    HelpEngine* help_ = nullptr;
    TClosingForm* closingForm_ = nullptr;
    TSplashForm* splashForm_ = nullptr;
    std::string graphicsFolder_;
    std::string helpFile_;
    DpiLayout layout_;
    bool hasFace_ = false;
    bool reminderDone_ = false;

    Picture back_;
    bool picturesLoaded_ = false;
    std::vector<std::unique_ptr<ImageButton>> buttons_;
    HintTips hints_;
    HWND mainLevel_ = nullptr;
    HWND lastUpdate_ = nullptr;
    HWND numberThreads_ = nullptr;
    platform::UniqueHbrush panelBrush_;
    TrayIcon tray_;
    std::unique_ptr<TrayMenu> menu_;
    bool hotKeyRegistered_ = false;
};

}  // namespace sentrel::ui
