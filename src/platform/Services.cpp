#include "platform/Services.h"

#include <optional>

#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

UniqueHkey OpenKey(HKEY parent, const std::wstring& name) {
    UniqueHkey key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

// A string value as stored (an expandable one not expanded); std::nullopt when it is missing or
// of another type.
std::optional<std::wstring> ReadText(HKEY key, const wchar_t* name) {
    std::wstring text(MAX_PATH, L'\0');  // most fit: one call to the registry
    for (;;) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG code = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
        if (code == ERROR_MORE_DATA) {
            text.assign(size / sizeof(wchar_t) + 1, L'\0');
            continue;
        }
        if (code != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
        return text;
    }
}

std::optional<DWORD> ReadNumber(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return value;
}

// The display name, with a "@file,-id" reference replaced by the text it names when the system
// can load it.
std::string DisplayName(HKEY key) {
    const std::wstring stored = ReadText(key, L"DisplayName").value_or(L"");
    if (stored.empty() || stored.front() != L'@') return Utf8FromWide(stored);
    wchar_t text[512];
    DWORD size = 0;
    if (RegLoadMUIStringW(key, L"DisplayName", text, sizeof(text), &size, 0, nullptr) == ERROR_SUCCESS)
        return Utf8FromWide(text);
    return Utf8FromWide(stored);
}

std::optional<ServiceEntry> ReadServiceKey(HKEY services, const std::wstring& name) {
    const UniqueHkey key = OpenKey(services, name);
    if (!key) return std::nullopt;  // one the user may not read, or removed meanwhile
    const std::optional<DWORD> type = ReadNumber(key.get(), L"Type");
    const std::optional<std::wstring> imagePath = ReadText(key.get(), L"ImagePath");
    // A driver, or a key that names no service (leftover settings), is no program Windows runs.
    if (type ? (*type & SERVICE_WIN32) == 0 : !imagePath) return std::nullopt;
    ServiceEntry entry;
    entry.name = Utf8FromWide(name);
    entry.imagePath = Utf8FromWide(imagePath.value_or(L""));
    entry.type = type.value_or(SERVICE_WIN32_OWN_PROCESS);
    entry.startType = ReadNumber(key.get(), L"Start").value_or(SERVICE_DEMAND_START);
    entry.displayName = DisplayName(key.get());
    if (const UniqueHkey parameters = OpenKey(key.get(), L"Parameters"))
        entry.serviceDll = Utf8FromWide(ReadText(parameters.get(), L"ServiceDll").value_or(L""));
    return entry;
}

}  // namespace

namespace {

// Calls `each` with the name of every subkey of the open services key.
template <class Each>
void ForEachServiceKey(HKEY services, Each each) {
    wchar_t name[256];  // the longest key name the registry allows, with its terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        const LONG code = RegEnumKeyExW(services, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (code == ERROR_NO_MORE_ITEMS) return;
        if (code != ERROR_SUCCESS) ThrowWin32Error("RegEnumKeyExW(services)", static_cast<DWORD>(code));
        each(std::wstring(name, length));
    }
}

}  // namespace

std::vector<ServiceEntry> ListServices() {
    std::vector<ServiceEntry> entries;
    if (const UniqueHkey services = OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(kServicesKey))) {
        ForEachServiceKey(services.get(), [&](const std::wstring& name) {
            if (auto entry = ReadServiceKey(services.get(), name)) entries.push_back(std::move(*entry));
        });
    }
    return entries;
}

std::vector<std::string> ServiceKeyNames() {
    std::vector<std::string> names;
    if (const UniqueHkey services = OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(kServicesKey)))
        ForEachServiceKey(services.get(), [&](const std::wstring& name) { names.push_back(Utf8FromWide(name)); });
    return names;
}

std::optional<ServiceEntry> ReadService(const std::string& name) {
    const UniqueHkey services = OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(kServicesKey));
    if (!services) return std::nullopt;
    return ReadServiceKey(services.get(), WideFromUtf8(name));
}

}  // namespace sentrel::platform
