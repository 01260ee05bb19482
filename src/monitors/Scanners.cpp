#include "monitors/Scanners.h"

#include <windows.h>

#include <vector>

#include "common/Files.h"
#include "monitors/CookieRules.h"
#include "monitors/FolderRules.h"
#include "platform/Directory.h"

namespace sentrel {

void CookiesTimerTimer(const TThreatTables& tables, WarningSink& queue, const std::string& cookiesFolder) {
    if (cookiesFolder.empty()) return;
    std::string pattern = cookiesFolder;
    if (pattern.back() != '\\') pattern += '\\';
    pattern += "*.txt";
    std::vector<std::string> names;
    for (const platform::TDirectoryEntry& entry : platform::ListDirectory(pattern)) {
        if (!entry.IsFolder()) names.push_back(entry.Name);
    }
    QueueCookieWarnings(tables.DataBase(), queue, names);
}

void FoldersTimerTimer(const TThreatTables& tables, WarningSink& queue, const TMacroFolderSource& macros) {
    QueueFolderWarnings(tables.DataBase(), queue, macros, [](const std::string& path) { return FolderExists(path); });
}

}  // namespace sentrel
