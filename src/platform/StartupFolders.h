#pragma once
// The Startup folders, whose files Windows opens when the user logs on, and what they start.

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

// The files of one folder (subfolders and the folder's own desktop.ini are not started and are
// left out), shortcuts read through the shell. A missing folder has none; a folder that cannot
// be read throws Win32Error.
std::vector<StartupFile> ListStartupFiles(const std::string& folder);

}  // namespace sentrel::platform
