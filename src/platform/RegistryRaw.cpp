#include "platform/RegistryRaw.h"

#include <cstring>

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

bool IsNotFound(LONG code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::string Utf16FromUtf8(std::string_view text) {
    const std::wstring wide = WideFromUtf8(text);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

std::string Utf8FromUtf16(std::string_view utf16) {
    std::wstring wide(utf16.size() / 2, L'\0');
    std::memcpy(wide.data(), utf16.data(), wide.size() * sizeof(wchar_t));
    return Utf8FromWide(wide);
}

std::optional<RawRegistryValue> ReadRawValue(HKEY root, const std::string& subKey, const std::string& name,
                                             REGSAM view) {
    UniqueHkey key;
    LONG code = RegOpenKeyExW(root, WideFromUtf8(subKey).c_str(), 0, KEY_QUERY_VALUE | view, key.put());
    if (IsNotFound(code)) return std::nullopt;
    if (code != ERROR_SUCCESS) ThrowWin32Error("RegOpenKeyExW(\"" + subKey + "\")", static_cast<DWORD>(code));
    const std::wstring valueName = WideFromUtf8(name);
    RawRegistryValue value;
    for (;;) {
        DWORD size = static_cast<DWORD>(value.data.size());
        code = RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &value.type,
                                value.data.empty() ? nullptr : reinterpret_cast<BYTE*>(value.data.data()), &size);
        if (IsNotFound(code)) return std::nullopt;
        if (code == ERROR_MORE_DATA || (code == ERROR_SUCCESS && value.data.empty() && size > 0)) {
            value.data.assign(size, '\0');  // the value may grow between two calls: ask again
            continue;
        }
        if (code != ERROR_SUCCESS) ThrowWin32Error("RegQueryValueExW(\"" + name + "\")", static_cast<DWORD>(code));
        value.data.resize(size);
        return value;
    }
}

void WriteRawValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   std::string_view data, REGSAM view) {
    UniqueHkey key;
    LONG code = RegCreateKeyExW(root, WideFromUtf8(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | view,
                                nullptr, key.put(), nullptr);
    if (code != ERROR_SUCCESS) ThrowWin32Error("RegCreateKeyExW(\"" + subKey + "\")", static_cast<DWORD>(code));
    code = RegSetValueExW(key.get(), WideFromUtf8(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
    if (code != ERROR_SUCCESS) ThrowWin32Error("RegSetValueExW(\"" + name + "\")", static_cast<DWORD>(code));
}

}  // namespace sentrel::platform
