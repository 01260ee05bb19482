#include "config/Startup.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"
#include "config/OptionKeys.h"
#include "config/SystemClock.h"

namespace sentrel {

std::string SettingsFolder(const std::string& appDataFolder) {
    return JoinPath(appDataFolder, std::string(kSettingsFolderName)) + kPathSeparator;
}

bool CreateSettingsFolder(const std::string& appDataFolder) {
    try {
        CreateFolders(SettingsFolder(appDataFolder));
        return true;
    } catch (const FileError&) {
        LogCaught("settings folder");
        return false;
    }
}

namespace {

// The options.ini of a fresh install: the installer wrote the number of the database it
// shipped, and nothing else.
bool IsInstallersFile(const std::string& path) {
    try {
        const std::vector<std::string> keys = IniText::Parse(ReadFileText(path)).KeyNames(kOptionsSection);
        return std::all_of(keys.begin(), keys.end(), [](const std::string& key) { return key == "DBNumber"; });
    } catch (const FileError&) {
        return false;
    }
}

}  // namespace

bool SeedOptions(TOptions& options, TDateTime now) {
    if (FileExists(options.FileName()) && !IsInstallersFile(options.FileName())) return false;
    const auto written = options.WriteMissingValues(DefaultOptionWrites(options, now));
    return written.value_or(0) > 0;
}

void RecountKnownSpywares(TOptions& options, std::span<const int> tableRowCounts) {
    std::int64_t total = 0;
    for (const int rows : tableRowCounts) {
        total += rows;
        total = std::clamp<std::int64_t>(total, 0, std::numeric_limits<int>::max());
    }
    options.WriteInteger("KnownSpywares", static_cast<int>(total));
}

std::unique_ptr<TOptions> RunOptionsStartup(const std::string& programFolder, const std::string& appDataFolder,
                                            const StartupHooks& hooks) {
    SetProgramFolder(programFolder);
    CreateSettingsFolder(appDataFolder);
    if (hooks.createBackupStore) hooks.createBackupStore();
    auto options = std::make_unique<TOptions>(kOptionsFileName, programFolder);
    if (hooks.openDatabase && !hooks.openDatabase()) return nullptr;
    SeedOptions(*options, CurrentDateTime());
    const std::vector<int> rowCounts = hooks.tableRowCounts ? hooks.tableRowCounts() : std::vector<int>{};
    RecountKnownSpywares(*options, rowCounts);
    return options;
}

}  // namespace sentrel
