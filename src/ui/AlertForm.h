#pragma once
// The alert window: the small borderless, always-on-top window in which the shield asks the
// user what to do with one warning, "Shield me" or "Ignore", with two check boxes that turn the
// choice into a standing rule for this threat (black or white list) or for its whole category.
// The dispatcher fills it (ShowWarning) and shows it (Present); the click handlers settle the
// warning and release the dispatcher.
//
// The skin (background, buttons) depends on the warning's danger: a light-yellow alert, or a
// light-red one for "_red". A picture that cannot be read never loses the alert: the window is
// then drawn in plain colours with plain buttons.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"
#include "ui/Controls.h"
#include "ui/Dpi.h"
#include "ui/DpiLayout.h"
#include "ui/ImageButton.h"
#include "ui/Window.h"

namespace sentrel {
class WarningQueue;
class TColorList;
class TBackuper;
class TOptions;
class TWarning;
struct FixResult;
}  // namespace sentrel

namespace sentrel::ui {

inline constexpr const char* kAlertFormClass = "TAlertForm";

// The background tint of the memo and the check boxes: light yellow, or light red for "_red".
inline constexpr COLORREF kAlertYellow = RGB(251, 215, 112);
inline constexpr COLORREF kAlertRed = RGB(243, 126, 126);

class TAlertForm : public Window {
public:
    struct Context {
        WarningQueue& queue;
        TColorList& whiteList;
        TColorList& blackList;
        TBackuper& backuper;
        TOptions& options;
        std::function<void()> repaintMainWindow;  // may be empty
        // Settles, for a short while, the warnings waiting behind the current one that the
        // standing rules now decide (after "Do it always with all such threats"); `fresh` begins
        // a new walk. True when the walk is finished; otherwise the window goes on with it after
        // the messages waiting meanwhile. May be empty.
        std::function<bool(bool fresh)> settleWaiting;
    };

    enum class Tint { Yellow, Red };

    // The decoded pictures are kept this long after the alert was hidden, so that the alerts of
    // a burst read them once; then the timer below drops them.
    static constexpr UINT kSkinKeptMs = 30000;
    static constexpr UINT_PTR kReleaseSkinTimer = 2;

    // graphicsFolder: the program folder + "graphics\". mainWindow: the window the alert is
    // centred over (the work area of the primary monitor when it is hidden or has no size).
    TAlertForm(Context context, std::string graphicsFolder, HWND mainWindow);
    ~TAlertForm() override;

    // Creates the hidden window and its controls.
    void Create();

    // Sets the busy flag, puts the texts into the window and loads the skin for the danger. The
    // identity (the finding's id or path, WarningTexts::identity) has a line of its own under the
    // description, so that nothing in the description can hide it; who signed the program it
    // runs (`signature`, empty where that is not known) has the line under that.
    // Why the finding looks dangerous (`reasons`, "Why it looks dangerous: ...") comes right after
    // the description, in red; the whole command it runs has a line of its own (shortened in the
    // middle where it is long, whole in its hint).
    void ShowWarning(const std::string& title, const std::string& description, const std::string& identity,
                     const std::string& picture, const std::string& danger, const std::string& signature = {},
                     const std::string& command = {}, const std::string& reasons = {});
    // Clears the check boxes, sets the tint and loads the pictures for the danger ("_red" or
    // empty; any other value counts as empty). Never throws for a missing picture.
    void LoadAlert(const std::string& picture, const std::string& danger);
    // Shows the window centred over the main window and brings it to the foreground, trying
    // again a few times while another window keeps the foreground.
    void Present();

    // Shows how many warnings wait behind the one shown ("3 more waiting"; nothing when none).
    // Called whenever the queue grows or shrinks.
    void ShowWaitingCount();

    void shieldClick();
    void ignoreClick();
    void close3Click();

    // How an error is shown to the user (a message box by default).
    void SetErrorReporter(std::function<void(const std::string&)> reporter) { reportError_ = std::move(reporter); }

    Tint CurrentTint() const noexcept { return tint_; }
    COLORREF TintColour() const noexcept { return tint_ == Tint::Red ? kAlertRed : kAlertYellow; }
    // File names (without folder) of the pictures the last LoadAlert read, in load order.
    const std::vector<std::string>& LoadedPictures() const noexcept { return loadedPictures_; }
    // Why pictures could not be read at the last LoadAlert (empty when all were read).
    const std::vector<std::string>& PictureErrors() const noexcept { return pictureErrors_; }

    HWND TitleLabel() const noexcept { return title_; }
    HWND DescriptionMemo() const noexcept { return description_; }
    HWND IdentityLabel() const noexcept { return identity_; }
    HWND SignatureLabel() const noexcept { return signature_; }
    HWND ReasonsLabel() const noexcept { return reasons_; }
    HWND CommandLabel() const noexcept { return command_; }
    HWND CopyButton() const noexcept { return copy_; }
    HWND AllCheck() const noexcept { return all_; }
    HWND AllThreatsCheck() const noexcept { return allThreats_; }
    HWND WaitingLabel() const noexcept { return waiting_; }
    ImageButton& ShieldButton() noexcept { return shield_; }
    ImageButton& IgnoreButton() noexcept { return ignore_; }
    ImageButton& CloseButton() noexcept { return close3_; }
    HWND Hints() const noexcept { return hints_.Handle(); }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    LRESULT WMNCHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnControlColour(HDC dc, HWND control);
    // The window moved to a screen of another DPI: everything is laid out anew at the new DPI,
    // at the place the system suggests.
    LRESULT OnDpiChanged(const DpiChange& change);
    void FormCreate();
    void FormActivate();
    void FormShow();

    void CreateControls();
    // Stacks the lines present under the description, which takes the rest of the panel.
    void PlaceTexts();
    // The command, shortened in the middle to fit its line.
    void ShowCommand();
    // "Copy": the whole command onto the clipboard.
    void CopyCommand();
    // The pictures of one tint, read once and kept until ReleaseSkin.
    struct Skin {
        bool read = false;
        Picture back;
        ImageButton::Pictures exit, shield, ignore;
        std::vector<std::string> loaded;  // file names, in load order
        std::vector<std::string> errors;  // why the others could not be read
    };
    void ReadSkin(Skin& skin, const std::string& suffix);
    ImageButton::Pictures ReadButton(Skin& skin, const std::string& base, const std::string& suffix);
    Picture ReadPicture(Skin& skin, const std::string& fileName);
    void PutPictures(ImageButton& button, const ImageButton::Pictures& pictures);
    void RebuildBackground();
    // Drops the pictures of both tints and the composed background (the alert is hidden).
    void ReleaseSkin();
    void CentreOverMainWindow();
    // Settles the current warning: removes it from the queue, hides the window, releases the
    // dispatcher.
    void Settle();
    void SetControlsEnabled(bool enabled);
    // A slice of the walk over the waiting warnings; the next one is posted while it is unfinished.
    void SettleWaitingSlice(bool fresh);
    // The finish of a "Shield me": the buttons come back, what the fix has to say is said, and
    // the warning is settled unless the fix failed (then the user may try again or ignore it).
    void FixEnded(const FixResult& result, bool allSuch);
    bool IsChecked(HWND box) const;
    // "Do it always": adds the warning's description to the list and saves it.
    void RememberAnswer(TColorList& list, TWarning& warning);

    Context context_;
    std::string graphicsFolder_;
    HWND mainWindow_;
    std::function<void(const std::string&)> reportError_;
    DpiLayout layout_;

    HWND label1_ = nullptr;
    HWND title_ = nullptr;
    HWND label2_ = nullptr;
    HWND description_ = nullptr;
    HWND identity_ = nullptr;
    HWND signature_ = nullptr;
    HWND reasons_ = nullptr;
    HWND command_ = nullptr;
    HWND copy_ = nullptr;
    std::string commandText_;
    HWND all_ = nullptr;
    HWND allThreats_ = nullptr;
    HWND waiting_ = nullptr;
    std::string waitingText_;
    ImageButton shield_;
    ImageButton ignore_;
    ImageButton close3_;
    HintTips hints_;

    platform::UniqueHbrush tintBrush_;
    platform::UniqueHbrush backBrush_;
    platform::UniqueHbitmap backBuffer_;
    Picture back_;
    Skin skins_[2];  // plain, red
    bool skinLoaded_ = false;
    Tint tint_ = Tint::Yellow;
    std::vector<std::string> loadedPictures_;
    std::vector<std::string> pictureErrors_;
};

}  // namespace sentrel::ui
