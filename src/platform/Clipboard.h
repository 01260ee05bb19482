#pragma once
// The clipboard: text put there as Unicode, for the user to paste elsewhere.

#include <string>

#include <windows.h>

namespace sentrel::platform {

// Puts `text` (UTF-8) on the clipboard in place of what was there; `owner` is the window that
// owns it. Throws Win32Error when the clipboard cannot be opened or written.
void CopyTextToClipboard(HWND owner, const std::string& text);

// The clipboard's Unicode text as UTF-8; empty when it holds none.
std::string ClipboardText(HWND owner);

}  // namespace sentrel::platform
