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

}  // namespace

StartupFileWarning::StartupFileWarning(std::string pointId, std::string pointName, std::string filePath,
                                         std::string command)
    : TWarning(ShieldWarningKind(kClassName), LastPart(filePath)),
      PointId(std::move(pointId)),
      PointName(std::move(pointName)),
      FilePath(std::move(filePath)),
      Command(std::move(command)) {}

bool StartupFileWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const StartupFileWarning*>(&other);
    return same && same->FilePath == FilePath && same->Command == Command;
}

ScheduledTaskWarning::ScheduledTaskWarning(std::string pointId, std::string taskPath, std::string command)
    : TWarning(ShieldWarningKind(kClassName), LastPart(taskPath)),
      PointId(std::move(pointId)),
      TaskPath(std::move(taskPath)),
      Command(std::move(command)) {}

bool ScheduledTaskWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const ScheduledTaskWarning*>(&other);
    return same && same->TaskPath == TaskPath && same->Command == Command;
}





namespace texts {

WarningTexts StartupFileTexts(const TWarning& found) {
    const auto& warning = WarningAs<StartupFileWarning>(found);
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

WarningTexts ScheduledTaskTexts(const TWarning& found) {
    const auto& warning = WarningAs<ScheduledTaskWarning>(found);
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
