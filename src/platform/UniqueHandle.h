#pragma once
// One move-only owner for every kind of Win32 handle; each kind is a one-line alias naming
// its close function and its empty value.

#include <algorithm>
#include <utility>

#include <windows.h>

namespace sentrel::platform {

// Traits give the handle type, its empty value and how to close it.
template <typename Traits>
class UniqueResource {
public:
    using T = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(T value) noexcept : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueResource() { reset(); }

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

    T release() noexcept { return std::exchange(value_, Traits::Empty()); }

    void reset(T value = Traits::Empty()) noexcept {
        const T old = std::exchange(value_, value);
        if (old != Traits::Empty()) Traits::Close(old);
    }

    // For out-parameters: releases the current value and hands out the slot.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_ = Traits::Empty();
};

template <typename H, auto CloseFunction>
struct NullIsEmpty {
    using Type = H;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept { CloseFunction(h); }
};

template <auto CloseFunction>
struct InvalidIsEmpty {
    using Type = HANDLE;
    static Type Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { CloseFunction(h); }
};

namespace detail {
inline void CloseHandleQuietly(HANDLE h) noexcept { ::CloseHandle(h); }
inline void CloseKey(HKEY k) noexcept { ::RegCloseKey(k); }
inline void CloseFind(HANDLE h) noexcept { ::FindClose(h); }
inline void CloseChangeNotification(HANDLE h) noexcept { ::FindCloseChangeNotification(h); }
inline void DeleteGdiObject(HGDIOBJ o) noexcept { ::DeleteObject(o); }
inline void DestroyIconQuietly(HICON i) noexcept { ::DestroyIcon(i); }
inline void DestroyMenuQuietly(HMENU m) noexcept { ::DestroyMenu(m); }
inline void UnmapView(const void* p) noexcept { ::UnmapViewOfFile(p); }
}  // namespace detail

// Handles whose empty value is null (events, mutexes, processes, threads, mappings).
using UniqueHandle = UniqueResource<NullIsEmpty<HANDLE, detail::CloseHandleQuietly>>;
// File handles, whose empty value is INVALID_HANDLE_VALUE.
using UniqueFile = UniqueResource<InvalidIsEmpty<detail::CloseHandleQuietly>>;
using UniqueFind = UniqueResource<InvalidIsEmpty<detail::CloseFind>>;
using UniqueChangeNotification = UniqueResource<InvalidIsEmpty<detail::CloseChangeNotification>>;
using UniqueHkey = UniqueResource<NullIsEmpty<HKEY, detail::CloseKey>>;
using UniqueHfont = UniqueResource<NullIsEmpty<HFONT, detail::DeleteGdiObject>>;
using UniqueHbitmap = UniqueResource<NullIsEmpty<HBITMAP, detail::DeleteGdiObject>>;
using UniqueHbrush = UniqueResource<NullIsEmpty<HBRUSH, detail::DeleteGdiObject>>;
using UniqueHpen = UniqueResource<NullIsEmpty<HPEN, detail::DeleteGdiObject>>;
using UniqueHrgn = UniqueResource<NullIsEmpty<HRGN, detail::DeleteGdiObject>>;
using UniqueHicon = UniqueResource<NullIsEmpty<HICON, detail::DestroyIconQuietly>>;
using UniqueHmenu = UniqueResource<NullIsEmpty<HMENU, detail::DestroyMenuQuietly>>;
using UniqueView = UniqueResource<NullIsEmpty<const void*, detail::UnmapView>>;

}  // namespace sentrel::platform
