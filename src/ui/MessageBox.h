#pragma once
// Message boxes of the program: English texts, the application title as caption.

#include <string>

#include <windows.h>

namespace sentrel::ui {

inline constexpr const char* kApplicationTitle = "Sentrel 4";

void ShowError(const std::string& text, HWND owner = nullptr);
void ShowInformation(const std::string& text, HWND owner = nullptr);

}  // namespace sentrel::ui
