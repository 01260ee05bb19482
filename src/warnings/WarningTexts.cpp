// The texts of the warnings: alert title, description, picture, danger suffix and the line of
// the undo list, each made from the warning's data alone.
#include "warnings/WarningTexts.h"

#include <string>

#include "common/SafeDisplayText.h"
#include "warnings/Warning.h"

namespace sentrel::texts {

namespace {

constexpr const char* kKnownProgramTitle = "Known malicious program";
constexpr const char* kBug = "bug";
constexpr const char* kWhat = "what";
constexpr const char* kGarbage = "garbage";
constexpr const char* kRed = "_red";

// RootName + "\" + Key + Value, as the registry-entry texts name an entry (their keys keep a
// trailing separator); a key without one gets it before the value's name. A key of the 32-bit
// view as the registry editor shows it ("HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\...").
std::string EntryPath(const TAutorunAddWarning& warning) {
    std::string key = ViewKeyPath(warning.Key, warning.View);
    if (!warning.Value.empty() && !key.empty() && key.back() != '\\') key += '\\';
    return ShownPath(RootKeyName(warning.RootKey) + "\\" + key + warning.Value);
}

}  // namespace

// --- Hooks: their fixes make no backup record, so there is no line for the undo list ---

WarningTexts KeyHookTexts(const TWarning& warning) {
    return {.title = "Keyboard hook",
            .description = "Keyboard hook is found! Hook was created by " + ShownName(warning.Name) +
                           " Click Shield Me to block this hook and close this program",
            .picture = kBug,
            .danger = kRed};
}

WarningTexts MouseHookTexts(const TWarning& warning) {
    return {.title = "Mouse hook",
            .description = "Mouse hook is found! Hook was created by " + ShownName(warning.Name) +
                           ". Click Shield Me to block this hook and close this program",
            .picture = kBug,
            .danger = kRed};
}

// --- Processes and files ---

WarningTexts ProcessTexts(const TWarning& found) {
    const auto& warning = WarningAs<TProcessWarning>(found);
    const std::string name = ShownName(warning.Name);
    return {.title = kKnownProgramTitle,
            .description = "Malicious program is found in processes: " + name,
            .picture = kBug,
            .danger = kRed,
            .backupLine = "Program " + name + " was deleted from processes",
            .identity = ShownPath(warning.FilePath)};
}

WarningTexts FileTexts(const TWarning& found) {
    const auto& warning = WarningAs<TFileWarning>(found);
    const std::string name = ShownName(warning.Name);
    return {.title = kKnownProgramTitle,
            .description = "Malicious file is found in system folder: " + name + ".",
            .picture = kBug,
            .danger = kRed,
            .backupLine = "Program " + name + " was deleted from system folder",
            .identity = ShownPath(warning.FilePath)};
}

WarningTexts FileChangeTexts(const TWarning& found) {
    const auto& warning = WarningAs<TFileChangeWarning>(found);
    return {.title = "Critical change in the system folder",
            .description = "File " + ShownName(warning.Name) +
                           " was deleted from the system folder by unknown program. This file can be "
                           "system-critical. To restore it from Windows distribution click Shield Me. Warning! "
                           "This will start Windows Integrity Check process.",
            .picture = kWhat,
            .backupLine = FileTexts(warning).backupLine,
            .identity = ShownPath(warning.FilePath + warning.Name)};
}

// --- Registry ---

WarningTexts AutorunTexts(const TWarning& found) {
    const auto& warning = WarningAs<TAutorunAddWarning>(found);
    const std::string name = ShownName(warning.Name);
    WarningTexts texts{.backupLine = "Program " + name + " was deleted from the autorun list",
                       .identity = EntryPath(warning)};
    if (warning.KnownProgram) {
        texts.title = kKnownProgramTitle;
        texts.description = "Malicious program is found in autorun: " + name + ".";
        texts.picture = kBug;
        texts.danger = kRed;
    } else {
        texts.title = "Change in autorun list";
        texts.description = "Unidentified program " + name + " was added to the autorun list";
        texts.picture = kWhat;
    }
    return texts;
}

WarningTexts BrowserSettingTexts(const TWarning& found) {
    const auto& warning = WarningAs<TBrowserSettingWarning>(found);
    const std::string value = ShownName(warning.Value);
    const std::string newData = ShownPath(warning.NewRegString);
    return {.title = "System parameter is changed",
            .description = "Important system parameter was changed: " + value + " to " + newData + ". " +
                           "There was an attempt to change " + value +
                           " . Click Shield me to deny this change or Ignore to permit it.",
            .picture = kGarbage,
            .backupLine = "Important system parameter was changed: " + value + " to " + newData,
            .identity = EntryPath(warning)};
}

WarningTexts RegistryEntryTexts(const TWarning& found) {
    const auto& warning = WarningAs<TRegistyWarning>(found);
    return {.title = "Dangerous registry entry was found",
            .description = "Malicious registry entry " + EntryPath(warning),
            .picture = kBug,
            .danger = kRed,
            .backupLine = "Registry entry " + EntryPath(warning) + " was deleted",
            .identity = EntryPath(warning)};
}

// --- Cookies and folders ---

WarningTexts CookieTexts(const TWarning& warning) {
    const std::string name = ShownName(warning.Name);
    return {.title = "Tracking cookie was found!",
            .description = "Tracking cookie " + name + " is recognised",
            .picture = kBug,
            .backupLine = "Restore tracking cookie " + name};
}

WarningTexts FolderTexts(const TWarning& found) {
    const auto& warning = WarningAs<TFolderWarning>(found);
    const std::string folder = ShownPath(warning.FolderPath);
    return {.title = "Malicious folder is found!",
            .description = "Folder of malicious software " + folder + " was recognised",
            .picture = kBug,
            .danger = kRed,
            .backupLine = "Folder of malicious software " + folder + " was deleted",
            .identity = folder};
}

}  // namespace sentrel::texts
