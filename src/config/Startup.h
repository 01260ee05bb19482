#pragma once
// The start-up steps that come before any window and concern the options: the program folder,
// the per-user settings folder, the options store, options.ini seeded with the first-start
// values of the keys it lacks and the count of known threats. The backup store and the threat
// database are created between these steps by the caller's hooks.

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/DateTime.h"
#include "config/Options.h"

namespace sentrel {

inline constexpr std::string_view kSettingsFolderName = ".SentrelSettings";

// The per-user settings folder inside the user's application-data folder, with a trailing
// separator.
std::string SettingsFolder(const std::string& appDataFolder);

// Creates the settings folder and any missing parent. False when it cannot be created, which
// does not stop the program: no file of it is kept there.
bool CreateSettingsFolder(const std::string& appDataFolder);

// Writes the first-start value of every key of the key table into a new options.ini, in table
// order and in one write. The options.ini of a fresh install, which holds only the number of the
// database the installer shipped ("DBNumber"), counts as new: it is seeded around that number,
// and its missing "FirstRun" makes that start the first one. Any other existing file is left as
// it is (a key missing there reads as its reader's default). True when a key was written.
bool SeedOptions(TOptions& options, TDateTime now);

// "KnownSpywares" becomes the sum of the tables' row counts (tables in name order), written
// once; a sum beyond the integer range is held at its largest value.
void RecountKnownSpywares(TOptions& options, std::span<const int> tableRowCounts);

struct StartupHooks {
    // Creates the backup store (runs after the settings folder, before the options store).
    std::function<void()> createBackupStore;
    // Opens the threat database from the program folder; false ends start-up (the user has
    // been told why). Runs before options.ini is seeded, so a failed start leaves no new file.
    std::function<bool()> openDatabase;
    // The row counts of the database's tables, in name order.
    std::function<std::vector<int>()> tableRowCounts;
};

// Runs the start-up steps in order: fixes the program folder (SetProgramFolder), creates the
// settings folder, creates the backup store, the options store on options.ini, opens the
// database, seeds the keys options.ini lacks and recounts "KnownSpywares". Returns the
// options store, or null when opening the database ended start-up. Hooks left empty are
// skipped.
std::unique_ptr<TOptions> RunOptionsStartup(const std::string& programFolder, const std::string& appDataFolder,
                                            const StartupHooks& hooks);

}  // namespace sentrel
