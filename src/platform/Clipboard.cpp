#include "platform/Clipboard.h"

#include <cstring>

#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

// Open for as long as it lives.
class OpenClipboardScope {
public:
    explicit OpenClipboardScope(HWND owner) {
        if (!OpenClipboard(owner)) ThrowLastError("OpenClipboard");
    }
    ~OpenClipboardScope() { CloseClipboard(); }
    OpenClipboardScope(const OpenClipboardScope&) = delete;
    OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
};

}  // namespace

void CopyTextToClipboard(HWND owner, const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) ThrowLastError("GlobalAlloc");
    void* target = GlobalLock(memory);
    if (!target) {
        GlobalFree(memory);
        ThrowLastError("GlobalLock");
    }
    std::memcpy(target, wide.c_str(), bytes);
    GlobalUnlock(memory);
    try {
        const OpenClipboardScope open(owner);
        if (!EmptyClipboard()) ThrowLastError("EmptyClipboard");
        if (!SetClipboardData(CF_UNICODETEXT, memory)) ThrowLastError("SetClipboardData");
    } catch (...) {
        GlobalFree(memory);
        throw;
    }
    // The clipboard owns the memory now.
}

std::string ClipboardText(HWND owner) {
    const OpenClipboardScope open(owner);
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return {};
    const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
    if (!text) return {};
    std::string result = Utf8FromWide(text);
    GlobalUnlock(data);
    return result;
}

}  // namespace sentrel::platform
