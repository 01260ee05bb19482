#pragma once
// Text files saved as "Unicode" by Notepad: UTF-16 little-endian after a byte-order mark. The
// Windows profile functions read such INI files, so the program reads them too and writes them
// back in the encoding they have. The program itself works in the system code page (Windows) or
// UTF-8 (elsewhere); these convert between that and UTF-16 LE code units held as bytes.

#include <string>
#include <string_view>

namespace sentrel {

inline constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";

// UTF-16 LE units (two bytes each; an odd last byte is ignored) to the program's text. A
// character the system code page lacks becomes the code page's default character.
std::string SystemTextFromUtf16Le(std::string_view units);

// The program's text to UTF-16 LE units.
std::string Utf16LeFromSystemText(std::string_view text);

}  // namespace sentrel
