#include "ui/Picture.h"

#include <stdexcept>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <objidl.h>  // the COM types GDI+ needs (WIN32_LEAN_AND_MEAN leaves them out)
#include <gdiplus.h>
#pragma GCC diagnostic pop

#include <shlwapi.h>

#include "common/Files.h"
#include "platform/GdiGuards.h"
#include "platform/WideText.h"

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

Picture Picture::FromImage(void* gdiplusBitmap, unsigned background, const std::string& source) {
    auto* image = static_cast<Gdiplus::GpBitmap*>(gdiplusBitmap);
    const auto fail = [&](const std::string& reason) -> Picture {
        throw std::runtime_error("Cannot load the picture " + source + ": " + reason);
    };
    platform::UniqueHbitmap bitmap;
    UINT width = 0, height = 0;
    Gdiplus::GpStatus status = gp::GdipGetImageWidth(image, &width);
    if (status == Gdiplus::Ok) status = gp::GdipGetImageHeight(image, &height);
    if (status == Gdiplus::Ok) status = gp::GdipCreateHBITMAPFromBitmap(image, bitmap.put(), background);
    gp::GdipDisposeImage(image);
    if (status != Gdiplus::Ok || !bitmap || width == 0 || height == 0)
        return fail(status != Gdiplus::Ok ? StatusText(status) : "empty picture");
    return Of(std::move(bitmap), static_cast<int>(width), static_cast<int>(height), source);
}

Picture Picture::Of(platform::UniqueHbitmap bitmap, int width, int height, std::string source) {
    Picture picture;
    if (!bitmap) return picture;
    picture.bitmap_ = std::make_shared<const platform::UniqueHbitmap>(std::move(bitmap));
    picture.width_ = width;
    picture.height_ = height;
    picture.source_ = std::move(source);
    return picture;
}

Picture Picture::Load(const std::string& path) {
    EnsureGdiplusStarted();
    // GDI+ answers a missing file with a vague status; say it plainly.
    if (!FileExists(path)) throw std::runtime_error("Cannot load the picture " + path + ": file not found");

    Gdiplus::GpBitmap* image = nullptr;
    const Gdiplus::GpStatus status = gp::GdipCreateBitmapFromFile(platform::WideFromUtf8(path).c_str(), &image);
    if (status != Gdiplus::Ok || !image)
        throw std::runtime_error("Cannot load the picture " + path + ": " + StatusText(status));
    return FromImage(image, 0xFF000000, path);
}

Picture Picture::FromResource(const char* name, unsigned background) {
    EnsureGdiplusStarted();
    const std::string source = std::string("resource ") + name;
    const HMODULE module = GetModuleHandleA(nullptr);
    const HRSRC found = FindResourceA(module, name, reinterpret_cast<LPCSTR>(RT_RCDATA));
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) throw std::runtime_error("Cannot load the picture " + source + ": not in the program");
    // The stream copies the bytes; the resource itself stays mapped with the module.
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(bytes), SizeofResource(module, found));
    if (!stream) throw std::runtime_error("Cannot load the picture " + source + ": out of memory");
    Gdiplus::GpBitmap* image = nullptr;
    const Gdiplus::GpStatus status = gp::GdipCreateBitmapFromStream(stream, &image);
    stream->Release();
    if (status != Gdiplus::Ok || !image)
        throw std::runtime_error("Cannot load the picture " + source + ": " + StatusText(status));
    return FromImage(image, background, source);
}

Picture Picture::Crop(const RECT& part) const {
    RECT clipped{};
    const RECT whole{0, 0, width_, height_};
    if (Empty() || !IntersectRect(&clipped, &whole, &part)) return {};
    const int width = clipped.right - clipped.left, height = clipped.bottom - clipped.top;
    const platform::WindowDc screen(nullptr);
    platform::UniqueHbitmap piece(CreateCompatibleBitmap(screen.get(), width, height));
    if (piece) {
        const platform::MemoryDc source(screen.get());
        const platform::MemoryDc target(screen.get());
        const platform::SelectObjectGuard selectSource(source.get(), Bitmap());
        const platform::SelectObjectGuard selectTarget(target.get(), piece.get());
        BitBlt(target.get(), 0, 0, width, height, source.get(), clipped.left, clipped.top, SRCCOPY);
    }
    return Of(std::move(piece), width, height, source_);
}

void Picture::Draw(HDC dc, const RECT& target) const {
    if (Empty()) return;
    const platform::MemoryDc memory(dc);
    const HDC source = memory.get();
    if (!source) return;
    const platform::SelectObjectGuard selectBitmap(source, Bitmap());
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
}

COLORREF Picture::PixelAt(int x, int y) const {
    if (Empty() || x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
    const platform::WindowDc screen(nullptr);
    const platform::MemoryDc source(screen.get());
    const platform::SelectObjectGuard selectBitmap(source.get(), Bitmap());
    const COLORREF colour = GetPixel(source.get(), x, y);
    return colour;
}

}  // namespace sentrel::ui
