#pragma once
// A picture of the program's skins: a GIF or JPEG file read through GDI+ into a bitmap, drawn
// stretched into a rectangle. Copies share the bitmap (it is never changed once made), so a
// window can keep its decoded pictures and hand them to its buttons without reading them again.

#include <memory>
#include <string>

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace sentrel::ui {

class Picture {
public:
    Picture() = default;

    // Reads the file at `path` (UTF-8, as every name in the program). Throws
    // std::runtime_error naming the file and the reason when it is missing or not a picture.
    static Picture Load(const std::string& path);
    // Reads a picture the program carries in its resources (RCDATA `name`). Transparent pixels
    // take `background` (0xAARRGGBB; 0 keeps the alpha channel for image lists). Throws like Load.
    static Picture FromResource(const char* name, unsigned background = 0xFF000000);

    // A copy of the part `part` of the picture (clipped to it); empty when nothing is left.
    Picture Crop(const RECT& part) const;

    bool Empty() const noexcept { return !bitmap_; }
    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    HBITMAP Bitmap() const noexcept { return bitmap_ ? bitmap_->get() : nullptr; }
    // The file it was read from (empty for an empty picture).
    const std::string& Source() const noexcept { return source_; }

    // Draws the whole picture stretched into `target`; an empty picture draws nothing.
    void Draw(HDC dc, const RECT& target) const;

    // The colour of one pixel of the picture (for tests and for matching colours).
    COLORREF PixelAt(int x, int y) const;

private:
    // Takes the GDI+ image (and disposes of it) into a bitmap of the picture.
    static Picture FromImage(void* gdiplusBitmap, unsigned background, const std::string& source);
    // The picture of `bitmap` (empty when it holds none).
    static Picture Of(platform::UniqueHbitmap bitmap, int width, int height, std::string source);

    std::shared_ptr<const platform::UniqueHbitmap> bitmap_;  // never holds an empty handle
    int width_ = 0;
    int height_ = 0;
    std::string source_;
};

// Starts GDI+ once for the process (it is left running until the process ends, as the pictures
// live as long as the windows).
void EnsureGdiplusStarted();

}  // namespace sentrel::ui
