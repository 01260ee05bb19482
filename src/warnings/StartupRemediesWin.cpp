// The fixes and undos of a Startup folder's file and of a scheduled task. The file is moved into
// the record's folder and back to where it was; the task's definition (its XML) is saved in the
// record's folder before the task is deleted, and the undo registers it again from there. Both
// hold the autostart point while they change it and have the monitor accept it after, so their
// own change is not reported. Nothing is ever put over what is there by now: the undo refuses
// and the record stays.
//
// A shortcut whose target or arguments changed gets the old ones written back into it (the
// shortcut as it was found kept in the record's folder, which the undo puts back whole); a task
// whose actions changed gets its old exec actions back through the Task Scheduler (the actions
// as found kept in the record, which the undo puts back). Each acts only while the entry is
// still what was reported, and its undo only while it is still what the fix left.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/ScheduledTasks.h"
#include "platform/StartupFolders.h"
#include "platform/Win32Error.h"
#include "warnings/AdminReadings.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"
#include "warnings/RemediesWin.h"
#include "warnings/StartupWarnings.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr const char* kTaskFileName = "task.xml";
// A changed shortcut's target and arguments as the fix left them (ShortcutRaw); a changed task's
// actions as the fix found them and as it left them (TaskActionsRaw).
constexpr std::string_view kShortcutAfterKey = "ShortcutAfter";
constexpr std::string_view kActionsBeforeKey = "ActionsBefore";
constexpr std::string_view kActionsAfterKey = "ActionsAfter";

// The task at `path` (`what` in the messages); nothing when it is gone.
std::optional<platform::ScheduledTask> ReadTask(const std::string& path, const std::string& what) {
    try {
        return platform::ReadScheduledTask(path);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(what, error.Code(), error.what());
    }
}

ShortcutLink LinkOf(const platform::ShortcutTarget& read) {
    return {read.target, read.arguments};
}

std::vector<TaskAction> ActionsOf(const std::vector<platform::ExecAction>& actions) {
    std::vector<TaskAction> converted;
    for (const platform::ExecAction& action : actions)
        converted.push_back({action.program, action.arguments, action.folder});
    return converted;
}

std::vector<platform::ExecAction> ExecActionsOf(const std::vector<TaskAction>& actions) {
    std::vector<platform::ExecAction> converted;
    for (const TaskAction& action : actions) converted.push_back({action.program, action.arguments, action.folder});
    return converted;
}

[[noreturn]] void ThrowNothingToPutBack(const std::string& what) {
    throw std::runtime_error("Sentrel does not know what " + what + " held before; nothing was changed.");
}

void FixShortcutChange(const StartupFileWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                       const WarningWorkerContext& context) {
    const std::optional<ShortcutLink> reported = ShortcutOfRaw(warning.Raw);
    const std::optional<ShortcutLink> old = ShortcutOfRaw(warning.OldRaw);
    if (!reported || !old) ThrowNothingToPutBack("the shortcut " + warning.FilePath);
    std::optional<std::string> found;
    try {
        found = PlainFileReading(warning.FilePath);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(warning.PointName, error.Code(), error.what());
    }
    if (!found) throw ThreatGoneError("The file " + warning.FilePath + " is no longer there; nothing was changed.");
    if (LinkOf(platform::ReadShortcut(warning.FilePath)) != *reported)
        throw ThreatGoneError("The shortcut " + warning.FilePath +
                              " has changed again since it was found; nothing was changed.");
    WriteFileAtomically(record.folderPath + FileNamePart(warning.FilePath), *found);
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kFilePathKey, warning.FilePath),
                         BackupInteger(kChangeKey, kChangedEntry), BackupString(kShortcutAfterKey, warning.OldRaw)});
    const AutostartPointHold hold(context, warning.PointId, warning.FilePath);
    if (context.markShieldMove) context.markShieldMove(warning.FilePath);
    try {
        platform::RewriteShortcut(warning.FilePath, old->target, old->arguments);
    } catch (const platform::Win32Error& error) {
        LogCaught("shortcut put back");
        if (error.Code() == ERROR_ACCESS_DENIED)
            ThrowSetBackForAdministrator(warning.PointName, ShortcutSetBackAdvice(warning));
        ThrowChangeError(warning.PointName, error.Code(), error.what());
    }
}

void UndoShortcutChange(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kFilePathKey);
    const std::string name = FileNamePart(path);
    const std::optional<ShortcutLink> after = ShortcutOfRaw(record.GetString(kShortcutAfterKey));
    if (path.empty() || !IsPlainFileName(name) || !after)
        throw std::runtime_error("The backup record names no shortcut to put back; nothing was restored");
    const std::string saved = record.folderPath + name;
    if (!FileExists(saved))
        throw std::runtime_error("The saved shortcut " + saved + " is missing; nothing was restored");
    if (!FileExists(path)) throw std::runtime_error("The shortcut " + path + " is gone; nothing was restored");
    if (LinkOf(platform::ReadShortcut(path)) != *after)
        throw std::runtime_error("The shortcut " + path +
                                 " has changed since Sentrel put it back; the saved one was left in the backup");
    const std::string bytes = ReadFileText(saved);
    const AutostartPointHold hold(context, record.GetString(kPointKey), path);
    if (context.markShieldMove) context.markShieldMove(path);
    try {
        platform::ReplaceFileBytes(path, bytes);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(FolderPart(path), error.Code(), error.what());
    }
}

void FixTaskChange(const ScheduledTaskWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                   const WarningWorkerContext& context) {
    const std::string what = "the scheduled task " + warning.TaskPath;
    const std::optional<std::vector<TaskAction>> reported = TaskActionsOfRaw(warning.Raw);
    const std::optional<std::vector<TaskAction>> old = TaskActionsOfRaw(warning.OldRaw);
    if (!reported || !old) ThrowNothingToPutBack(what);
    const std::optional<platform::ScheduledTask> task = ReadTask(warning.TaskPath, what);
    if (!task) throw ThreatGoneError("The scheduled task " + warning.TaskPath + " is gone; nothing was changed.");
    if (ActionsOf(task->actions) != *reported)
        throw ThreatGoneError("The scheduled task " + warning.TaskPath +
                              " has changed again since it was found; nothing was changed.");
    // The whole definition as found, for whoever reads the record by hand.
    WriteFileAtomically(record.folderPath + kTaskFileName, task->xml);
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kTaskKey, warning.TaskPath),
                         BackupInteger(kChangeKey, kChangedEntry), BackupString(kActionsBeforeKey, warning.Raw),
                         BackupString(kActionsAfterKey, warning.OldRaw)});
    const AutostartPointHold hold(context, warning.PointId, warning.TaskPath);
    try {
        platform::SetTaskExecActions(warning.TaskPath, ExecActionsOf(*old));
    } catch (const platform::Win32Error& error) {
        LogCaught("scheduled task put back");
        if (error.Code() == ERROR_ACCESS_DENIED) ThrowSetBackForAdministrator(what, TaskSetBackAdvice(warning));
        ThrowChangeError(what, error.Code(), error.what());
    }
}

void UndoTaskChange(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kTaskKey);
    const std::optional<std::vector<TaskAction>> before = TaskActionsOfRaw(record.GetString(kActionsBeforeKey));
    const std::optional<std::vector<TaskAction>> after = TaskActionsOfRaw(record.GetString(kActionsAfterKey));
    if (platform::SplitTaskPath(path).name.empty() || !before || !after)
        throw std::runtime_error("The backup record names no scheduled task to put back; nothing was restored");
    const std::string what = "the scheduled task " + path;
    const std::optional<platform::ScheduledTask> task = ReadTask(path, what);
    if (!task) throw std::runtime_error("The scheduled task " + path + " is gone; nothing was restored");
    if (ActionsOf(task->actions) != *after)
        throw std::runtime_error("The scheduled task " + path +
                                 " has changed since Sentrel put it back; it was left as it is");
    const AutostartPointHold hold(context, record.GetString(kPointKey), path);
    try {
        platform::SetTaskExecActions(path, ExecActionsOf(*before));
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(what, error.Code(), error.what());
    }
}

}  // namespace

namespace remedies {

void FixStartupFile(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                    const WarningWorkerContext& context) {
    const auto& warning = WarningAs<StartupFileWarning>(found);
    if (warning.Changed) return FixShortcutChange(warning, record, outcome, context);
    if (!FileExists(warning.FilePath))
        throw ThreatGoneError("The file " + warning.FilePath + " is no longer there; nothing was changed.");
    const AutostartPointHold hold(context, warning.PointId);
    MoveOrThrow(context, warning.FilePath, record.folderPath + FileNamePart(warning.FilePath), warning.PointName);
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString(kPointKey, warning.PointId), BackupString(kFilePathKey, warning.FilePath)};
}

void UndoStartupFile(const BackupRecord& record, const WarningWorkerContext& context) {
    if (record.GetInteger(kChangeKey) == kChangedEntry) return UndoShortcutChange(record, context);
    PutMovedFileBack(record, context);
}

void FixScheduledTask(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                      const WarningWorkerContext& context) {
    const auto& warning = WarningAs<ScheduledTaskWarning>(found);
    if (warning.Changed) return FixTaskChange(warning, record, outcome, context);
    const std::string what = "the scheduled task " + warning.TaskPath;
    const std::optional<platform::ScheduledTask> task = ReadTask(warning.TaskPath, what);
    if (!task) throw ThreatGoneError("The scheduled task " + warning.TaskPath + " is gone; nothing was changed.");
    if (task->xml.empty()) throw std::runtime_error("The definition of " + what + " cannot be read; nothing was changed.");
    WriteFileAtomically(record.folderPath + kTaskFileName, task->xml);
    const AutostartPointHold hold(context, warning.PointId);
    try {
        platform::DeleteScheduledTask(warning.TaskPath);
    } catch (const platform::Win32Error& error) {
        LogCaught("scheduled task removal");
        ThrowChangeError(what, error.Code(), error.what());
    }
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString(kPointKey, warning.PointId), BackupString(kTaskKey, warning.TaskPath)};
}

void UndoScheduledTask(const BackupRecord& record, const WarningWorkerContext& context) {
    if (record.GetInteger(kChangeKey) == kChangedEntry) return UndoTaskChange(record, context);
    const std::string path = record.GetString(kTaskKey);
    if (platform::SplitTaskPath(path).name.empty())
        throw std::runtime_error("The backup record names no scheduled task; nothing was restored");
    const std::string saved = record.folderPath + kTaskFileName;
    if (!FileExists(saved)) throw std::runtime_error("The saved task " + saved + " is missing; nothing was restored");
    const std::string xml = ReadFileText(saved);
    if (platform::ReadScheduledTask(path))
        throw std::runtime_error("A scheduled task " + path + " is there again; it was not replaced");
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    try {
        platform::RegisterScheduledTask(path, xml);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError("the scheduled task " + path, error.Code(), error.what());
    }
}

}  // namespace remedies
}  // namespace sentrel
