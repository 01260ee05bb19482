// What the main window's buttons and the tray menu do beyond choosing a level: showing and
// hiding the window, the two ways of closing the shield, help, the maker's scanner and the
// database reminder.
#include <windows.h>
#include <shellapi.h>

#include "common/DiagnosticLog.h"
#include "config/Options.h"
#include "config/SystemClock.h"
#include "core/Reminder.h"
#include "platform/Registry.h"
#include "ui/ClosingForm.h"
#include "ui/MainForm.h"
#include "ui/MessageBox.h"
#include "ui/SplashForm.h"

namespace sentrel::ui {

namespace {

constexpr const char* kCloseActionKey = "CloseAction";
constexpr const char* kMinimizeWarningKey = "MinimizeWarning";
constexpr const char* kRemindPeriodKey = "RemindPeriod";
constexpr const char* kLastRemindKey = "LastRemind";

constexpr const char* kCloseConfirmation =
    "Please note that you will not be safe from spyware, adware and trojans when Sentrel is not active. Are you "
    "really sure to close it? ";
constexpr const char* kMinimizeMessage =
    "Now Sentrel will be minimized into the system tray icon.\r\nTo show it next time you should simply click on a "
    "small Sentrel's icon in the system tray near the clock\r\nIf you click on Sentrel's tray icon with right mouse "
    "button, you'll see the context menu with possible actions";
constexpr const char* kNoHelpMessage =
    "Sorry, but your system doesn't support HTMLHelp.\rPlease, consult our support in order to solve this problem. ";
constexpr const char* kNoHelpKeyMessage =
    "Sorry, but your system doesn't support HTMlHelp.\rPlease, consult our support in order to solve this problem.";

constexpr const char* kScannerKey = "SOFTWARE\\Brannock\\Talvex 4";
constexpr const char* kScannerPathValue = "FilePath";
constexpr const char* kScannerCorrupted = "Path to Talvex's executable is corrupted! Please, reinstall Talvex.";

}  // namespace

void TMainForm::ToggleMainWindow() {
    if (IsWindowVisible(Handle()) && !IsIconic(Handle())) {
        My_Minimize();
        return;
    }
    ShowMainWindow();
}

void TMainForm::ShowMainWindow() {
    ShowWindow(Handle(), SW_SHOWNORMAL);
    SetForegroundWindow(Handle());
}

void TMainForm::My_Minimize() {
    // Hidden, the window has no taskbar button; the tray icon brings it back.
    ShowWindow(Handle(), SW_HIDE);
}

bool TMainForm::Confirm(const std::string& text) const {
    return MessageBoxA(Handle(), text.c_str(), kApplicationTitle, MB_YESNO | MB_ICONQUESTION) != IDNO;
}

void TMainForm::exit1Click() {
    if (options_->ReadInteger(kCloseActionKey, 1) == kCloseNow) {
        const int result = closingForm_->ShowModalOver(Handle());
        if (result == kCloseCancelled) return;
        // The third choice has told the program to end already.
        options_->WriteInteger(kCloseActionKey, result);
    }
    if (options_->ReadInteger(kCloseActionKey, 1) == kAlwaysClose) {
        if (Confirm(kCloseConfirmation)) callbacks_.terminate();
        return;
    }
    if (options_->ReadInteger(kCloseActionKey, 1) == kAlwaysMinimize) ToggleMainWindow();
}

void TMainForm::Exit2Click() {
    if (Confirm(kCloseConfirmation)) callbacks_.terminate();
}

void TMainForm::miniClick() {
    if (!options_->ReadBool(kMinimizeWarningKey, false)) {
        options_->WriteBool(kMinimizeWarningKey, true);
        MessageBoxA(Handle(), kMinimizeMessage, kApplicationTitle, MB_OK | MB_ICONINFORMATION);
    }
    ToggleMainWindow();
}

void TMainForm::ShowHelp(bool fromKeyboard) {
    if (help_ && help_->Loaded()) {
        help_->DisplayTopic(Handle(), helpFile_ + kIntroductionTopic);
        return;
    }
    MessageBoxA(Handle(), fromKeyboard ? kNoHelpKeyMessage : kNoHelpMessage, kApplicationTitle, MB_OK);
}

void TMainForm::scanerClick() {
    std::optional<std::string> path;
    bool installed = false;
    try {
        // A key that is there but cannot be opened (its rights, a damaged hive) is as unreadable
        // as a value of another type.
        auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kScannerKey);
        installed = key.has_value();
        if (installed) path = key->ReadString(kScannerPathValue);
    } catch (const std::exception&) {
        LogCaught("scanner path");
        // The scanner's own installation is damaged.
        MessageBoxA(Handle(), kScannerCorrupted, kApplicationTitle, MB_OK | MB_ICONERROR);
        return;
    }
    if (!installed || !path || path->empty()) {
        splashForm_->Present(Handle());
        return;
    }
    ShellExecuteA(Handle(), nullptr, path->c_str(), nullptr, nullptr, SW_SHOWNOACTIVATE);
}

void TMainForm::FormShow() {
    if (reminderDone_ || !hasFace_ || !IsWindowVisible(Handle())) return;
    reminderDone_ = true;
    const int days = RemindPeriodDays(options_->ReadInteger(kRemindPeriodKey, 2));
    if (days == 0) return;
    const TDateTime now = CurrentDateTime();
    if (!IsReminderDue(now, options_->ReadDateTime(kLastRemindKey, now), days)) return;
    const int answer = MessageBoxA(Handle(), kReminderText, kApplicationTitle, MB_YESNO | MB_ICONWARNING);
    options_->WriteDateTime(kLastRemindKey, CurrentDateTime());
    if (answer == IDYES) callbacks_.showUpdateWizard(true);
}

}  // namespace sentrel::ui
