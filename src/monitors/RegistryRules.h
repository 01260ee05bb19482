#pragma once
// The portable decisions of the autorun, watched-value and registry-entry monitors: root key
// names and prefixes, which autorun names are new, the shield's own autorun entries, how a
// registry entry row of the threat database is taken apart, and registry data shown as text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/RegistryFile.h"
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

// True for the file name of this program or of its sibling scanner, exactly "Sentrel4.exe" or
// "Talvex4.exe": an autostart entry that starts one of them is the program's own.
bool IsOwnAutorunFile(std::string_view fileName);

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
