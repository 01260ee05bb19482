#pragma once
// Message boxes of the program: English texts, the application title as caption.

#include <cstddef>
#include <string>

#include <windows.h>

namespace sentrel::ui {

inline constexpr const char* kApplicationTitle = "Sentrel 4";

// The detail of an error for a message box: what a damaged file or a hostile name put into it
// (any bytes) is shown made safe, as every name from outside is (common/SafeDisplayText.h), and
// cut to `maxLength` characters.
std::string ReadableDetail(const std::string& detail, std::size_t maxLength = 200);

void ShowError(const std::string& text, HWND owner = nullptr);
void ShowInformation(const std::string& text, HWND owner = nullptr);

}  // namespace sentrel::ui
