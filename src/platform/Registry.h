#pragma once
// Registry keys and values through the ANSI functions (UTF-8 in this program). A key that is not there, a value that is
// not there, are answers (std::nullopt / false); every other failure throws Win32Error with the
// call and the system's code.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

enum class RegistryAccess { Read, ReadWrite };

// The registry view a key is opened in, as the access-mask flag the system takes: 0 (the
// program's own view), KEY_WOW64_64KEY or KEY_WOW64_32KEY. Only the keys Windows keeps apart
// for 32-bit programs (most of HKEY_LOCAL_MACHINE\SOFTWARE) differ between the views.
using RegistryViewFlag = REGSAM;

// One value as the registry holds it: its type and its data bytes, unchanged.
struct RegistryValue {
    std::string name;
    DWORD type = REG_NONE;
    std::string data;
};

// The text of string data (REG_SZ, REG_EXPAND_SZ): the bytes up to the first zero byte (the
// stored terminator, or a missing one).
std::string StringFromRegistryData(std::string_view data);

class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(UniqueHkey key) noexcept : key_(std::move(key)) {}

    // Opens an existing key; std::nullopt when it (or a key on its path) does not exist.
    static std::optional<RegistryKey> Open(HKEY parent, const std::string& subKey,
                                           RegistryAccess access = RegistryAccess::Read,
                                           RegistryViewFlag view = 0);
    // Opens the key, creating it and the keys on its path where missing.
    static RegistryKey Create(HKEY parent, const std::string& subKey,
                              RegistryAccess access = RegistryAccess::ReadWrite, RegistryViewFlag view = 0);

    HKEY Get() const noexcept { return key_.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(key_); }

    bool ValueExists(const std::string& name) const;
    // The value's type and data; std::nullopt when there is no such value.
    std::optional<RegistryValue> ReadValue(const std::string& name) const;
    // String data of a REG_SZ or REG_EXPAND_SZ value (not expanded); std::nullopt when there is
    // no such value; throws when the value has another type.
    std::optional<std::string> ReadString(const std::string& name) const;
    // A REG_DWORD value; std::nullopt when there is no such value; throws on another type.
    std::optional<DWORD> ReadDword(const std::string& name) const;

    // type is REG_SZ or REG_EXPAND_SZ; the stored data ends with its zero byte.
    void WriteString(const std::string& name, const std::string& text, DWORD type = REG_SZ);
    void WriteDword(const std::string& name, DWORD value);
    void WriteBinary(const std::string& name, std::string_view bytes);
    // Any type with raw data bytes.
    void WriteValue(const std::string& name, DWORD type, std::string_view bytes);

    // false when there was no such value.
    bool DeleteValue(const std::string& name);
    // Deletes a subkey with everything below it; false when there was no such subkey.
    bool DeleteTree(const std::string& subKey);

    // Every value, in the order the registry enumerates them.
    std::vector<RegistryValue> Values() const;
    // The names of the direct subkeys, in the order the registry enumerates them.
    std::vector<std::string> SubKeyNames() const;
    bool SubKeyExists(const std::string& subKey) const;

private:
    UniqueHkey key_;
};

// Deletes parent\subKey with everything below it (RegDeleteTreeA where the system has it, the
// recursive walk otherwise); false when the key does not exist.
bool DeleteKeyTree(HKEY parent, const std::string& subKey);
// The same in a registry view: the key's parent is opened in that view and the key deleted below
// it.
bool DeleteKeyTree(HKEY parent, const std::string& subKey, RegistryViewFlag view);

// Whether two open keys are one and the same key (the system's full names of both are equal): the 32-bit and the 64-bit view of a key that Windows shares between
// the views. False when a name cannot be had.
bool IsSameKey(HKEY first, HKEY second);
// The same by walking the tree and deleting its leaves first (for systems without RegDeleteTreeA).
bool DeleteKeyTreeRecursively(HKEY parent, const std::string& subKey);

}  // namespace sentrel::platform
