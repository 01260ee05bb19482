#pragma once
// Positions and sizes of the windows are written at 96 DPI, as the forms were laid out; they are
// scaled to the screen here and nowhere else.

#include <windows.h>

namespace sentrel::ui {

inline constexpr int kDesignDpi = 96;

// The DPI of `window`: GetDpiForWindow where the system has it (Windows 10 1607 and later),
// else the vertical pixels per inch of the screen. A null window gives the screen's value.
int DpiOf(HWND window) noexcept;

// A rectangle at 96 DPI: left, top, width, height.
struct DesignRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

class DpiScale {
public:
    explicit DpiScale(int dpi = kDesignDpi) noexcept : dpi_(dpi > 0 ? dpi : kDesignDpi) {}
    static DpiScale Of(HWND window) noexcept { return DpiScale(DpiOf(window)); }

    int Dpi() const noexcept { return dpi_; }
    int operator()(int designValue) const noexcept { return MulDiv(designValue, dpi_, kDesignDpi); }
    RECT operator()(const DesignRect& r) const noexcept {
        const int left = (*this)(r.left);
        const int top = (*this)(r.top);
        return RECT{left, top, left + (*this)(r.width), top + (*this)(r.height)};
    }

private:
    int dpi_;
};

}  // namespace sentrel::ui
