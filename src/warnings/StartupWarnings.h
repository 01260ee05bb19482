#pragma once
// The warnings of two autostart sources that are no registry keys (monitors/AutostartSources.h):
// a file new in a Startup folder, and a new scheduled task.

#include <memory>
#include <string>
#include <vector>
#include <string_view>

#include "warnings/Warning.h"

namespace sentrel {

// A file new in a Startup folder. Name is the file's name, FilePath the folder and the name,
// Command what the file starts (a shortcut's target and arguments, else the file itself).
class StartupFileWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "StartupFileWarning";

    StartupFileWarning(std::string pointId, std::string pointName, std::string filePath, std::string command);
    // True for a StartupFileWarning of the same file starting the same command.
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string PointName;  // "your Startup folder"
    std::string FilePath;
    std::string Command;
    bool KnownProgram = false;
};

// A new scheduled task. Name is the task's name, TaskPath its path ("\Folder\Name"), Command the
// command lines of its actions (empty where the system gives none).
class ScheduledTaskWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "ScheduledTaskWarning";

    ScheduledTaskWarning(std::string pointId, std::string taskPath, std::string command);
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string TaskPath;
    std::string Command;
    bool KnownProgram = false;
};


namespace texts {
WarningTexts StartupFileTexts(const TWarning& warning);
WarningTexts ScheduledTaskTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
