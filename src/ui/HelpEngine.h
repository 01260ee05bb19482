#pragma once
// The HTML Help engine, found as Windows registers it: the library named by the default value of
// the HTML Help control's InprocServer32 key under HKEY_CLASSES_ROOT. It is loaded once and its
// "HtmlHelpW" serves every help request; without it the program says that help is missing.

#include <optional>
#include <string>

#include <windows.h>

namespace sentrel::ui {

inline constexpr const char* kHtmlHelpServerKey = "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32";

class HelpEngine {
public:
    HelpEngine() = default;
    HelpEngine(const HelpEngine&) = delete;
    HelpEngine& operator=(const HelpEngine&) = delete;
    ~HelpEngine();

    // The engine's library as the registry names it (environment variables expanded), when the
    // value is there and names an existing file.
    static std::optional<std::string> FindLibrary();

    // Looks the engine up and loads it; false when there is none.
    bool Load();
    bool Loaded() const noexcept { return htmlHelp_ != nullptr; }

    // Opens a topic ("C:\...\Help.chm::/Source\...\Page.htm") owned by `owner`; the help
    // window, or null when the engine could not open it.
    HWND DisplayTopic(HWND owner, const std::string& address) const;
    // Closes every help window the program opened.
    void CloseAll() const;

private:
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

    HMODULE library_ = nullptr;
    HtmlHelpFunction htmlHelp_ = nullptr;
};

}  // namespace sentrel::ui
