#pragma once
// The program's text is UTF-8; some Windows interfaces take or return UTF-16 (the wide "W"
// functions, WinHTTP, GDI+, reparse data). These convert between the two with CP_UTF8 whatever
// the process's code page. Invalid input never fails: a byte that is not part of a valid UTF-8
// sequence, and a lone surrogate, become U+FFFD.

#include <string>
#include <string_view>

namespace sentrel::platform {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// A zero-terminated wide text in a fixed buffer (a Win32 structure's field), up to its zero.
template <std::size_t N>
std::string Utf8FromWideField(const wchar_t (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != L'\0') ++length;
    return Utf8FromWide(std::wstring_view(field, length));
}

}  // namespace sentrel::platform
