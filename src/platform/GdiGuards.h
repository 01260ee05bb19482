#pragma once
// Scope owners for device contexts and the objects selected into them, so that every DC is
// released and every selection undone on every path, exceptions included.

#include <windows.h>

namespace sentrel::platform {

// GetDC / ReleaseDC (a null window: the screen).
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint, for WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND window) noexcept : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const noexcept { return dc_; }
    // The part of the window to paint.
    const RECT& Area() const noexcept { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// CreateCompatibleDC / DeleteDC.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatibleWith) noexcept : dc_(CreateCompatibleDC(compatibleWith)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
};

// SelectObject, and the previous object selected again at the end of the scope. A null object
// selects nothing.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectObjectGuard() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace sentrel::platform
