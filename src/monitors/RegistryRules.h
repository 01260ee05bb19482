#pragma once
// The portable decisions of the autorun, watched-value and registry-entry monitors: root key
// names and prefixes, which autorun names are new, the shield's own autorun entries, how a
// registry entry row of the threat database is taken apart, and registry data shown as text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/RootKeys.h"

namespace sentrel {

// The root of a watched key text by its first four characters, exactly: "HKLM", "HKCU", "HKCR";
// nothing for any other text.
std::optional<RegistryRoot> RootFromPrefix(std::string_view key);

// The root named "HKEY_CLASSES_ROOT" ... "HKEY_DYN_DATA" (exact comparison); HKEY_CURRENT_USER
// for any other text.
RegistryRoot RootFromName(std::string_view name);

// The key below the root of a watched key text: the text without its prefix and backslash
// (its first five characters); empty for a shorter text.
std::string KeyPathOfWatch(std::string_view key);

// The names of `current`, in order, that are new against `known`: a name is old when it is not
// empty and `known` holds it in any letter case. The empty name (a key's default value) is
// always new.
std::vector<std::string> NewAutorunNames(const std::vector<std::string>& current,
                                         const std::vector<std::string>& known);

// True for the autorun entries of this program and of its sibling scanner: the file-name part
// of the data is exactly "Sentrel4.exe" or "Talvex4.exe".
bool IsOwnAutorunFile(std::string_view fileName);

// The registry types the monitors tell apart (the system's values, so that this code stays
// portable).
namespace registry_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kString = 1;          // REG_SZ
inline constexpr std::uint32_t kExpandString = 2;    // REG_EXPAND_SZ
inline constexpr std::uint32_t kBinary = 3;          // REG_BINARY
inline constexpr std::uint32_t kDword = 4;           // REG_DWORD
inline constexpr std::uint32_t kDwordBigEndian = 5;  // REG_DWORD_BIG_ENDIAN
inline constexpr std::uint32_t kMultiString = 7;     // REG_MULTI_SZ
inline constexpr std::uint32_t kQword = 11;          // REG_QWORD
}  // namespace registry_type

// Registry data as the registry editor shows it: strings up to their first zero byte, DWORD and
// QWORD as "0x0000002a (42)", multi-strings with their strings separated by blanks, everything
// else (binary, none, unknown types, numbers of a wrong length) as hexadecimal bytes separated
// by blanks ("01 ab ff").
std::string RegistryDataAsText(std::uint32_t type, std::string_view data);

// One row of the threat database's RegEntries taken apart: a REG_PATH such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Toolbar" names the key "SOFTWARE\Vendor\Toolbar\" when it
// exists, else the value "Toolbar" of the key "SOFTWARE\Vendor\".
struct TRegEntryTarget {
    RegistryRoot Root = RegistryRoot::CurrentUser;
    std::string Parent;   // the key that must exist (with a trailing backslash)
    std::string KeyText;  // the key reported when it exists (with a trailing backslash)
    std::string Last;     // the value name looked up below Parent otherwise (empty: none)
};
TRegEntryTarget RegEntryTargetOf(std::string path);

}  // namespace sentrel
