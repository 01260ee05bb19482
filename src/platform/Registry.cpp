#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/Win32Error.h"

namespace sentrel::platform {
namespace {

bool IsNotFound(LONG code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

REGSAM SamFor(RegistryAccess access, RegistryViewFlag view) {
    return (access == RegistryAccess::Read ? KEY_READ : KEY_READ | KEY_WRITE) | view;
}

[[noreturn]] void ThrowRegistryError(const char* call, const std::string& name, LONG code) {
    ThrowWin32Error(std::string(call) + "(\"" + name + "\")", static_cast<DWORD>(code));
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

using DeleteTreeFunction = LONG(WINAPI*)(HKEY, LPCSTR);

DeleteTreeFunction SystemDeleteTree() {
    static const DeleteTreeFunction function = [] {
        const HMODULE advapi = GetModuleHandleA("advapi32.dll");
        return advapi ? reinterpret_cast<DeleteTreeFunction>(
                            reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteTreeA")))
                      : nullptr;
    }();
    return function;
}

}  // namespace

std::string StringFromRegistryData(std::string_view data) {
    return std::string(data.substr(0, data.find('\0')));
}

std::optional<RegistryKey> RegistryKey::Open(HKEY parent, const std::string& subKey, RegistryAccess access,
                                             RegistryViewFlag view) {
    UniqueHkey key;
    const LONG code = RegOpenKeyExA(parent, subKey.c_str(), 0, SamFor(access, view), key.put());
    if (IsNotFound(code)) return std::nullopt;
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegOpenKeyExA", subKey, code);
    return RegistryKey(std::move(key));
}

RegistryKey RegistryKey::Create(HKEY parent, const std::string& subKey, RegistryAccess access,
                                RegistryViewFlag view) {
    UniqueHkey key;
    const LONG code = RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, SamFor(access, view),
                                      nullptr, key.put(), nullptr);
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegCreateKeyExA", subKey, code);
    return RegistryKey(std::move(key));
}

bool RegistryKey::ValueExists(const std::string& name) const {
    const LONG code = RegQueryValueExA(Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (IsNotFound(code)) return false;
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegQueryValueExA", name, code);
    return true;
}

std::optional<RegistryValue> RegistryKey::ReadValue(const std::string& name) const {
    RegistryValue value;
    value.name = name;
    // The value may grow between asking its size and reading it: ask again until it fits.
    for (;;) {
        DWORD size = 0;
        LONG code = RegQueryValueExA(Get(), name.c_str(), nullptr, &value.type, nullptr, &size);
        if (IsNotFound(code)) return std::nullopt;
        if (code != ERROR_SUCCESS) ThrowRegistryError("RegQueryValueExA", name, code);
        // The size of string data may be counted in UTF-16 bytes; in UTF-8 a unit takes up to three.
        const bool text = IsStringType(value.type) || value.type == REG_MULTI_SZ;
        value.data.assign(text ? std::size_t{size} / 2 * 3 + 2 : size, '\0');
        size = static_cast<DWORD>(value.data.size());
        code = RegQueryValueExA(Get(), name.c_str(), nullptr, &value.type,
                                reinterpret_cast<BYTE*>(value.data.data()), &size);
        if (code == ERROR_MORE_DATA) continue;
        if (IsNotFound(code)) return std::nullopt;
        if (code != ERROR_SUCCESS) ThrowRegistryError("RegQueryValueExA", name, code);
        value.data.resize(size);
        return value;
    }
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
    auto value = ReadValue(name);
    if (!value) return std::nullopt;
    if (!IsStringType(value->type)) ThrowRegistryError("RegQueryValueExA", name, ERROR_DATATYPE_MISMATCH);
    return StringFromRegistryData(value->data);
}

std::optional<DWORD> RegistryKey::ReadDword(const std::string& name) const {
    auto value = ReadValue(name);
    if (!value) return std::nullopt;
    if (value->type != REG_DWORD || value->data.size() != sizeof(DWORD))
        ThrowRegistryError("RegQueryValueExA", name, ERROR_DATATYPE_MISMATCH);
    DWORD result = 0;
    std::memcpy(&result, value->data.data(), sizeof result);
    return result;
}

void RegistryKey::WriteString(const std::string& name, const std::string& text, DWORD type) {
    if (!IsStringType(type)) ThrowRegistryError("RegSetValueExA", name, ERROR_INVALID_PARAMETER);
    WriteValue(name, type, std::string_view(text.c_str(), text.size() + 1));
}

void RegistryKey::WriteDword(const std::string& name, DWORD value) {
    WriteValue(name, REG_DWORD, std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}

void RegistryKey::WriteBinary(const std::string& name, std::string_view bytes) {
    WriteValue(name, REG_BINARY, bytes);
}

void RegistryKey::WriteValue(const std::string& name, DWORD type, std::string_view bytes) {
    const LONG code = RegSetValueExA(Get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size()));
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegSetValueExA", name, code);
}

bool RegistryKey::DeleteValue(const std::string& name) {
    const LONG code = RegDeleteValueA(Get(), name.c_str());
    if (IsNotFound(code)) return false;
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegDeleteValueA", name, code);
    return true;
}

bool RegistryKey::DeleteTree(const std::string& subKey) {
    return DeleteKeyTree(Get(), subKey);
}

std::vector<RegistryValue> RegistryKey::Values() const {
    std::vector<RegistryValue> values;
    DWORD maxNameLength = 0;
    DWORD maxDataLength = 0;
    LONG code = RegQueryInfoKeyA(Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxNameLength,
                                 &maxDataLength, nullptr, nullptr);
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegQueryInfoKeyA", "", code);
    // The system counts names in UTF-16 units and data in UTF-16 bytes; in UTF-8 a unit takes up
    // to three bytes.
    std::string name(std::size_t{maxNameLength} * 3 + 1, '\0');
    std::string data(std::size_t{maxDataLength} / 2 * 3 + 2, '\0');
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        code = RegEnumValueA(Get(), index, name.data(), &nameLength, nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code == ERROR_MORE_DATA) {
            // A value grew while we walked: make room and read the same index again.
            name.resize(name.size() * 2 + 64);
            data.resize(std::max<size_t>(data.size() * 2, dataLength) + 64);
            continue;
        }
        if (code != ERROR_SUCCESS) ThrowRegistryError("RegEnumValueA", std::to_string(index), code);
        values.push_back({name.substr(0, nameLength), type, data.substr(0, dataLength)});
        ++index;
    }
    return values;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
    std::vector<std::string> names;
    DWORD maxNameLength = 0;
    LONG code = RegQueryInfoKeyA(Get(), nullptr, nullptr, nullptr, nullptr, &maxNameLength, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr);
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegQueryInfoKeyA", "", code);
    std::string name(std::max<std::size_t>(std::size_t{maxNameLength} * 3 + 1, 256), '\0');  // UTF-16 units
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        code = RegEnumKeyExA(Get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (code == ERROR_NO_MORE_ITEMS) break;
        if (code == ERROR_MORE_DATA) {
            name.resize(name.size() * 2);
            continue;
        }
        if (code != ERROR_SUCCESS) ThrowRegistryError("RegEnumKeyExA", std::to_string(index), code);
        names.push_back(name.substr(0, nameLength));
        ++index;
    }
    return names;
}

bool RegistryKey::SubKeyExists(const std::string& subKey) const {
    return Open(Get(), subKey).has_value();
}

bool DeleteKeyTree(HKEY parent, const std::string& subKey) {
    const DeleteTreeFunction deleteTree = SystemDeleteTree();
    if (!deleteTree) return DeleteKeyTreeRecursively(parent, subKey);
    const LONG code = deleteTree(parent, subKey.c_str());
    if (IsNotFound(code)) return false;
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegDeleteTreeA", subKey, code);
    return true;
}

bool DeleteKeyTree(HKEY parent, const std::string& subKey, RegistryViewFlag view) {
    if (view == 0) return DeleteKeyTree(parent, subKey);
    const std::size_t last = subKey.find_last_of('\\');
    const std::string parentPath = last == std::string::npos ? std::string() : subKey.substr(0, last);
    const std::string name = last == std::string::npos ? subKey : subKey.substr(last + 1);
    if (name.empty()) return false;
    // Deleting a subkey takes rights on the subkey, not on its parent: the parent is only read.
    auto opened = RegistryKey::Open(parent, parentPath, RegistryAccess::Read, view);
    if (!opened) return false;
    return DeleteKeyTree(opened->Get(), name);
}

namespace {

// The system's full name of an open key ("\REGISTRY\MACHINE\SOFTWARE\WOW6432Node\Vendor");
// empty when it cannot be had.
std::wstring KernelKeyName(HKEY key) {
    using QueryKeyFunction = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const QueryKeyFunction queryKey = [] {
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll ? reinterpret_cast<QueryKeyFunction>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryKey")))
                     : nullptr;
    }();
    if (!queryKey) return {};
    constexpr int kKeyNameInformation = 3;
    // KEY_NAME_INFORMATION: the name's length in bytes, then the name without a terminator.
    std::vector<ULONG> buffer(512);
    for (int attempt = 0; attempt < 4; ++attempt) {
        ULONG needed = 0;
        const LONG status = queryKey(key, kKeyNameInformation, buffer.data(),
                                     static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &needed);
        if (status >= 0) {
            const ULONG bytes = std::min<ULONG>(buffer[0], static_cast<ULONG>((buffer.size() - 1) * sizeof(ULONG)));
            return std::wstring(reinterpret_cast<const wchar_t*>(buffer.data() + 1), bytes / sizeof(wchar_t));
        }
        if (needed <= buffer.size() * sizeof(ULONG)) return {};
        buffer.resize(needed / sizeof(ULONG) + 2);
    }
    return {};
}

}  // namespace

bool IsSameKey(HKEY first, HKEY second) {
    // Two handles of one key carry the one name the key has, letter for letter; two keys never
    // have names that differ only in case.
    const std::wstring firstName = KernelKeyName(first);
    return !firstName.empty() && firstName == KernelKeyName(second);
}

bool DeleteKeyTreeRecursively(HKEY parent, const std::string& subKey) {
    {
        auto key = RegistryKey::Open(parent, subKey, RegistryAccess::ReadWrite);
        if (!key) return false;
        // Names first, deletions after: deleting while enumerating would shift the indexes.
        for (const std::string& child : key->SubKeyNames()) DeleteKeyTreeRecursively(key->Get(), child);
    }
    const LONG code = RegDeleteKeyA(parent, subKey.c_str());
    if (IsNotFound(code)) return false;
    if (code != ERROR_SUCCESS) ThrowRegistryError("RegDeleteKeyA", subKey, code);
    return true;
}

}  // namespace sentrel::platform
