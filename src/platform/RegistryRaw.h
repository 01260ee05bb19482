#pragma once
// Registry values exactly as the registry keeps them: read and written through the wide
// functions, so string data comes as its UTF-16LE bytes and nothing is lost to the code page.
// Key and value names are UTF-8, as everywhere in the program.

#include <optional>
#include <string>
#include <string_view>

#include <windows.h>

namespace sentrel::platform {

struct RawRegistryValue {
    DWORD type = REG_NONE;
    std::string data;  // the stored bytes; UTF-16LE for the string types
};

// The value `name` of root\subKey; std::nullopt when the key or the value does not exist.
// Throws Win32Error on any other failure.
// `view` is the registry view flag (0, KEY_WOW64_64KEY or KEY_WOW64_32KEY), as for RegistryKey.
std::optional<RawRegistryValue> ReadRawValue(HKEY root, const std::string& subKey, const std::string& name,
                                             REGSAM view = 0);

// Writes the value with this type and these bytes, creating the key and the keys on its path
// where missing. Throws Win32Error on failure.
void WriteRawValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                   std::string_view data, REGSAM view = 0);

// Conversions between UTF-8 and UTF-16LE bytes (two bytes per unit, no terminator added); what
// cannot be converted becomes U+FFFD, so a caller that must be exact compares the round trip.
std::string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::string_view utf16);

}  // namespace sentrel::platform
