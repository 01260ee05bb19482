#include "monitors/Scanners.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "common/Files.h"
#include "monitors/CookieRules.h"
#include "monitors/FolderRules.h"
#include "platform/Directory.h"

namespace sentrel {

std::string CookiesFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COOKIES, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    std::string folder = path;
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

void CookiesTimerTimer(const TThreatTables& tables, WarningQueue& queue, const std::string& cookiesFolder) {
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

void FoldersTimerTimer(const TThreatTables& tables, WarningQueue& queue, const TMacroFolderSource& macros) {
    QueueFolderWarnings(tables.DataBase(), queue, macros, [](const std::string& path) { return FolderExists(path); });
}

}  // namespace sentrel
