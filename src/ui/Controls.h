#pragma once
// Small helpers for the standard controls of the skinned windows: fonts by pixel height,
// standard child controls placed at design (96 DPI) positions, and the hint tooltips.

#include <string>

#include <windows.h>

#include "platform/UniqueHandle.h"
#include "ui/Dpi.h"

namespace sentrel::ui {

// A font by its design size: characters `pixelHeight` pixels high at 96 DPI (the em height,
// without internal leading).
struct FontSpec {
    const char* face = "";
    int pixelHeight = 0;
    bool bold = false;
    bool underline = false;
};

// The font of `design` scaled for `scale`. Throws Win32Error on failure.
platform::UniqueHfont MakeFont(const FontSpec& design, const DpiScale& scale);
inline platform::UniqueHfont MakeFont(const char* face, int pixelHeight, bool bold, const DpiScale& scale) {
    return MakeFont(FontSpec{face, pixelHeight, bold}, scale);
}

// Creates a standard control (STATIC, EDIT, BUTTON...) as a child of `parent` at `place` (design
// pixels, scaled with `scale`), sets its font and returns it. Throws Win32Error on failure.
HWND CreateControl(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                   const DesignRect& place, HWND parent, int id, HFONT font, const DpiScale& scale);

// The window text of a control.
std::string WindowText(HWND window);

// The hints of one window: a tooltip control that shows a control's hint when the mouse rests on
// it (after 700 ms, for up to 50 seconds).
class HintTips {
public:
    HintTips() = default;
    HintTips(const HintTips&) = delete;
    HintTips& operator=(const HintTips&) = delete;
    ~HintTips();

    void Create(HWND owner);
    void Add(HWND control, const std::string& hint);
    // Another hint for a control added before.
    void Change(HWND control, const std::string& hint);
    HWND Handle() const noexcept { return tips_; }

private:
    HWND tips_ = nullptr;
};

}  // namespace sentrel::ui
