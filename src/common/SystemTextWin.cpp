// On Windows the program's text is in the system code page (CP_ACP).
#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/SystemText.h"
#include "common/SystemErrorWin.h"

namespace sentrel {

namespace {

[[noreturn]] void Fail(const char* call) {
    throw std::runtime_error(std::string(call) + " failed: " + SystemErrorText(GetLastError()));
}

}  // namespace

std::string SystemTextFromUtf16Le(std::string_view units) {
    const int count = static_cast<int>(units.size() / 2);
    if (count == 0) return {};
    std::vector<wchar_t> wide(static_cast<std::size_t>(count));
    std::memcpy(wide.data(), units.data(), wide.size() * sizeof(wchar_t));
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), count, nullptr, 0, nullptr, nullptr);
    if (size <= 0) Fail("WideCharToMultiByte");
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), count, text.data(), size, nullptr, nullptr);
    return text;
}

std::string Utf16LeFromSystemText(std::string_view text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) Fail("MultiByteToWideChar");
    std::vector<wchar_t> wide(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    std::string units(wide.size() * sizeof(wchar_t), '\0');
    std::memcpy(units.data(), wide.data(), units.size());
    return units;
}

}  // namespace sentrel
