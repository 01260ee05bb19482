#include "platform/Services.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <type_traits>

#include "common/TextCase.h"

#include "platform/Registry.h"
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

std::uint64_t Count(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Calls `each` with the name of every subkey of the open services key (and, for a caller that
// takes it, the time the subkey was last written).
template <class Each>
void ForEachServiceKey(HKEY services, Each each) {
    wchar_t name[256];  // the longest key name the registry allows, with its terminator
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(name));
        FILETIME written{};
        const LONG code = RegEnumKeyExW(services, index, name, &length, nullptr, nullptr, nullptr, &written);
        if (code == ERROR_NO_MORE_ITEMS) return;
        if (code != ERROR_SUCCESS) ThrowWin32Error("RegEnumKeyExW(services)", static_cast<DWORD>(code));
        if constexpr (std::is_invocable_v<Each, const std::wstring&, std::uint64_t>)
            each(std::wstring(name, length), Count(written));
        else
            each(std::wstring(name, length));
    }
}

struct ScHandleTraits {
    using Type = SC_HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type handle) noexcept { CloseServiceHandle(handle); }
};
using UniqueScHandle = UniqueResource<ScHandleTraits>;

UniqueScHandle OpenManager(DWORD access) {
    UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, access));
    if (!manager) ThrowLastError("OpenSCManagerW");
    return manager;
}

// "a\0b\0\0" from {"a", "b"}; null for none.
std::wstring MultiText(const std::vector<std::string>& parts) {
    std::wstring text;
    for (const std::string& part : parts) text += WideFromUtf8(part) + L'\0';
    return text + L'\0';
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

std::vector<ServiceKeyStamp> ServiceKeyStamps() {
    std::vector<ServiceKeyStamp> stamps;
    if (const UniqueHkey services = OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(kServicesKey)))
        ForEachServiceKey(services.get(), [&](const std::wstring& name, std::uint64_t written) {
            stamps.push_back({Utf8FromWide(name), written});
        });
    return stamps;
}

std::uint64_t ServiceStampNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return Count(now);
}

std::uint64_t ServiceParametersStamp(const std::string& name) {
    const UniqueHkey parameters =
        OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(std::string(kServicesKey) + "\\" + name + "\\Parameters"));
    FILETIME written{};
    if (!parameters || RegQueryInfoKeyW(parameters.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr, &written) != ERROR_SUCCESS)
        return 0;
    return Count(written);
}

std::optional<ServiceConfig> ReadServiceConfig(const std::string& name) {
    const auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, std::string(kServicesKey) + "\\" + name);
    if (!key) return std::nullopt;
    ServiceConfig config;
    config.name = name;
    for (const RegistryValue& value : key->Values()) {
        config.valueNames.push_back(value.name);
        const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
        const auto number = [&](DWORD& into) {
            if (value.type == REG_DWORD && value.data.size() >= sizeof(DWORD))
                std::memcpy(&into, value.data.data(), sizeof(DWORD));
        };
        if (text && SameIgnoringCase(value.name, "DisplayName")) config.displayName = StringFromRegistryData(value.data);
        else if (text && SameIgnoringCase(value.name, "ImagePath")) config.imagePath = StringFromRegistryData(value.data);
        else if (text && SameIgnoringCase(value.name, "Group")) config.group = StringFromRegistryData(value.data);
        else if (text && SameIgnoringCase(value.name, "ObjectName")) config.account = StringFromRegistryData(value.data);
        else if (SameIgnoringCase(value.name, "Type")) number(config.type);
        else if (SameIgnoringCase(value.name, "Start")) number(config.startType);
        else if (SameIgnoringCase(value.name, "ErrorControl")) number(config.errorControl);
        else if (value.type == REG_MULTI_SZ && SameIgnoringCase(value.name, "DependOnService")) {
            std::string_view rest = value.data;
            while (!rest.empty()) {
                const std::string part = StringFromRegistryData(rest);
                if (part.empty()) break;
                config.dependencies.push_back(part);
                rest.remove_prefix(std::min(rest.size(), part.size() + 1));
            }
        }
    }
    return config;
}

ServiceRemoval RemoveService(const std::string& name, unsigned stopWaitMs) {
    const UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
    const UniqueScHandle service(
        OpenServiceW(manager.get(), WideFromUtf8(name).c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST) return ServiceRemoval::NotRegistered;
        ThrowWin32Error("OpenServiceW(" + name + ")", code);
    }
    SERVICE_STATUS status{};
    bool stopped = true;
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status);  // refused: it is asked again below
        const ULONGLONG until = GetTickCount64() + stopWaitMs;
        while (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount64() < until)
            Sleep(100);  // a service reports its stop only when asked again
        stopped = status.dwCurrentState == SERVICE_STOPPED;
    }
    if (!DeleteService(service.get())) {
        const DWORD code = GetLastError();
        if (code != ERROR_SERVICE_MARKED_FOR_DELETE) ThrowWin32Error("DeleteService(" + name + ")", code);
    }
    return stopped ? ServiceRemoval::Deleted : ServiceRemoval::StillRunning;
}

void CreateServiceFrom(const ServiceConfig& config) {
    const UniqueScHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE);
    const std::wstring name = WideFromUtf8(config.name);
    const std::wstring display = WideFromUtf8(config.displayName);
    const std::wstring image = WideFromUtf8(config.imagePath);
    const std::wstring group = WideFromUtf8(config.group);
    const std::wstring account = WideFromUtf8(config.account);
    const std::wstring dependencies = MultiText(config.dependencies);
    const UniqueScHandle service(CreateServiceW(
        manager.get(), name.c_str(), display.empty() ? nullptr : display.c_str(), SERVICE_QUERY_STATUS,
        config.type, config.startType, config.errorControl, image.c_str(), group.empty() ? nullptr : group.c_str(),
        nullptr, config.dependencies.empty() ? nullptr : dependencies.c_str(),
        account.empty() ? nullptr : account.c_str(), nullptr));
    if (!service) ThrowLastError("CreateServiceW(" + config.name + ")");
}

bool ChangeServiceCommand(const std::string& name, const std::string& imagePath) {
    const UniqueScHandle manager = OpenManager(SC_MANAGER_CONNECT);
    const UniqueScHandle service(OpenServiceW(manager.get(), WideFromUtf8(name).c_str(), SERVICE_CHANGE_CONFIG));
    if (!service) {
        const DWORD code = GetLastError();
        if (code == ERROR_SERVICE_DOES_NOT_EXIST) return false;
        ThrowWin32Error("OpenServiceW(" + name + ")", code);
    }
    if (!ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                              WideFromUtf8(imagePath).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr))
        ThrowLastError("ChangeServiceConfigW(" + name + ")");
    return true;
}

std::optional<ServiceEntry> ReadService(const std::string& name) {
    const UniqueHkey services = OpenKey(HKEY_LOCAL_MACHINE, WideFromUtf8(kServicesKey));
    if (!services) return std::nullopt;
    return ReadServiceKey(services.get(), WideFromUtf8(name));
}

void DropRegistrationValues(const ServiceConfig& config) {
    constexpr const char* kRegistrationValues[] = {"Type",        "Start",      "ErrorControl", "ImagePath",
                                                   "DisplayName", "ObjectName", "Group",        "DependOnService",
                                                   "WOW64",       "PreshutdownTimeout"};
    auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, std::string(kServicesKey) + "\\" + config.name,
                                 RegistryAccess::ReadWrite);
    if (!key) return;
    for (const char* value : kRegistrationValues) {
        const bool had = std::any_of(config.valueNames.begin(), config.valueNames.end(),
                                     [value](const std::string& kept) { return SameIgnoringCase(kept, value); });
        if (!had) key->DeleteValue(value);
    }
}

}  // namespace sentrel::platform
