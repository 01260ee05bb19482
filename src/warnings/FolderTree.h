#pragma once
// Deleting a folder with everything in it, as the backup store deletes a record's folder and a
// folder fix deletes what is left of a malicious folder.

#include <string>

namespace sentrel {

// Deletes `folder` with all its files and subfolders, depth first. Read-only (and hidden or
// system) files and folders go too: their attributes are cleared first (on POSIX systems they
// are made writable). A file or folder that cannot be deleted does not stop the rest. A link
// inside the tree (a symbolic link, or a junction or other reparse point on Windows) is removed
// itself and never followed, so nothing outside the folder is touched. A trailing separator is
// allowed. Returns true when the folder is gone afterwards (also when it was never there).
bool DeleteFolderTree(const std::string& folder) noexcept;

}  // namespace sentrel
