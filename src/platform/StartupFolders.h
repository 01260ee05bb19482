#pragma once
// The Startup folders, whose files Windows opens when the user logs on, what they start, and
// the shortcuts there written again.

#include <string>
#include <vector>

namespace sentrel::platform {

struct StartupFolder {
    std::string path;     // without a trailing backslash
    bool common = false;  // the folder of every user (changing it needs administrator rights)
};

// The user's and the common Startup folder as the shell knows them, and the folders the
// "Startup" and "Common Startup" values of User Shell Folders name (expanded) where they differ:
// a folder moved by a change of the value. Each folder once; folders that cannot be found are
// left out.
std::vector<StartupFolder> StartupFolders();

struct StartupFile {
    std::string name;       // the file's name in the folder
    std::string path;       // the folder and the name
    std::string target;     // a shortcut's target (empty for other files, or a target that is no file)
    std::string arguments;  // a shortcut's arguments
    std::string command;    // what starts: the target and arguments of a shortcut, else the file
};

// A shortcut's target and arguments, read through the shell; both empty when it cannot be read.
struct ShortcutTarget {
    std::string target;
    std::string arguments;
};
ShortcutTarget ReadShortcut(const std::string& path);

// Sets the target and arguments of the shortcut at `path`, the rest of it kept, in one step: the
// shortcut is saved to a temporary file beside it, which then takes its place. Throws Win32Error
// (ERROR_ACCESS_DENIED where the user may not change the folder).
void RewriteShortcut(const std::string& path, const std::string& target, const std::string& arguments);

// Puts `bytes` in place of the file at `path` in one step, as RewriteShortcut does. Throws
// Win32Error.
void ReplaceFileBytes(const std::string& path, const std::string& bytes);

// The files of one folder (subfolders and the folder's own desktop.ini are not started and are
// left out), shortcuts read through the shell. A missing folder has none; a folder that cannot
// be read throws Win32Error.
std::vector<StartupFile> ListStartupFiles(const std::string& folder);

}  // namespace sentrel::platform
