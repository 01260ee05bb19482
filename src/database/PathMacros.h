#pragma once
// Path macros: Folders rows are written with a macro such as "%16%" (the Windows folder) that
// stands for a folder of the machine. The table of macros is here; the folders themselves come
// from a TMacroFolderSource (on Windows the shell and the registry, database/ShellFoldersWin.h).

#include <optional>
#include <string>

namespace sentrel {

// The folders the macros stand for, as the system gives them.
enum class TSystemFolder {
    Startup,        // the user's Startup folder
    ProgramFiles,   // ProgramFilesDir under HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion
    StartMenu,      // the user's Start Menu
    Programs,       // the user's Programs folder of the Start Menu
    Desktop,
    Favorites,
    System,         // the Windows system folder
    Temp,           // the temporary folder (the system gives it with a trailing backslash)
    AppData,        // the user's Application Data
    CommonFiles,    // CommonFilesDir under the same key as ProgramFiles
    Windows,        // the Windows folder
    CommonAppData,  // the common Application Data
    NetHood,        // the Network Neighborhood folder
    // On 64-bit Windows, the folders of 32-bit programs (ProgramFilesDir (x86) and
    // CommonFilesDir (x86)); empty elsewhere. No macro names them: rows with the program-files
    // and common-files macros are tested against them as well (ThirtyTwoBitProgramFolders).
    ProgramFilesX86,
    CommonFilesX86,
};

class TMacroFolderSource {
public:
    virtual ~TMacroFolderSource() = default;
    // The folder, or an empty text when the system cannot give it.
    virtual std::string Folder(TSystemFolder folder) const = 0;
};

// A macro cut out of a path: its text with both percent signs, and where it stood.
struct TPathMacro {
    std::string Text;
    std::size_t Position = 0;
};

// Cuts the text from the first "%" to the next "%" (both included) out of the path. Nothing (and
// the path unchanged) when there are not two percent signs.
std::optional<TPathMacro> ExtractPathMacro(std::string& path);

// What a macro stands for: a folder from the source, without a trailing backslash unless the
// table says otherwise; "%0%" and a text that is not in the table stand for nothing.
std::string MacroReplacement(const std::string& macro, const TMacroFolderSource& folders);

// Replaces the first macro of the path by what it stands for; a second macro stays as it is.
void ExpandPathMacros(std::string& path, const TMacroFolderSource& folders);

// The macro folders as 32-bit programs on 64-bit Windows have them: the program-files and
// common-files macros stand for the "(x86)" folders, every other macro for nothing. A row is
// tested with these as well when its path differs from the first expansion.
class ThirtyTwoBitProgramFolders : public TMacroFolderSource {
public:
    explicit ThirtyTwoBitProgramFolders(const TMacroFolderSource& folders) : folders_(folders) {}
    std::string Folder(TSystemFolder folder) const override;

private:
    const TMacroFolderSource& folders_;
};

}  // namespace sentrel
