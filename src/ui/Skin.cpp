#include "ui/Skin.h"

#include <exception>

#include "common/DiagnosticLog.h"
#include "platform/GdiGuards.h"
#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"

namespace sentrel::ui {

namespace {

Picture TryResource(const std::string& name) {
    try {
        return Picture::FromResource(name.c_str());
    } catch (const std::exception&) {
        LogCaught("skin picture");
        return {};
    }
}

Picture TryFile(const std::string& path) {
    try {
        return Picture::Load(path);
    } catch (const std::exception&) {
        LogCaught("skin picture");
        return {};
    }
}

void SetButtonPictures(ImageButton& button, Picture normal, Picture hover, Picture pressed, COLORREF face) {
    // A button is drawn from pictures only when it has all of them, never half a skin.
    if (normal.Empty() || hover.Empty() || pressed.Empty()) {
        button.ClearPictures(face);
        return;
    }
    ImageButton::Pictures pictures;
    pictures.clicked = normal.Crop({0, 0, normal.Width(), normal.Height()});
    pictures.normal = std::move(normal);
    pictures.hover = std::move(hover);
    pictures.pressed = std::move(pressed);
    button.SetPictures(std::move(pictures));
}

}  // namespace

void LoadResourceButton(ImageButton& button, const std::string& base, COLORREF face) {
    SetButtonPictures(button, TryResource(base + "_jpg"), TryResource(base + "_over_jpg"),
                      TryResource(base + "_down_jpg"), face);
}

void LoadLevelButton(ImageButton& button, const std::string& graphicsFolder, const std::string& base,
                     const Picture& background, const RECT& place, COLORREF face) {
    SetButtonPictures(button, background.Crop(place), TryFile(graphicsFolder + base + "_over.jpg"),
                      TryFile(graphicsFolder + base + "_down.jpg"), face);
}

void PaintSkin(HWND window, const Picture& background, const DpiScale& scale, const DesignRect& place,
               COLORREF face) {
    const platform::PaintDc paint(window);
    const HDC dc = paint.get();
    if (background.Empty()) {
        const platform::UniqueHbrush brush(CreateSolidBrush(face));
        RECT client{};
        GetClientRect(window, &client);
        FillRect(dc, &client, brush.get());
    } else {
        background.Draw(dc, scale(place));
    }
}

void SetRoundedOutline(HWND window, int width, int height, int corner) {
    platform::UniqueHrgn region(CreateRoundRectRgn(0, 0, width, height, corner, corner));
    if (!region) platform::ThrowLastError("CreateRoundRectRgn");
    if (!SetWindowRgn(window, region.get(), TRUE)) platform::ThrowLastError("SetWindowRgn");
    // The window owns the region from here on.
    region.release();
}

void CentreOnDesktop(HWND window) {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT rect{};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreOver(HWND window, HWND other) {
    if (!other || !IsWindowVisible(other) || IsIconic(other)) {
        CentreOnDesktop(window);
        return;
    }
    RECT over{}, rect{};
    GetWindowRect(other, &over);
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    SetWindowPos(window, nullptr, over.left + (over.right - over.left - width) / 2,
                 over.top + (over.bottom - over.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace sentrel::ui
