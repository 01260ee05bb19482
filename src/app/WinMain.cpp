#include <windows.h>

#include <algorithm>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "app/Application.h"
#include "common/DiagnosticLog.h"
#include "monitors/WmiBitsSources.h"
#include "ui/MessageBox.h"

namespace {

// The program keeps every name as UTF-8 and the manifest asks Windows for that code page;
// Windows before 10 version 1903 ignores the request, and the program would see a '?' in place of
// any letter outside the system's own code page, blind to such files and registry entries.
constexpr const char* kNeedsNewerWindows =
    "Sentrel 4 needs Windows 10 version 1903 or later.\n\n"
    "This version of Windows cannot give Sentrel 4 the names of files and registry entries written in "
    "every language, so the shield could not see or remove some threats.\n\n"
    "Please update Windows (Settings, Update & Security, Windows Update), then start Sentrel 4 again.";

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The switches of the elevated copy that earlier versions started for a fix: this version
    // never acts with an administrator's rights, so such a start ends at once, touching nothing.
    if (const std::string_view line = GetCommandLineA();
        line.find(" /ElevatedFix") != std::string_view::npos || line.find(" /ElevatedUndo") != std::string_view::npos)
        return 2;
    // The helper that lists WMI subscriptions or BITS jobs for the shield, writing them to its
    // standard output (monitors/WmiBitsSources.h): no window, no settings, no log.
    if (const std::string_view line = GetCommandLineA(); line.find(sentrel::kListingSwitch) != std::string_view::npos) {
        const std::string_view word = line.substr(line.find(sentrel::kListingSwitch) + sentrel::kListingSwitch.size());
        return sentrel::WriteListingToStandardOutput(word.substr(std::min(word.find_first_not_of(' '), word.size())));
    }
    if (GetACP() != CP_UTF8) {
        // Before anything is read or written: no settings, no log.
        sentrel::ui::ShowError(kNeedsNewerWindows);
        return 1;
    }
    try {
        sentrel::Application application;
        return application.Run();
    } catch (const std::exception& error) {
        sentrel::LogCaught("start-up");
        // Only start-up and teardown can get here; every event handler has its own catch-all.
        sentrel::ui::ShowError(std::string("Sentrel 4 could not start: ") + error.what());
        return 1;
    }
}
