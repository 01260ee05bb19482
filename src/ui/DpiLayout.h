#pragma once
// What a window needs to lay itself out again when it moves to a screen of another DPI
// (WM_DPICHANGED): the design place of every child it placed and the fonts it made. On the change
// the window takes the rectangle the system suggests, its fonts are made again at the new DPI
// (every child that used an old one gets the new one) and every child goes to its place at the
// new DPI. What a window lays out in its own way (pages over a tab control, a status bar, an
// icon loaded at a size) it redoes after Apply.

#include <string>
#include <vector>

#include <windows.h>

#include "platform/UniqueHandle.h"
#include "ui/Controls.h"
#include "ui/Dpi.h"

namespace sentrel::ui {

// The DPI and the suggested window rectangle a WM_DPICHANGED carries.
struct DpiChange {
    int dpi = kDesignDpi;
    RECT suggested{};
};
inline DpiChange DpiChangeOf(WPARAM wParam, LPARAM lParam) noexcept {
    return {HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam)};
}

class DpiLayout {
public:
    explicit DpiLayout(DpiScale scale = DpiScale()) noexcept : scale_(scale) {}

    const DpiScale& Scale() const noexcept { return scale_; }

    // The font of `design` at the current DPI, made on first use and owned by the layout. Apply
    // replaces it: ask for it again rather than keep the handle.
    HFONT Font(const FontSpec& design);

    // CreateControl at the current DPI, the design place remembered.
    HWND Control(const char* className, const std::string& text, DWORD style, DWORD exStyle,
                 const DesignRect& place, HWND parent, int id, HFONT font);
    // Remembers the design place (in its parent's client area) of a child made otherwise.
    void Remember(HWND child, const DesignRect& place);
    // Puts a child at another design place, remembered for the next DPI change.
    void Move(HWND child, const DesignRect& place);

    // The answer to WM_DPICHANGED of `window`: everything laid out again at `change.dpi`, the
    // window in the suggested rectangle, and all of it redrawn.
    void Apply(HWND window, const DpiChange& change);

private:
    struct MadeFont {
        std::string face;
        int pixelHeight;
        bool bold;
        bool underline;
        platform::UniqueHfont font;

        FontSpec Spec() const noexcept { return {face.c_str(), pixelHeight, bold, underline}; }
    };
    struct Placed {
        HWND child;
        DesignRect place;
    };

    DpiScale scale_;
    std::vector<MadeFont> fonts_;
    std::vector<Placed> placed_;
};

}  // namespace sentrel::ui
