#pragma once
// Which rows of Folders the folder scanner reports, and the folder each one names: the
// scanner's decisions, apart from the attribute query so that they run (and are tested) in both
// builds. Paths are Windows paths (backslashes) in both builds.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "database/DataBase.h"
#include "database/PathMacros.h"

namespace sentrel {

class WarningSink;

inline constexpr std::string_view kCanBeDeletedColumn = "CAN_BE_DELETED";

// The folder that row `row` of Folders asks to be reported: its FILE_PATH with the first macro
// expanded. Nothing unless FILE_PATH, CAN_BE_DELETED and SPYWARE_REF all read (the two last as
// integers) and CAN_BE_DELETED is 1. Nothing too for a path that would make the remedy move the
// wrong folder: one that is not absolute once expanded (a macro whose folder the system cannot
// give leaves "\Name\", which is relative to the current drive), a drive or share root, a macro
// folder itself ("%16%\", the Windows folder), or a path with a "." or ".." component.
std::optional<std::string> DeletableFolderOfRow(const TTable& folders, int row, const TMacroFolderSource& macros);

// True for "X:\..." and "\\server\share...".
bool IsAbsoluteWindowsPath(std::string_view path) noexcept;

// The folder path with exactly one trailing backslash added when it has none.
std::string WithTrailingBackslash(std::string path);

// For every row of Folders (in order) whose folder DeletableFolderOfRow gives and `folderExists`
// confirms, hands a TFolderWarning to the queue: Name = the expanded path, FolderPath = the same
// path ending in a backslash (the remedy appends "*.*" to it). Without the table nothing happens.
void QueueFolderWarnings(const TDataBase& dataBase, WarningSink& queue, const TMacroFolderSource& macros,
                         const std::function<bool(const std::string&)>& folderExists);
// The same for row `row` of Folders alone.
void QueueFolderWarningsOfRow(const TTable& folders, int row, WarningSink& queue, const TMacroFolderSource& macros,
                              const std::function<bool(const std::string&)>& folderExists);

// True when `folderPath` (with its trailing backslash) is, letter case aside, a folder that a row
// of Folders reports, under either program folder as QueueFolderWarnings tries them: the remedy
// asks this again just before it moves a folder.
bool IsSpywareFolder(const TDataBase& dataBase, const TMacroFolderSource& macros, const std::string& folderPath);

}  // namespace sentrel
