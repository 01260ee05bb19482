#include "ui/Picture.h"

#include <stdexcept>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <objidl.h>  // the COM types GDI+ needs (WIN32_LEAN_AND_MEAN leaves them out)
#include <gdiplus.h>
#pragma GCC diagnostic pop

#include "common/Files.h"

namespace sentrel::ui {

namespace {

namespace gp = Gdiplus::DllExports;

std::string StatusText(Gdiplus::GpStatus status) {
    switch (status) {
    case Gdiplus::OutOfMemory: return "out of memory";
    case Gdiplus::InvalidParameter: return "not a readable picture";
    case Gdiplus::FileNotFound: return "file not found";
    case Gdiplus::AccessDenied: return "access denied";
    case Gdiplus::UnknownImageFormat: return "unknown picture format";
    default: return "GDI+ status " + std::to_string(static_cast<int>(status));
    }
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

void EnsureGdiplusStarted() {
    static const ULONG_PTR token = [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR started = 0;
        const Gdiplus::GpStatus status = Gdiplus::GdiplusStartup(&started, &input, nullptr);
        if (status != Gdiplus::Ok) throw std::runtime_error("GDI+ could not be started: " + StatusText(status));
        return started;
    }();
    (void)token;
}

Picture Picture::Load(const std::string& path) {
    EnsureGdiplusStarted();
    const auto fail = [&](const std::string& reason) -> Picture {
        throw std::runtime_error("Cannot load the picture " + path + ": " + reason);
    };
    // GDI+ answers a missing file with a vague status; say it plainly.
    if (!FileExists(path)) return fail("file not found");

    Gdiplus::GpBitmap* image = nullptr;
    Gdiplus::GpStatus status = gp::GdipCreateBitmapFromFile(Widen(path).c_str(), &image);
    if (status != Gdiplus::Ok || !image) return fail(StatusText(status));

    Picture picture;
    UINT width = 0, height = 0;
    HBITMAP bitmap = nullptr;
    status = gp::GdipGetImageWidth(image, &width);
    if (status == Gdiplus::Ok) status = gp::GdipGetImageHeight(image, &height);
    if (status == Gdiplus::Ok) status = gp::GdipCreateHBITMAPFromBitmap(image, &bitmap, 0xFF000000);
    gp::GdipDisposeImage(image);
    if (status != Gdiplus::Ok || !bitmap || width == 0 || height == 0) {
        if (bitmap) DeleteObject(bitmap);
        return fail(status != Gdiplus::Ok ? StatusText(status) : "empty picture");
    }
    picture.bitmap_.reset(bitmap);
    picture.width_ = static_cast<int>(width);
    picture.height_ = static_cast<int>(height);
    picture.source_ = path;
    return picture;
}

void Picture::Draw(HDC dc, const RECT& target) const {
    if (Empty()) return;
    const HDC source = CreateCompatibleDC(dc);
    if (!source) return;
    const HGDIOBJ old = SelectObject(source, bitmap_.get());
    const int targetWidth = target.right - target.left;
    const int targetHeight = target.bottom - target.top;
    if (targetWidth == width_ && targetHeight == height_) {
        BitBlt(dc, target.left, target.top, width_, height_, source, 0, 0, SRCCOPY);
    } else {
        const int oldMode = SetStretchBltMode(dc, HALFTONE);
        POINT oldOrigin{};
        SetBrushOrgEx(dc, 0, 0, &oldOrigin);
        StretchBlt(dc, target.left, target.top, targetWidth, targetHeight, source, 0, 0, width_, height_, SRCCOPY);
        SetBrushOrgEx(dc, oldOrigin.x, oldOrigin.y, nullptr);
        SetStretchBltMode(dc, oldMode);
    }
    SelectObject(source, old);
    DeleteDC(source);
}

COLORREF Picture::PixelAt(int x, int y) const {
    if (Empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const HDC screen = GetDC(nullptr);
    const HDC source = CreateCompatibleDC(screen);
    const HGDIOBJ old = SelectObject(source, bitmap_.get());
    const COLORREF colour = GetPixel(source, x, y);
    SelectObject(source, old);
    DeleteDC(source);
    ReleaseDC(nullptr, screen);
    return colour;
}

}  // namespace sentrel::ui
