#pragma once
// Folders that are links (junctions and symbolic links: directory reparse points). A remedy
// removes such a folder as the link it is and never reaches through it, so a planted link to the
// Windows folder cannot make the shield move the Windows folder.

#include <string>

namespace sentrel::platform {

// True when `folder` (with or without its trailing backslash) is a directory reparse point.
bool IsFolderLink(const std::string& folder) noexcept;

// The folder a link leads to, as a plain path ("C:\Target", "\\server\share\Target"); empty when
// it leads nowhere that can be opened.
std::string FolderLinkTarget(const std::string& link) noexcept;

// Deletes the link itself; what it leads to is not touched. Throws Win32Error.
void RemoveFolderLink(const std::string& link);

// Makes `link` (which must not exist) a junction to `target`, an absolute local path; a target on
// a share, which a junction cannot name, gets a directory symbolic link instead. Throws
// Win32Error.
void CreateFolderLink(const std::string& link, const std::string& target);

}  // namespace sentrel::platform
