#pragma once
// The folders the path macros stand for, as this machine gives them: shell folders
// (SHGetFolderPathA), the Windows, system and temporary folders, and the Program Files and
// Common Files folders from the registry.

#include <string>

#include "database/PathMacros.h"

namespace sentrel {

// The folder as the system gives it (the temporary folder with its trailing backslash), or an
// empty text when the system cannot give it. Nothing is created.
std::string SpecialFolder(TSystemFolder folder);

class SystemMacroFolders final : public TMacroFolderSource {
public:
    std::string Folder(TSystemFolder folder) const override { return SpecialFolder(folder); }
};

// The process-wide instance (it holds no state: every call asks the system afresh).
const SystemMacroFolders& MacroFolders();

// ExpandPathMacros with this machine's folders.
void ExpandPathMacros(std::string& path);

}  // namespace sentrel
