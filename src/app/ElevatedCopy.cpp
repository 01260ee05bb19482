#include "app/ElevatedCopy.h"

#include <windows.h>
#include <shellapi.h>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "monitors/AutostartPoints.h"
#include "monitors/ElevatedTargets.h"
#include "platform/ProgramFolder.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "warnings/Backuper.h"
#include "warnings/ElevatedActs.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

namespace {

// What the copy may change on this machine: the table of the program folder and the common
// Startup folders the shell knows.
ElevatedTargets MachineTargets(const std::string& programFolder) {
    ElevatedTargets targets;
    targets.points = ParseAutostartPoints(ReadFileText(programFolder + kAutostartPointsFileName),
                                          [](const std::string& line) { LogEvent(line); });
    for (const platform::StartupFolder& folder : platform::StartupFolders())
        if (folder.common) targets.commonStartupFolders.push_back(folder.path);
    targets.readFile = [](const std::string& path) { return ReadFileText(path); };
    return targets;
}

}  // namespace

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    if (!arguments) return result;
    for (int i = 1; i < count; ++i) result.push_back(platform::Utf8FromWide(arguments[i]));
    LocalFree(arguments);
    return result;
}

int RunElevatedCopy(const std::vector<std::string>& arguments) noexcept {
    const std::optional<ElevatedAct> act = ParseElevatedCommandLine(arguments);
    if (!act) return kElevatedBadCommandLine;
    try {
        const std::string programFolder = platform::ProgramFolder();
        TBackuper backuper(programFolder);
        const ElevatedTargets targets = MachineTargets(programFolder);
        const WarningContext context;  // the kinds alone: no monitor runs in this process
        return RunElevatedAct(*act, backuper, context,
                              [&targets](std::string_view kind, const BackupRecord& keys, bool undo) {
                                  CheckElevatedTarget(kind, keys, undo, targets);
                              });
    } catch (...) {
        LogCaught("elevated copy");
        return kElevatedFailed;
    }
}

}  // namespace sentrel
