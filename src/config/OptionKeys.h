#pragma once
// The keys of options.ini in the order a new file holds them, with the values written at the
// first start. Readers pass their own defaults; these are only what a fresh file holds.

#include <array>
#include <string_view>
#include <vector>

#include "config/DateTime.h"
#include "config/Options.h"

namespace sentrel {

enum class OptionKind { Boolean, Integer, DateTime };

struct OptionKey {
    std::string_view name;
    OptionKind kind;
    int firstStart;             // booleans 0 or 1; date-times are written as the current time
    bool writtenAtFirstStart = true;
};

// The four levels with switches and the eleven switches of each, in key order; a switch key is
// level word + monitor word ("LowSysDir").
inline constexpr std::array<std::string_view, 4> kLevelWords = {"Low", "Medium", "High", "Custom"};
inline constexpr std::array<std::string_view, 11> kMonitorWords = {
    "SysDir", "Autorun", "Processes", "KeyHooks", "MouseHooks", "EXE", "DLL", "RegChange", "Registry", "Cookies",
    "Folders"};

// clang-format off
inline constexpr std::array kOptionKeys = std::to_array<OptionKey>({
    {"FirstRun", OptionKind::Boolean, 1},
    {"Shield", OptionKind::Integer, 1},
    {"Autorun", OptionKind::Boolean, 1},
    {"RunMinimized", OptionKind::Boolean, 1},
    {"LastUpdate", OptionKind::DateTime, 0},
    {"LastRemind", OptionKind::DateTime, 0},
    {"RemindPeriod", OptionKind::Integer, 1},
    {"WhatDo", OptionKind::Integer, 0},
    {"LowSysDir", OptionKind::Boolean, 1},
    {"LowAutorun", OptionKind::Boolean, 0},
    {"LowProcesses", OptionKind::Boolean, 0},
    {"LowKeyHooks", OptionKind::Boolean, 0},
    {"LowMouseHooks", OptionKind::Boolean, 0},
    {"LowEXE", OptionKind::Boolean, 1},
    {"LowDLL", OptionKind::Boolean, 0},
    {"LowRegChange", OptionKind::Boolean, 0},
    {"LowRegistry", OptionKind::Boolean, 0},
    {"LowCookies", OptionKind::Boolean, 0},
    {"LowFolders", OptionKind::Boolean, 1},
    {"MediumSysDir", OptionKind::Boolean, 1},
    {"MediumAutorun", OptionKind::Boolean, 1},
    {"MediumProcesses", OptionKind::Boolean, 0},
    {"MediumKeyHooks", OptionKind::Boolean, 1},
    {"MediumMouseHooks", OptionKind::Boolean, 1},
    {"MediumEXE", OptionKind::Boolean, 1},
    {"MediumDLL", OptionKind::Boolean, 0},
    {"MediumRegChange", OptionKind::Boolean, 1},
    {"MediumRegistry", OptionKind::Boolean, 1},
    {"MediumCookies", OptionKind::Boolean, 0},
    {"MediumFolders", OptionKind::Boolean, 1},
    {"HighSysDir", OptionKind::Boolean, 1},
    {"HighAutorun", OptionKind::Boolean, 1},
    {"HighProcesses", OptionKind::Boolean, 1},
    {"HighKeyHooks", OptionKind::Boolean, 1},
    {"HighMouseHooks", OptionKind::Boolean, 1},
    {"HighEXE", OptionKind::Boolean, 1},
    {"HighDLL", OptionKind::Boolean, 1},
    {"HighRegChange", OptionKind::Boolean, 1},
    {"HighRegistry", OptionKind::Boolean, 1},
    {"HighCookies", OptionKind::Boolean, 1},
    {"HighFolders", OptionKind::Boolean, 1},
    {"CustomSysDir", OptionKind::Boolean, 1},
    {"CustomAutorun", OptionKind::Boolean, 1},
    {"CustomProcesses", OptionKind::Boolean, 1},
    {"CustomKeyHooks", OptionKind::Boolean, 0},
    {"CustomMouseHooks", OptionKind::Boolean, 0},
    {"CustomEXE", OptionKind::Boolean, 1},
    {"CustomDLL", OptionKind::Boolean, 1},
    {"CustomRegChange", OptionKind::Boolean, 1},
    {"CustomRegistry", OptionKind::Boolean, 1},
    {"CustomCookies", OptionKind::Boolean, 1},
    {"CustomFolders", OptionKind::Boolean, 1},
    {"MinimizeWarning", OptionKind::Boolean, 1},
    {"CloseAction", OptionKind::Integer, 3},
    {"KnownSpywares", OptionKind::Integer, 49752},
    {"FilesAction", OptionKind::Integer, 0},
    {"AutorunAction", OptionKind::Integer, 0},
    {"ProcessesAction", OptionKind::Integer, 0},
    {"BrowserSettingsAction", OptionKind::Integer, 0},
    {"RegistryAction", OptionKind::Integer, 0},
    {"CookiesAction", OptionKind::Integer, 0},
    {"FoldersAction", OptionKind::Integer, 0},
    {"AutostartAction", OptionKind::Integer, 0},
    {"StartupFilesAction", OptionKind::Integer, 0},
    {"ScheduledTasksAction", OptionKind::Integer, 0},
    {"BrowserExtensionsAction", OptionKind::Integer, 0},
    {"ServicesAction", OptionKind::Integer, 0},
    {"DBNumber", OptionKind::Integer, 1, false},
});
// clang-format on

// Every key of kOptionKeys that a first start writes, in table order, with its first-start
// value as the store writes it; the date-times get `now`.
std::vector<OptionWrite> DefaultOptionWrites(const TOptions& options, TDateTime now);

// Writes every key of kOptionKeys that a first start writes, in table order, with its
// first-start value; the date-times get `now` (the current local time in the first form).
// One read-modify-write: the file is the same as after one write per key. False when the file
// could not be written.
bool WriteDefaultOptions(TOptions& options);
bool WriteDefaultOptions(TOptions& options, TDateTime now);

}  // namespace sentrel
