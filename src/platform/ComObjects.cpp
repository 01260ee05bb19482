#include "platform/ComObjects.h"

#include <objbase.h>

#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

// The thread's own share of COM, given back when the thread ends.
struct ThreadCom {
    bool started = false;
    bool owned = false;
    ~ThreadCom() {
        if (owned) CoUninitialize();
    }
};

}  // namespace

void EnsureComOnThisThread() {
    thread_local ThreadCom com;
    if (com.started) return;
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (result == RPC_E_CHANGED_MODE) {
        com.started = true;  // the thread runs COM in a multithreaded apartment: that serves too
        return;
    }
    CheckHresult(result, "CoInitializeEx");
    com.started = true;
    com.owned = true;
}

DWORD CodeFromHresult(HRESULT result) noexcept {
    if (HRESULT_FACILITY(result) == FACILITY_WIN32) return HRESULT_CODE(result);
    return static_cast<DWORD>(result);
}

void CheckHresult(HRESULT result, const std::string& call) {
    if (FAILED(result)) ThrowWin32Error(call, CodeFromHresult(result));
}

Bstr::Bstr(std::string_view text) {
    const std::wstring wide = WideFromUtf8(text);
    text_ = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!text_) ThrowWin32Error("SysAllocStringLen", ERROR_NOT_ENOUGH_MEMORY);
}

std::string Bstr::Text() const {
    if (!text_) return {};
    return Utf8FromWide(std::wstring_view(text_, SysStringLen(text_)));
}

}  // namespace sentrel::platform
