#pragma once
// The text of a registry-editor file ("Windows Registry Editor Version 5.00") for one value, as
// the registry-entry remedy leaves it in "backup.reg" for its undo to import. The value keeps
// its real type and data: plain strings are written in quotes, every other value as the
// registry editor writes it (dword:, hex:, hex(N):), so the import gives back the same type and
// the same bytes. Also the hex text under which a backup record keeps raw value data.
//
// In this format the data of the string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) written as
// hex bytes is UTF-16LE, as the registry keeps it. The text made here is UTF-8;
// the remedy stores it as UTF-16LE with a byte-order mark, the form in which the registry editor
// writes its own files: only in that form do all registry editors (Wine's among them) read the
// hex bytes of string data as UTF-16LE.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// The registry's value types, by their numbers.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

struct RegistryFileValue {
    std::string name;            // empty: the key's default value, written as @
    std::uint32_t type = kRegSz;
    std::string data;            // the value's bytes as the registry keeps them (UTF-16LE for strings)
    // For REG_SZ: the text in UTF-8 when it can be written in quotes (it holds
    // no line break and converts back to exactly `data`); otherwise the data is written as
    // hex(1) bytes.
    std::optional<std::string> quotedText;
};

inline constexpr std::string_view kRegistryFileHeader = "Windows Registry Editor Version 5.00";

// "Windows Registry Editor Version 5.00", "[" + keyPath + "]" and the value's line (long hex
// data continued on further lines with a trailing backslash), each ended by CR LF. `keyPath` is
// the full key path with its root name; trailing separators are dropped, as the editor never
// writes them.
std::string RegistryFileText(const std::string& keyPath, const RegistryFileValue& value);

// The quoted form: backslashes and double quotes preceded by a backslash.
std::string QuoteRegistryText(std::string_view text);

// Lower-case hex digits, two per byte, no separators; and back (std::nullopt for text that is
// not such hex).
std::string HexFromBytes(std::string_view bytes);
std::optional<std::string> BytesFromHex(std::string_view hex);

// A key path without trailing backslashes ("Software\Bad\" -> "Software\Bad").
std::string WithoutTrailingBackslashes(std::string path);

// Whether a key below its root may be deleted as a whole: it has at least two components
// ("SOFTWARE\Vendor"). An empty key is the root itself and a direct child of a root
// ("SOFTWARE", "Software\") holds the whole machine's or user's settings: no threat database
// row can make removing those a remedy. SOFTWARE\WOW6432Node, the SOFTWARE of 32-bit programs,
// counts as a direct child of the root.
bool IsRemovableKeyPath(std::string_view keyBelowRoot);

// Whether `fileBytes` is a complete registry-editor export of `keyPath` (with its root name):
// the header ("Windows Registry Editor Version 5.00" or "REGEDIT4") on the first line and the
// key's own section "[keyPath]" (any letter case). UTF-16LE text with a byte-order mark, as the
// registry editor writes it, is read as such; other text in the system's old code page unless
// it is UTF-8.
bool IsRegistryExportOf(std::string_view fileBytes, std::string_view keyPath);

// Registry data as the registry editor shows it: strings up to their first zero byte, DWORD and
// QWORD as "0x0000002a (42)", multi-strings with their strings separated by blanks, everything
// else (binary, none, unknown types, numbers of a wrong length) as hexadecimal bytes separated
// by blanks ("01 ab ff").
std::string RegistryDataAsText(std::uint32_t type, std::string_view data);

}  // namespace sentrel
