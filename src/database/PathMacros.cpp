#include "database/PathMacros.h"

#include <array>
#include <string_view>

#include "database/PathParts.h"

namespace sentrel {

namespace {

// How a macro is made from the system's folder.
enum class Form {
    AsGiven,
    WithoutTrailingBackslash,   // "%8%": the temporary folder
    WithDownloadedPrograms,     // "%1l%": the Windows folder + "\Downloaded Program Files"
    Parent,                     // "%14%": ParentFolderOf the folder, ending in a backslash
};

struct MacroRow {
    std::string_view Macro;
    TSystemFolder Folder;
    Form How;
};

// "%0%" is absent: like any text not listed, it stands for nothing. "%1l%" has a lower-case
// letter L, not a second digit 1; "%11%" is not a macro.
constexpr std::array kMacros = {
    MacroRow{"%1%", TSystemFolder::Startup, Form::AsGiven},
    MacroRow{"%2%", TSystemFolder::ProgramFiles, Form::AsGiven},
    MacroRow{"%3%", TSystemFolder::StartMenu, Form::AsGiven},
    MacroRow{"%4%", TSystemFolder::Programs, Form::AsGiven},
    MacroRow{"%5%", TSystemFolder::Desktop, Form::AsGiven},
    MacroRow{"%6%", TSystemFolder::Favorites, Form::AsGiven},
    MacroRow{"%7%", TSystemFolder::System, Form::AsGiven},
    MacroRow{"%8%", TSystemFolder::Temp, Form::WithoutTrailingBackslash},
    MacroRow{"%9%", TSystemFolder::AppData, Form::AsGiven},
    MacroRow{"%10%", TSystemFolder::CommonFiles, Form::AsGiven},
    MacroRow{"%1l%", TSystemFolder::Windows, Form::WithDownloadedPrograms},
    MacroRow{"%12%", TSystemFolder::Programs, Form::AsGiven},
    MacroRow{"%13%", TSystemFolder::CommonAppData, Form::AsGiven},
    MacroRow{"%14%", TSystemFolder::AppData, Form::Parent},
    MacroRow{"%15%", TSystemFolder::NetHood, Form::AsGiven},
    MacroRow{"%16%", TSystemFolder::Windows, Form::AsGiven},
};

}  // namespace

std::optional<TPathMacro> ExtractPathMacro(std::string& path) {
    const std::size_t first = path.find('%');
    if (first == std::string::npos) return std::nullopt;
    const std::size_t second = path.find('%', first + 1);
    if (second == std::string::npos) return std::nullopt;
    TPathMacro macro{path.substr(first, second - first + 1), first};
    path.erase(first, second - first + 1);
    return macro;
}

std::string MacroReplacement(const std::string& macro, const TMacroFolderSource& folders) {
    for (const MacroRow& row : kMacros) {
        if (row.Macro != macro) continue;
        std::string folder = folders.Folder(row.Folder);
        switch (row.How) {
            case Form::AsGiven:
                break;
            case Form::WithoutTrailingBackslash:
                if (!folder.empty() && folder.back() == '\\') folder.pop_back();
                break;
            case Form::WithDownloadedPrograms:
                folder += "\\Downloaded Program Files";
                break;
            case Form::Parent:
                folder = ParentFolderOf(std::move(folder));
                break;
        }
        return folder;
    }
    return {};
}

void ExpandPathMacros(std::string& path, const TMacroFolderSource& folders) {
    const auto macro = ExtractPathMacro(path);
    if (macro) path.insert(macro->Position, MacroReplacement(macro->Text, folders));
}

std::string ThirtyTwoBitProgramFolders::Folder(TSystemFolder folder) const {
    if (folder == TSystemFolder::ProgramFiles) return folders_.Folder(TSystemFolder::ProgramFilesX86);
    if (folder == TSystemFolder::CommonFiles) return folders_.Folder(TSystemFolder::CommonFilesX86);
    return {};
}

}  // namespace sentrel
