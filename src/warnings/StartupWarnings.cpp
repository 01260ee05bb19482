#include "warnings/StartupWarnings.h"

#include <utility>

#include "common/SafeDisplayText.h"

namespace sentrel {

namespace {

// The last part of a path ("a.lnk" of "C:\x\a.lnk", "Name" of "\Folder\Name").
std::string LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A command as the texts show it: quoted, or "no program" where there was none.
std::string ShownCommand(const std::string& command) {
    return command.empty() ? "no program" : Quoted(ShownPath(command));
}

}  // namespace

StartupFileWarning::StartupFileWarning(std::string pointId, std::string pointName, std::string filePath,
                                         std::string command)
    : StartupFileWarning(kClassName, std::move(pointId), std::move(pointName), std::move(filePath), std::move(command)) {}

StartupFileWarning::StartupFileWarning(std::string_view className, std::string pointId, std::string pointName,
                                       std::string filePath, std::string command)
    : TWarning(ShieldWarningKind(className), LastPart(filePath)),
      PointId(std::move(pointId)),
      PointName(std::move(pointName)),
      FilePath(std::move(filePath)),
      Command(std::move(command)) {}

BrowserShortcutWarning::BrowserShortcutWarning(std::string pointId, std::string pointName, std::string filePath,
                                               std::string command)
    : StartupFileWarning(kClassName, std::move(pointId), std::move(pointName), std::move(filePath), std::move(command)) {
    Changed = true;
}

bool StartupFileWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const StartupFileWarning*>(&other);
    return same && same->FilePath == FilePath && same->Command == Command && same->Changed == Changed &&
           same->OldCommand == OldCommand;
}

ScheduledTaskWarning::ScheduledTaskWarning(std::string pointId, std::string taskPath, std::string command)
    : TWarning(ShieldWarningKind(kClassName), LastPart(taskPath)),
      PointId(std::move(pointId)),
      TaskPath(std::move(taskPath)),
      Command(std::move(command)) {}

bool ScheduledTaskWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const ScheduledTaskWarning*>(&other);
    return same && same->TaskPath == TaskPath && same->Command == Command && same->Changed == Changed &&
           same->OldCommand == OldCommand;
}

std::string ShortcutSetBackAdvice(const StartupFileWarning& warning) {
    const ShortcutLink old = ShortcutOfRaw(warning.OldRaw).value_or(ShortcutLink{});
    return "As an administrator, open the shortcut " + ShownPath(warning.FilePath) + " and set its target back to " +
           Quoted(ShownPath(old.target)) +
           (old.arguments.empty() ? " with no arguments."
                                  : " and its arguments to " + Quoted(ShownPath(old.arguments)) + ".");
}

std::string TaskSetBackAdvice(const ScheduledTaskWarning& warning) {
    const std::vector<TaskAction> old = TaskActionsOfRaw(warning.OldRaw).value_or(std::vector<TaskAction>{});
    std::string actions;
    for (const TaskAction& action : old) {
        if (!actions.empty()) actions += "; then ";
        actions += "the program " + Quoted(ShownPath(action.program)) + " with the arguments " +
                   Quoted(ShownPath(action.arguments)) + ", started in " + Quoted(ShownPath(action.folder));
    }
    return "As an administrator, open the scheduled task " + ShownPath(warning.TaskPath) +
           " in the Task Scheduler and set its actions back to: " + (actions.empty() ? "none" : actions) + ".";
}

namespace texts {

namespace {

WarningTexts ChangedShortcutTexts(const StartupFileWarning& warning) {
    const std::string name = ShownName(warning.Name);
    const std::string point = ShownName(warning.PointName);
    const std::string before = ShownCommand(warning.OldCommand);
    const std::string where = " (the file " + name + " in " + ShownPath(FolderOf(warning.FilePath)) + ")";
    const std::string backupLine = "Shortcut " + name + " was put back to " + before;
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is found in " + point + ": " + ShownPath(warning.Command) + where +
                               "; the shortcut started " + before + " before.",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = ShownPath(warning.FilePath)};
    }
    return {.title = "Startup shortcut is changed",
            .description = "The shortcut " + name + " in " + point + " was changed: it started " + before +
                           " before and starts " + ShownCommand(warning.Command) + " now" + where +
                           ". Click Shield me to put its old target back or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = backupLine,
            .identity = ShownPath(warning.FilePath)};
}

WarningTexts ChangedTaskTexts(const ScheduledTaskWarning& warning) {
    const std::string task = ShownPath(warning.TaskPath);
    const std::string before = ShownCommand(warning.OldCommand);
    const std::string backupLine = "Scheduled task " + task + " was put back to " + before;
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is started by the scheduled task " + task + ", which runs " +
                               ShownPath(warning.Command) + " now (it ran " + before + " before).",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = task};
    }
    return {.title = "Scheduled task is changed",
            .description = "The scheduled task " + task + " was changed: it ran " + before + " before and runs " +
                           ShownCommand(warning.Command) +
                           " now. Click Shield me to put its old action back or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = backupLine,
            .identity = task};
}

}  // namespace

WarningTexts StartupFileTexts(const TWarning& found) {
    const auto& warning = WarningAs<StartupFileWarning>(found);
    if (warning.Changed) return ChangedShortcutTexts(warning);
    const std::string name = ShownName(warning.Name);
    const std::string point = ShownName(warning.PointName);
    const std::string command = ShownPath(warning.Command);
    const std::string where = " (the file " + name + " in " + ShownPath(FolderOf(warning.FilePath)) + ")";
    const std::string backupLine = "File " + name + " was moved out of " + point;
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is found in " + point + ": " + command + where + ".",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = ShownPath(warning.FilePath)};
    }
    return {.title = "New startup program",
            .description = "A program was added to " + point + ": " + command + where +
                           ". Click Shield me to remove it or Ignore to permit it.",
            .picture = "what",
            .backupLine = backupLine,
            .identity = ShownPath(warning.FilePath)};
}

WarningTexts BrowserShortcutTexts(const TWarning& found) {
    const auto& warning = WarningAs<BrowserShortcutWarning>(found);
    const std::string name = ShownName(warning.Name);
    const std::string where = ShownName(warning.PointName);
    const std::string how = warning.NewShortcut ? "A new shortcut " : "The shortcut ";
    const std::string before = warning.NewShortcut ? std::string() : " (it started " + ShownCommand(warning.OldCommand) + " before)";
    return {.title = "Browser shortcut starts more",
            .description = how + name + " in " + where + " starts the browser so that it " +
                           ShownName(warning.Concerns) + ": " + ShownCommand(warning.Command) + before +
                           ". Click Shield me to take this away from the shortcut or Ignore to permit it.",
            .picture = "what",
            .backupLine = "Shortcut " + name + " was put back to " + ShownCommand(warning.OldCommand),
            .identity = ShownPath(warning.FilePath)};
}

WarningTexts ScheduledTaskTexts(const TWarning& found) {
    const auto& warning = WarningAs<ScheduledTaskWarning>(found);
    if (warning.Changed) return ChangedTaskTexts(warning);
    // Where the system gives no command (Wine keeps no actions), the task is named alone.
    const std::string runs = warning.Command.empty() ? std::string() : ", which runs " + ShownPath(warning.Command);
    const std::string task = ShownPath(warning.TaskPath);
    const std::string backupLine = "Scheduled task " + task + " was deleted";
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is started by the scheduled task " + task + runs + ".",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = task};
    }
    return {.title = "New scheduled task",
            .description = "A scheduled task was added: " + task + runs +
                           ". Click Shield me to remove it or Ignore to permit it.",
            .picture = "what",
            .backupLine = backupLine,
            .identity = task};
}

}  // namespace texts
}  // namespace sentrel
