#pragma once
// COM for the calling thread, and owners of what COM hands out: interface pointers and BSTR
// texts. Used by the Task Scheduler and shell-link readers.

#include <string>
#include <string_view>
#include <utility>

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

namespace sentrel::platform {

// Initialises COM on the calling thread (a single-threaded apartment) the first time the thread
// asks; it stays initialised until the thread ends. A thread that already runs COM in another
// apartment keeps it. Throws Win32Error when COM cannot start.
void EnsureComOnThisThread();

// Throws Win32Error for a failed HRESULT. The code is the Win32 code the HRESULT carries
// (E_ACCESSDENIED gives ERROR_ACCESS_DENIED), or the HRESULT itself when it carries none.
void CheckHresult(HRESULT result, const std::string& call);

// The Win32 code a failed HRESULT carries, or the HRESULT itself.
DWORD CodeFromHresult(HRESULT result) noexcept;

// Owns one reference to an interface.
template <class Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        if (this != &other) {
            Reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~ComRef() { Reset(); }

    Interface* Get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    void Reset() noexcept {
        if (pointer_) std::exchange(pointer_, nullptr)->Release();
    }
    // For out-parameters: releases the current reference and hands out the slot.
    Interface** Put() noexcept {
        Reset();
        return &pointer_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

private:
    Interface* pointer_ = nullptr;
};

// Owns a BSTR.
class Bstr {
public:
    Bstr() noexcept = default;
    // A BSTR holding the UTF-16 form of a program text.
    explicit Bstr(std::string_view text);
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(text_);
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }
    ~Bstr() { SysFreeString(text_); }

    BSTR Get() const noexcept { return text_; }
    BSTR* Put() noexcept {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    // The text as the program holds texts (empty for a null BSTR).
    std::string Text() const;

private:
    BSTR text_ = nullptr;
};

}  // namespace sentrel::platform
