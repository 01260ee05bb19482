#include "ui/TrayIcon.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

namespace sentrel::ui {

namespace {
constexpr UINT kIconId = 1;
}

NOTIFYICONDATAA TrayIcon::Data(UINT flags) const {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = owner_;
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = icon_;
    const std::size_t length = std::min(tip_.size(), sizeof data.szTip - 1);
    std::memcpy(data.szTip, tip_.data(), length);
    return data;
}

bool TrayIcon::Add(HWND owner, UINT callbackMessage, HICON icon, const std::string& tip) {
    owner_ = owner;
    callbackMessage_ = callbackMessage;
    icon_ = icon;
    tip_ = tip;
    return Readd();
}

bool TrayIcon::Readd() {
    if (!owner_) return false;
    NOTIFYICONDATAA data = Data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    // After an Explorer restart the old icon is gone; a NIM_ADD of an icon the shell still has
    // fails, so a modify keeps it.
    added_ = Shell_NotifyIconA(NIM_ADD, &data) != FALSE || Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
    return added_;
}

void TrayIcon::SetTip(const std::string& tip) {
    tip_ = tip;
    if (!added_) return;
    NOTIFYICONDATAA data = Data(NIF_TIP);
    if (!Shell_NotifyIconA(NIM_MODIFY, &data)) Readd();
}

bool TrayIcon::ShowBalloon(const std::string& title, const std::string& text) {
    if (!added_) return false;
    NOTIFYICONDATAA data = Data(NIF_INFO);
    const auto copy = [](char* target, std::size_t size, const std::string& source) {
        const std::size_t length = std::min(source.size(), size - 1);
        std::memcpy(target, source.data(), length);
        target[length] = '\0';
    };
    copy(data.szInfo, sizeof data.szInfo, text);
    copy(data.szInfoTitle, sizeof data.szInfoTitle, title);
    data.dwInfoFlags = NIIF_INFO;
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void TrayIcon::Remove() {
    if (!added_) return;
    NOTIFYICONDATAA data = Data(0);
    Shell_NotifyIconA(NIM_DELETE, &data);
    added_ = false;
}

UINT TrayIcon::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

}  // namespace sentrel::ui
