#pragma once
// The warnings of two autostart sources that are no registry keys (monitors/StartupSources.h):
// a file new in a Startup folder or a shortcut there that starts something else now, and a new
// scheduled task or one whose actions changed.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/AutostartEntryData.h"
#include "warnings/Warning.h"

namespace sentrel {

// A file new in a Startup folder, or (Changed) a shortcut there whose target or arguments
// changed. Name is the file's name, FilePath the folder and the name, Command what the file
// starts (a shortcut's target and arguments, else the file itself) and Raw the shortcut's
// ShortcutRaw; OldCommand and OldRaw as the shield knew them before a change.
class StartupFileWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "StartupFileWarning";

    StartupFileWarning(std::string pointId, std::string pointName, std::string filePath, std::string command);
    // True for a StartupFileWarning of the same file starting the same command (and, for a
    // change, having started the same before).
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string PointName;  // "your Startup folder"
    std::string FilePath;
    std::string Command;
    std::string Raw;
    bool Changed = false;
    std::string OldCommand;
    std::string OldRaw;
    bool KnownProgram = false;

protected:
    StartupFileWarning(std::string_view className, std::string pointId, std::string pointName, std::string filePath,
                       std::string command);
};

// A browser shortcut (of the desktop, the Start menu or the taskbar) whose arguments make the
// browser load an extension from a folder, open itself to remote control or open a web page,
// new or added by a change. It is always Changed: OldRaw is what the shortcut is to start (the
// same arguments without those parts for a new one, what it started before for a changed one),
// so that Shield me writes that back and Undo puts the shortcut back byte for byte, as for a
// Startup shortcut. Concerns says what the arguments do beyond what they did.
class BrowserShortcutWarning : public StartupFileWarning {
public:
    static constexpr std::string_view kClassName = "BrowserShortcutWarning";

    BrowserShortcutWarning(std::string pointId, std::string pointName, std::string filePath, std::string command);

    std::string Concerns;  // "loads an extension from a folder and opens a web page"
    bool NewShortcut = false;
};

// A new scheduled task, or (Changed) one whose actions run another program or other arguments
// now. Name is the task's name, TaskPath its path ("\Folder\Name"), Command the command lines of
// its actions (empty where the system gives none) and Raw its TaskActionsRaw; OldCommand and
// OldRaw as the shield knew them before a change.
class ScheduledTaskWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "ScheduledTaskWarning";

    ScheduledTaskWarning(std::string pointId, std::string taskPath, std::string command);
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string TaskPath;
    std::string Command;
    std::string Raw;
    bool Changed = false;
    std::string OldCommand;
    std::string OldRaw;
    bool KnownProgram = false;
};

// What an administrator is to set back for a change the shield may not put back itself (the
// common Startup folder, a task of the machine), in plain words: "As an administrator, ...".
std::string ShortcutSetBackAdvice(const StartupFileWarning& warning);
std::string TaskSetBackAdvice(const ScheduledTaskWarning& warning);

namespace texts {
WarningTexts StartupFileTexts(const TWarning& warning);
WarningTexts BrowserShortcutTexts(const TWarning& warning);
WarningTexts ScheduledTaskTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
