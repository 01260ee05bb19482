// The texts of the warnings: alert title, description, picture, danger suffix and the line of
// the undo list. Where a class keeps its description, picture or danger in a field, GetTitle
// computes and stores them and the getters return the fields, so they are empty until the
// first GetTitle; the other texts are constants or computed by their getter on every call.
#include <memory>
#include <stdexcept>
#include <string>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "warnings/Warning.h"
#include "warnings/WarningServices.h"

namespace sentrel {

namespace {

constexpr const char* kKnownProgramTitle = "Known malicious program";
constexpr const char* kBug = "bug";
constexpr const char* kWhat = "what";
constexpr const char* kGarbage = "garbage";
constexpr const char* kRed = "_red";

// RootName + "\" + Key + Value, as the registry-entry texts name an entry; a key of the 32-bit
// view as the registry editor shows it ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\...").
std::string EntryPath(const TAutorunAddWarning& warning) {
    return RootKeyName(warning.RootKey) + "\\" + ViewKeyPath(warning.Key, warning.View) + warning.Value;
}

}  // namespace

// --- Hooks ---

std::string TKeyHookWarning::GetTitle() {
    return "Keyboard hook";
}

std::string TKeyHookWarning::GetDescription() {
    return "Keyboard hook is found! Hook was created by " + Name +
           " Click Shield Me to block this hook and close this program";
}

std::string TKeyHookWarning::GetPicture() {
    return kBug;
}

std::string TKeyHookWarning::GetDanger() {
    return kRed;
}

std::string TKeyHookWarning::GetBackupStr() {
    // Its fix makes no backup record, so there is no line for the undo list.
    throw std::logic_error("TKeyHookWarning makes no backup and has no backup line");
}

std::string TMouseHookWarning::GetTitle() {
    return "Mouse hook";
}

std::string TMouseHookWarning::GetDescription() {
    return "Mouse hook is found! Hook was created by " + Name +
           ". Click Shield Me to block this hook and close this program";
}

std::string TMouseHookWarning::GetPicture() {
    return kBug;
}

std::string TMouseHookWarning::GetDanger() {
    return kRed;
}

std::string TMouseHookWarning::GetBackupStr() {
    throw std::logic_error("TMouseHookWarning makes no backup and has no backup line");
}

// --- Processes and files ---

std::string TProcessWarning::GetTitle() {
    Description = "Malicious program is found in processes: " + Name;
    Picture = kBug;
    Danger = kRed;
    return kKnownProgramTitle;
}

std::string TProcessWarning::GetDescription() {
    return Description;
}

std::string TProcessWarning::GetPicture() {
    return Picture;
}

std::string TProcessWarning::GetDanger() {
    return Danger;
}

std::string TProcessWarning::GetBackupStr() {
    return "Program " + Name + " was deleted from processes";
}

std::string TFileWarning::GetTitle() {
    Description = "Malicious file is found in system folder: " + Name + ".";
    Picture = kBug;
    Danger = kRed;
    return kKnownProgramTitle;
}

std::string TFileWarning::GetDescription() {
    return Description;
}

std::string TFileWarning::GetPicture() {
    return Picture;
}

std::string TFileWarning::GetDanger() {
    return Danger;
}

std::string TFileWarning::GetBackupStr() {
    return "Program " + Name + " was deleted from system folder";
}

std::string TFileChangeWarning::GetTitle() {
    return "Critical change in the system folder";
}

std::string TFileChangeWarning::GetDescription() {
    return "File " + Name +
           " was deleted from the system folder by unknown program. This file can be system-critical. To restore "
           "it from Windows distribution click Shield Me. Warning! This will start Windows Integrity Check process.";
}

std::string TFileChangeWarning::GetPicture() {
    return kWhat;
}

std::string TFileChangeWarning::GetDanger() {
    return {};
}

// --- Registry ---

std::string TAutorunAddWarning::GetTitle() {
    std::string title = "Change in autorun list";
    Description = "Unidentified program " + Name + " was added to the autorun list";
    Picture = kWhat;
    const WarningServices& services = GetWarningServices();
    bool known = false;
    try {
        known = services.isKnownSpywareFile && services.isKnownSpywareFile(RegString);
    } catch (const std::exception&) {
        LogCaught("warning texts lookup");
        // A lookup that fails (a damaged database row, a file that cannot be read) must not
        // silence the warning: the user is still asked, with the texts of an unknown program.
    }
    if (known) {
        title = kKnownProgramTitle;
        Description = "Malicious program is found in autorun: " + Name + ".";
        Picture = kBug;
        Danger = kRed;
        // The program file itself goes as well; the queue keeps a second copy out when the
        // title is asked again.
        if (services.queueWarning && FileExists(RegString))
            services.queueWarning(std::make_unique<TFileWarning>(FileNamePart(RegString), RegString));
    }
    // Danger is never cleared: a warning once known stays red.
    return title;
}

std::string TAutorunAddWarning::GetDescription() {
    return Description;
}

std::string TAutorunAddWarning::GetPicture() {
    return Picture;
}

std::string TAutorunAddWarning::GetDanger() {
    return Danger;
}

std::string TAutorunAddWarning::GetBackupStr() {
    return "Program " + Name + " was deleted from the autorun list";
}

std::string TBrowserSettingWarning::GetTitle() {
    Description = "Important system parameter was changed: " + Value + " to " + NewRegString + ". " +
                  "There was an attempt to change " + Value +
                  " . Click Shield me to deny this change or Ignore to permit it.";
    return "System parameter is changed";
}

std::string TBrowserSettingWarning::GetDescription() {
    return Description;
}

std::string TBrowserSettingWarning::GetPicture() {
    return kGarbage;
}

std::string TBrowserSettingWarning::GetDanger() {
    return {};
}

std::string TBrowserSettingWarning::GetBackupStr() {
    return "Important system parameter was changed: " + Value + " to " + NewRegString;
}

std::string TRegistyWarning::GetTitle() {
    Description = "Malicious registry entry " + EntryPath(*this);
    return "Dangerous registry entry was found";
}

std::string TRegistyWarning::GetDescription() {
    return Description;
}

std::string TRegistyWarning::GetPicture() {
    return kBug;
}

std::string TRegistyWarning::GetDanger() {
    return kRed;
}

std::string TRegistyWarning::GetBackupStr() {
    return "Registry entry " + EntryPath(*this) + " was deleted";
}

// --- Cookies and folders ---

std::string TCookieWarning::GetTitle() {
    Description = "Tracking cookie " + Name + " is recognised";
    return "Tracking cookie was found!";
}

std::string TCookieWarning::GetDescription() {
    return Description;
}

std::string TCookieWarning::GetPicture() {
    return kBug;
}

std::string TCookieWarning::GetDanger() {
    return {};
}

std::string TCookieWarning::GetBackupStr() {
    return "Restore tracking cookie " + Name;
}

std::string TFolderWarning::GetTitle() {
    Description = "Folder of malicious software " + FolderPath + " was recognised";
    return "Malicious folder is found!";
}

std::string TFolderWarning::GetDescription() {
    return Description;
}

std::string TFolderWarning::GetPicture() {
    return kBug;
}

std::string TFolderWarning::GetDanger() {
    return kRed;
}

std::string TFolderWarning::GetBackupStr() {
    return "Folder of malicious software " + FolderPath + " was deleted";
}

}  // namespace sentrel
