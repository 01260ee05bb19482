#include "ui/ImageButton.h"

#include <utility>

#include <windowsx.h>

#include "platform/GdiGuards.h"
#include "platform/UniqueHandle.h"

namespace sentrel::ui {

ImageButton::ImageButton(std::string name, std::string caption, std::function<void()> onClick)
    : name_(std::move(name)), caption_(std::move(caption)), onClick_(std::move(onClick)) {}

void ImageButton::Create(HWND parent, const DesignRect& place, const DpiScale& scale) {
    RegisterWindowClass(kImageButtonClass, CS_PARENTDC);
    const RECT r = scale(place);
    CreateWindowOfClass(kImageButtonClass, name_.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, r.left, r.top,
                        r.right - r.left, r.bottom - r.top, parent);
}

void ImageButton::SetPictures(Pictures pictures) {
    pictures_ = std::move(pictures);
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void ImageButton::ClearPictures(COLORREF face) {
    pictures_ = Pictures{};
    plainFace_ = face;
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

void ImageButton::SetDown(bool down) {
    down_ = down && latching_;
    SetState(down_ ? State::Pressed : State::Normal);
}

void ImageButton::ResetState() {
    down_ = false;
    if (capturing_) {
        capturing_ = false;
        ReleaseCapture();
    }
    SetState(State::Normal);
}

ImageButton::State ImageButton::CurrentState() const noexcept {
    return down_ ? State::Pressed : state_;
}

const Picture& ImageButton::ShownPicture() const noexcept {
    const Picture* shown = &pictures_.normal;
    switch (CurrentState()) {
    case State::Normal: break;
    case State::Clicked: shown = &pictures_.clicked; break;
    case State::Pressed: shown = &pictures_.pressed; break;
    case State::Hover: shown = &pictures_.hover; break;
    }
    return shown->Empty() ? pictures_.normal : *shown;
}

void ImageButton::Click() {
    // A disabled button ignores clicks, BM_CLICK included, as a standard button does.
    if (Handle() && !IsWindowEnabled(Handle())) return;
    if (latching_) down_ = true;
    SetState(latching_ ? State::Pressed : State::Clicked);
    if (onClick_) onClick_();
}

void ImageButton::SetState(State state) {
    if (state_ == state) return;
    state_ = state;
    if (Handle()) InvalidateRect(Handle(), nullptr, FALSE);
}

LRESULT ImageButton::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: return OnPaint();
    case WM_ERASEBKGND: return 1;  // the picture covers everything
    case WM_MOUSEMOVE: return OnMouseMove();
    case WM_MOUSELEAVE: return OnMouseLeave();
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: return OnLeftButtonDown();
    case WM_LBUTTONUP: return OnLeftButtonUp(lParam);
    case WM_CAPTURECHANGED:
        capturing_ = false;
        return 0;
    case BM_CLICK:
        Click();
        return 0;
    case WM_GETDLGCODE: return DLGC_BUTTON;
    case BM_GETCHECK:
        // A latched button reads as checked, so its state can be seen from outside.
        return down_ ? BST_CHECKED : BST_UNCHECKED;
    case WM_ENABLE:
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    case WM_KEYDOWN:
        // Space and Enter press a focused button, as on a standard button.
        if (wParam == VK_SPACE || wParam == VK_RETURN) {
            Click();
            return 0;
        }
        return DefaultHandling(message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
    default: return DefaultHandling(message, wParam, lParam);
    }
}

LRESULT ImageButton::OnPaint() {
    const platform::PaintDc paint(Handle());
    const HDC dc = paint.get();
    RECT client{};
    GetClientRect(Handle(), &client);
    const Picture& picture = ShownPicture();
    if (picture.Empty()) {
        DrawPlain(dc, client);
    } else {
        picture.Draw(dc, client);
    }
    if (GetFocus() == Handle()) {
        RECT focus = client;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(dc, &focus);
    }
    return 0;
}

void ImageButton::DrawPlain(HDC dc, const RECT& client) const {
    const platform::UniqueHbrush face(CreateSolidBrush(plainFace_));
    FillRect(dc, &client, face.get());
    RECT edge = client;
    const State state = CurrentState();
    DrawEdge(dc, &edge, state == State::Pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    if (state == State::Hover) {
        RECT inner = client;
        InflateRect(&inner, -3, -3);
        DrawFocusRect(dc, &inner);
    }
    const platform::SelectObjectGuard selectFont(
        dc, reinterpret_cast<HGDIOBJ>(SendMessageA(GetParent(Handle()), WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text = client;
    if (state == State::Pressed) OffsetRect(&text, 1, 1);
    DrawTextA(dc, caption_.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

LRESULT ImageButton::OnMouseMove() {
    if (!tracking_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, Handle(), 0};
        tracking_ = TrackMouseEvent(&track) != FALSE;
    }
    if (!down_ && !capturing_ && state_ != State::Clicked) SetState(State::Hover);
    return 0;
}

LRESULT ImageButton::OnMouseLeave() {
    tracking_ = false;
    if (!capturing_) SetState(State::Normal);
    return 0;
}

LRESULT ImageButton::OnLeftButtonDown() {
    SetCapture(Handle());
    capturing_ = true;
    SetState(State::Pressed);
    return 0;
}

LRESULT ImageButton::OnLeftButtonUp(LPARAM lParam) {
    if (!capturing_) return 0;
    capturing_ = false;
    ReleaseCapture();
    RECT client{};
    GetClientRect(Handle(), &client);
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&client, at)) {
        Click();
    } else {
        SetState(State::Normal);
    }
    return 0;
}

}  // namespace sentrel::ui
