#include "monitors/FolderRules.h"

#include <cstdint>
#include <memory>

#include "warnings/WarningSink.h"
#include "database/ThreatTables.h"
#include "warnings/Warning.h"

namespace sentrel {

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view TrimTrailingBackslashes(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

// "X:" or "\\server\share" (trailing backslashes already trimmed), or anything above them.
bool IsRoot(std::string_view path) {
    if (path.size() <= 2) return true;
    if (path.starts_with("\\\\")) {
        const std::size_t share = path.find('\\', 2);
        return share == std::string_view::npos || path.find('\\', share + 1) == std::string_view::npos;
    }
    return false;
}

bool HasDotComponent(std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part == "." || part == "..") return true;
        start = end + 1;
    }
    return false;
}

// True when nothing but backslashes follows the row's first macro: the row names the folder the
// macro stands for.
bool NamesMacroFolderItself(std::string path) {
    const std::optional<TPathMacro> macro = ExtractPathMacro(path);
    if (!macro) return false;
    return path.find_first_not_of('\\', macro->Position) == std::string::npos;
}

}  // namespace

bool IsAbsoluteWindowsPath(std::string_view path) noexcept {
    if (path.size() >= 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    return path.size() >= 3 && path.starts_with("\\\\") && path[2] != '\\';
}

std::string WithTrailingBackslash(std::string path) {
    if (path.empty() || path.back() != '\\') path += '\\';
    return path;
}

std::optional<std::string> DeletableFolderOfRow(const TTable& folders, int row, const TMacroFolderSource& macros) {
    std::string path;
    std::int32_t canBeDeleted = 0;
    std::int32_t spywareRef = 0;
    if (!folders.GetString(row, kFilePathColumn, path)) return std::nullopt;
    if (!folders.GetInt(row, kCanBeDeletedColumn, canBeDeleted)) return std::nullopt;
    if (!folders.GetInt(row, kSpywareRefColumn, spywareRef)) return std::nullopt;
    if (canBeDeleted != 1) return std::nullopt;

    if (NamesMacroFolderItself(path)) return std::nullopt;
    ExpandPathMacros(path, macros);
    if (!IsAbsoluteWindowsPath(path) || IsRoot(TrimTrailingBackslashes(path)) || HasDotComponent(path))
        return std::nullopt;
    return path;
}

void QueueFolderWarnings(const TDataBase& dataBase, WarningSink& queue, const TMacroFolderSource& macros,
                         const std::function<bool(const std::string&)>& folderExists) {
    const TTable* folders = dataBase.FindTable(kFoldersTable);
    if (folders == nullptr) return;
    for (int row = 0; row < folders->RowCount(); ++row)
        QueueFolderWarningsOfRow(*folders, row, queue, macros, folderExists);
}

void QueueFolderWarningsOfRow(const TTable& folders, int row, WarningSink& queue, const TMacroFolderSource& macros,
                              const std::function<bool(const std::string&)>& folderExists) {
    const ThirtyTwoBitProgramFolders thirtyTwoBit(macros);
    const auto report = [&](std::optional<std::string> path) {
        if (!path || !folderExists(*path)) return;
        std::string folderPath = WithTrailingBackslash(*path);
        queue.QueueWarning(std::make_unique<TFolderWarning>(std::move(*path), std::move(folderPath)));
    };
    const std::optional<std::string> path = DeletableFolderOfRow(folders, row, macros);
    report(path);
    // A row under the program-files or common-files macro names the 32-bit programs' folder
    // of a 64-bit Windows too.
    std::optional<std::string> other = DeletableFolderOfRow(folders, row, thirtyTwoBit);
    if (other && other != path) report(std::move(other));
}

bool IsSpywareFolder(const TDataBase& dataBase, const TMacroFolderSource& macros, const std::string& folderPath) {
    const TTable* folders = dataBase.FindTable(kFoldersTable);
    if (folders == nullptr) return false;
    const ThirtyTwoBitProgramFolders thirtyTwoBit(macros);
    const auto names = [&](const std::optional<std::string>& path) {
        return path && SameNameIgnoringCase(WithTrailingBackslash(*path), folderPath);
    };
    for (int row = 0; row < folders->RowCount(); ++row) {
        if (names(DeletableFolderOfRow(*folders, row, macros)) || names(DeletableFolderOfRow(*folders, row, thirtyTwoBit)))
            return true;
    }
    return false;
}

}  // namespace sentrel
