#pragma once
// Texts between the program's byte strings (the system code page) and the wide strings that some
// Windows interfaces take (WinHTTP, GDI+, reparse data).

#include <string>
#include <string_view>

namespace sentrel::platform {

std::wstring WideFromAnsi(std::string_view text);
std::string AnsiFromWide(std::wstring_view text);

// Between UTF-8 and UTF-16 whatever the process's code page is.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace sentrel::platform
