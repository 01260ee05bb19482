#pragma once
// What the elevated copy of the program (warnings/ElevatedActs.h) may change: only the machine's
// autostart points, never a place a record or request names by itself. The copy runs with the
// rights of an administrator on data a program of the user could have written (backups.ini and
// the record's folder lie in the user's program folder), so every act is checked against the
// table of points and the machine's own folders first.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitors/AutostartPoints.h"
#include "warnings/Backuper.h"

namespace sentrel {

struct ElevatedTargets {
    // The shipped table of points.
    std::vector<AutostartPoint> points;
    // The common Startup folders (of every user), without a trailing separator.
    std::vector<std::string> commonStartupFolders;
    // A file of the record's folder, whole; throws when it cannot be read.
    std::function<std::string(const std::string& path)> readFile;
};

// Throws ElevatedRefusal unless the fix (`undo` false: `keys` are the warning's fields) or the
// undo (`keys` are the record) of kind `kindName` acts on
//   - a value or subkey of a machine (HKLM) registry point of the table, by its key and, for a
//     "value" row, its value name; a subkey by a plain name right below the point's key, and its
//     undo only with a backup.reg that names nothing but that subkey and keys below it;
//   - a file right inside a common Startup folder, by a plain name;
//   - a scheduled task by a well-formed path ("\Folder\Name", no empty, "." or ".." part).
// Any other kind is refused.
void CheckElevatedTarget(std::string_view kindName, const BackupRecord& keys, bool undo,
                         const ElevatedTargets& targets);

}  // namespace sentrel
