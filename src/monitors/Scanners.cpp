#include "monitors/Scanners.h"

#include <windows.h>

#include <vector>

#include "common/Files.h"
#include "monitors/CookieRules.h"
#include "monitors/FolderRules.h"
#include "platform/Directory.h"

namespace sentrel {

namespace {

// The names of the files `cookiesFolder`\*.txt (not empty); folders are no cookies.
std::vector<std::string> ListCookieFiles(const std::string& cookiesFolder) {
    std::string pattern = cookiesFolder;
    if (pattern.back() != '\\') pattern += '\\';
    pattern += "*.txt";
    std::vector<std::string> names;
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(pattern)) {
        if (!entry.IsFolder()) names.push_back(entry.Name);
    }
    return names;
}

bool IsFolder(const std::string& path) { return FolderExists(path); }

}  // namespace

bool CookiesTimerSlice(const TThreatTables& tables, WarningSink& queue, const std::string& cookiesFolder,
                       TCookieScan& scan, const SliceBudget& budget) {
    if (cookiesFolder.empty()) return true;
    return scan.Slice(tables.DataBase(), tables.Generation(), queue, [&] { return ListCookieFiles(cookiesFolder); },
                      budget);
}

bool FoldersTimerSlice(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros,
                       TSliceCursor& cursor, const SliceBudget& budget) {
    const TTable* folders = tables.DataBase().FindTable(kFoldersTable);
    const std::size_t rows = folders == nullptr ? 0 : static_cast<std::size_t>(folders->RowCount());
    return cursor.Walk(rows, tables.Generation(), budget, [&](std::size_t row) {
        QueueFolderWarningsOfRow(*folders, static_cast<int>(row), queue, macros, IsFolder);
    });
}

}  // namespace sentrel
