#include <windows.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/StoredText.h"
#include "common/SystemErrorWin.h"
#include "common/Utf8Text.h"

namespace sentrel {

namespace {

constexpr unsigned kFallbackCodePage = 1252;

unsigned AskSystemLocale() {
    DWORD codePage = 0;
    const int got = GetLocaleInfoEx(LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                    reinterpret_cast<LPWSTR>(&codePage), sizeof(codePage) / sizeof(WCHAR));
    // A locale with no ANSI code page of its own (Unicode-only locales) answers 0 or CP_UTF8:
    // the older program could not have stored text in those.
    if (got == 0 || codePage == 0 || codePage == CP_UTF8 || !IsValidCodePage(codePage)) return kFallbackCodePage;
    return codePage;
}

}  // namespace

unsigned LegacyCodePage() {
    static const unsigned codePage = AskSystemLocale();
    return codePage;
}

std::string Utf8FromCodePage(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) return {};
    if (bytes.size() > INT_MAX / 2) throw std::length_error("text too long to convert");
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        throw std::runtime_error("text in code page " + std::to_string(codePage) +
                                 " cannot be read: " + SystemErrorText(GetLastError()));
    }
    std::vector<wchar_t> wide(static_cast<std::size_t>(length));
    MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), length);
    std::string units(wide.size() * sizeof(wchar_t), '\0');
    std::memcpy(units.data(), wide.data(), units.size());
    return Utf8FromUtf16Le(units);
}

}  // namespace sentrel
