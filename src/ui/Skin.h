#pragma once
// What the skinned windows (main window, first-run window) share: their flat panel colours, the
// picture buttons loaded from the program's resources or from the graphics folder, and the
// painting of a background picture, with plain colours whenever a picture is missing.

#include <string>

#include <windows.h>

#include "ui/Dpi.h"
#include "ui/ImageButton.h"
#include "ui/Picture.h"

namespace sentrel::ui {

// The flat panels of the pictures on which the program writes its texts.
inline constexpr COLORREF kStatusPanel = RGB(0xEE, 0xF3, 0xF9);
inline constexpr COLORREF kFirstSplashPanel = RGB(0xF5, 0xF8, 0xFC);
inline constexpr COLORREF kSkinText = RGB(0x1B, 0x2A, 0x3D);
// The main window without its background picture.
inline constexpr COLORREF kPlainFace = RGB(0xDC, 0xE6, 0xF2);

// Gives `button` its pictures from the resources `<base>_jpg`, `<base>_over_jpg` and
// `<base>_down_jpg`; a plain button in `face` when one of them is missing.
void LoadResourceButton(ImageButton& button, const std::string& base, COLORREF face);

// Gives a level button its pictures: the normal one is its part of the window's background
// (`place` in the background picture's own pixels), hover and pressed are `<base>_over.jpg` and
// `<base>_down.jpg` of the graphics folder. A plain button when one of them is missing.
void LoadLevelButton(ImageButton& button, const std::string& graphicsFolder, const std::string& base,
                     const Picture& background, const RECT& place, COLORREF face);

// Paints `background` placed at `place` (design pixels relative to the client area), or the
// client area in `face` when there is no picture.
void PaintSkin(HWND window, const Picture& background, const DpiScale& scale, const DesignRect& place,
               COLORREF face);

// Gives a borderless window its rounded outline: a rectangle of `width` by `height` with corners
// of `corner` pixels. Throws Win32Error.
void SetRoundedOutline(HWND window, int width, int height, int corner);

// Centres a top-level window on the work area of the primary monitor.
void CentreOnDesktop(HWND window);
// Centres a top-level window over another (on the desktop when the other is hidden).
void CentreOver(HWND window, HWND other);

}  // namespace sentrel::ui
