#pragma once
// Message boxes of the program: English texts, the application title as caption.

#include <cstddef>
#include <string>

#include <windows.h>

namespace sentrel::ui {

inline constexpr const char* kApplicationTitle = "Sentrel 4";

// The detail of an error for a message box: what a damaged file put into it (any bytes) is
// shown as readable characters only (letters of any script kept; control characters and bytes
// that are not UTF-8 each run shown as one '?'), and a detail longer than `maxLength`
// characters is cut with "...".
std::string ReadableDetail(const std::string& detail, std::size_t maxLength = 200);

void ShowError(const std::string& text, HWND owner = nullptr);
void ShowInformation(const std::string& text, HWND owner = nullptr);

}  // namespace sentrel::ui
