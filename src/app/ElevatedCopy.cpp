#include "app/ElevatedCopy.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <span>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "database/Sha256.h"
#include "monitors/AutostartPoints.h"
#include "monitors/ElevatedTargets.h"
#include "platform/Directory.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "warnings/Backuper.h"
#include "warnings/ElevatedActs.h"
#include "warnings/RegistryFile.h"
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

// The seals of the changes the copy made: what a change's record and saved files were when the
// copy made it, where only an administrator can write. The record lies in the user's program
// folder, where any program of the user could edit it; the copy undoes only a change whose record
// and files are still what it left, so no such edit ever has it write a value, import an export
// or register a task of someone else's making.
constexpr const char* kSealsKey = "SOFTWARE\\Sentrel 4\\Elevated changes";

std::string SealOf(std::string_view kindName, const BackupRecord& keys) {
    std::string text = std::string(kindName) + "\n";
    for (const auto& [name, value] : keys.keys) {
        if (name == kBackupTypeKey || name == kBackupDescKey || name == kBackupFolderKey) continue;
        text += name + "=" + HexFromBytes(value) + "\n";
    }
    std::vector<std::string> files;
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(keys.folderPath + "*"))
        if (!entry.IsFolder() && entry.Name != kElevatedRequestFileName && entry.Name != kElevatedResultFileName)
            files.push_back(entry.Name);
    std::sort(files.begin(), files.end());
    for (const std::string& name : files) {
        const std::vector<std::uint8_t> bytes = ReadFileBytes(keys.folderPath + name);
        text += name + "=" + Sha256Hex(Sha256Of(bytes)) + "\n";
    }
    return Sha256Hex(Sha256Of(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
}

void CheckSeal(std::string_view kindName, const BackupRecord& record) {
    const auto seals = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, kSealsKey);
    const std::optional<std::string> seal = seals ? seals->ReadString(record.folderPath) : std::nullopt;
    if (!seal) throw ElevatedRefusal("the change " + record.code + " was not made by Sentrel as an administrator");
    if (*seal != SealOf(kindName, record))
        throw ElevatedRefusal("the change " + record.code + " or its saved data was altered since it was made");
}

void Seal(std::string_view kindName, const BackupRecord& keys, bool undo) {
    if (undo) {
        auto seals = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, kSealsKey, platform::RegistryAccess::ReadWrite);
        if (seals) seals->DeleteValue(keys.folderPath);
        return;
    }
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, kSealsKey).WriteString(keys.folderPath, SealOf(kindName, keys));
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
                                  if (undo) CheckSeal(kind, keys);
                              },
                              &Seal);
    } catch (...) {
        LogCaught("elevated copy");
        return kElevatedFailed;
    }
}

}  // namespace sentrel
