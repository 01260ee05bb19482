#pragma once
// A picture button: a small child window with four pictures (normal, clicked, pressed, hover)
// and a state. Its window text is its component name ("shield"), so the button can be found
// and pressed from outside with BM_CLICK like a standard button. A latching button stays down
// (pressed picture) after a click until it is released with SetDown(false). Without pictures it
// draws itself as a plain push button with its caption, so a window whose skin is missing still
// works.

#include <functional>
#include <string>

#include "ui/Dpi.h"
#include "ui/Picture.h"
#include "ui/Window.h"

namespace sentrel::ui {

inline constexpr const char* kImageButtonClass = "SentrelImageButton";

class ImageButton : public Window {
public:
    enum class State { Normal, Clicked, Pressed, Hover };

    struct Pictures {
        Picture normal;
        Picture clicked;
        Picture pressed;
        Picture hover;
    };

    // `name` is the window text, `caption` what the plain button shows, `onClick` runs on a click.
    ImageButton(std::string name, std::string caption, std::function<void()> onClick);

    void Create(HWND parent, const DesignRect& place, const DpiScale& scale);

    // Takes the pictures; a missing picture of a state falls back to the normal one.
    void SetPictures(Pictures pictures);
    // Drops the pictures: the button draws itself plainly in `face` colour.
    void ClearPictures(COLORREF face);
    bool HasPictures() const noexcept { return !pictures_.normal.Empty(); }

    void SetLatching(bool latching) noexcept { latching_ = latching; }
    // Puts a latching button down or up; SetDown(false) on any button returns it to normal.
    void SetDown(bool down);
    bool Down() const noexcept { return down_; }
    // Back to the normal state: not down, not hovered, not pressed.
    void ResetState();

    State CurrentState() const noexcept;
    // The picture the button shows now (normal when the state has none); empty without pictures.
    const Picture& ShownPicture() const noexcept;

    // Runs the click as a mouse click would.
    void Click();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    LRESULT OnMouseMove();
    LRESULT OnMouseLeave();
    LRESULT OnLeftButtonDown();
    LRESULT OnLeftButtonUp(LPARAM lParam);
    void SetState(State state);
    void DrawPlain(HDC dc, const RECT& client) const;

    std::string name_;
    std::string caption_;
    std::function<void()> onClick_;
    Pictures pictures_;
    COLORREF plainFace_ = RGB(240, 240, 240);
    State state_ = State::Normal;
    bool latching_ = false;
    bool down_ = false;
    bool tracking_ = false;
    bool capturing_ = false;
};

}  // namespace sentrel::ui
