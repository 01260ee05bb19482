// The fixes and undos of a Startup folder's file and of a scheduled task. The file is moved into
// the record's folder and back to where it was; the task's definition (its XML) is saved in the
// record's folder before the task is deleted, and the undo registers it again from there. Both
// hold the autostart point while they change it and have the monitor accept it after, so their
// own change is not reported. Nothing is ever put over what is there by now: the undo refuses
// and the record stays.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "platform/ScheduledTasks.h"
#include "platform/ShellFiles.h"
#include "platform/Win32Error.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"
#include "warnings/StartupWarnings.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr const char* kTaskFileName = "task.xml";

// The alert's message for a change the system refused: the common Startup folder and the tasks of
// the machine need the rights of an administrator.
[[noreturn]] void ThrowChangeError(const std::string& what, DWORD code, const std::string& detail) {
    if (code == ERROR_ACCESS_DENIED)
        throw NeedsAdministratorError("Changing " + what +
                                          " needs the rights of an administrator, which Sentrel does not have; nothing "
                                          "was changed. Remove it as an administrator, or ignore it.",
                                      what);
    throw std::runtime_error("Sentrel could not change " + what + " (" + detail + "); nothing was changed.");
}

// A plain move that never replaces a file, announced at both ends to the file monitor.
void MoveOrThrow(const WarningWorkerContext& context, const std::string& from, const std::string& to,
                 const std::string& what) {
    if (context.markShieldMove) {
        context.markShieldMove(from);
        context.markShieldMove(to);
    }
    if (platform::MoveFileKeepingTarget(from, to)) return;
    const DWORD code = GetLastError();
    ThrowChangeError(what, code, "error " + std::to_string(code) + " moving " + from);
}

}  // namespace

namespace remedies {

void FixStartupFile(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                    const WarningWorkerContext& context) {
    const auto& warning = WarningAs<StartupFileWarning>(found);
    if (!FileExists(warning.FilePath))
        throw ThreatGoneError("The file " + warning.FilePath + " is no longer there; nothing was changed.");
    const AutostartPointHold hold(context, warning.PointId);
    MoveOrThrow(context, warning.FilePath, record.folderPath + FileNamePart(warning.FilePath), warning.PointName);
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString(kPointKey, warning.PointId), BackupString(kFilePathKey, warning.FilePath)};
}

void UndoStartupFile(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string path = record.GetString(kFilePathKey);
    const std::string name = FileNamePart(path);
    if (path.empty() || !IsPlainFileName(name))
        throw std::runtime_error("The backup record names no file to put back; nothing was restored");
    const std::string saved = record.folderPath + name;
    if (!FileExists(saved)) throw std::runtime_error("The saved file " + saved + " is missing; nothing was restored");
    if (FileExists(path) || FolderExists(path))
        throw std::runtime_error(path + " is there again; the saved file was left in the backup");
    CreateFolders(FolderPart(path));
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    MoveOrThrow(context, saved, path, FolderPart(path));
}

void FixScheduledTask(const TWarning& found, const NewBackupResult& record, FixOutcome& outcome,
                      const WarningWorkerContext& context) {
    const auto& warning = WarningAs<ScheduledTaskWarning>(found);
    const std::string what = "the scheduled task " + warning.TaskPath;
    std::optional<platform::ScheduledTask> task;
    try {
        task = platform::ReadScheduledTask(warning.TaskPath);
    } catch (const platform::Win32Error& error) {
        ThrowChangeError(what, error.Code(), error.what());
    }
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
