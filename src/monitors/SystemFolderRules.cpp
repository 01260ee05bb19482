#include "monitors/SystemFolderRules.h"

#include <vector>

#include "database/Table.h"

namespace sentrel {

namespace {

std::vector<std::string_view> PartsOf(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find_first_of("\\/");
        if (slash != 0) parts.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (const std::string_view candidate : names)
        if (SameNameIgnoringCase(name, candidate)) return true;
    return false;
}

// A file Windows runs or loads to start: a program, a library, a driver.
bool RunsAtStart(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos &&
           IsOneOf(name.substr(dot + 1), {"exe", "dll", "sys", "drv", "ocx", "cpl", "com", "scr", "efi"});
}

}  // namespace

bool IsCriticalSystemRemoval(std::string_view windowsFolder, std::string_view path, const ProtectedSystemFile& isProtected) {
    while (!windowsFolder.empty() && (windowsFolder.back() == '\\' || windowsFolder.back() == '/'))
        windowsFolder.remove_suffix(1);
    if (path.size() <= windowsFolder.size() + 1 || !SameNameIgnoringCase(path.substr(0, windowsFolder.size()), windowsFolder) ||
        (path[windowsFolder.size()] != '\\' && path[windowsFolder.size()] != '/'))
        return false;
    const std::vector<std::string_view> parts = PartsOf(path.substr(windowsFolder.size() + 1));
    if (parts.empty()) return false;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        if (IsOneOf(parts[i], {"Temp", "Logs", "Prefetch", "SoftwareDistribution", "WinSxS", "Installer",
                               "ServiceProfiles", "systemprofile"}))
            return false;
    if (RunsAtStart(parts.back())) {
        const std::size_t folders = parts.size() - 1;
        if (folders == 0) return true;
        if (IsOneOf(parts[0], {"System32", "SysWOW64"}) &&
            (folders == 1 || (folders == 2 && SameNameIgnoringCase(parts[1], "drivers"))))
            return true;
    }
    return isProtected && isProtected(std::string(path));
}

bool IsRightInSystemFolders(std::string_view windowsFolder, std::string_view path) {
    while (!windowsFolder.empty() && (windowsFolder.back() == '\\' || windowsFolder.back() == '/'))
        windowsFolder.remove_suffix(1);
    std::string_view rest;
    for (const std::string_view folder : {windowsFolder, std::string_view("%windir%"), std::string_view("%SystemRoot%")}) {
        if (!folder.empty() && path.size() > folder.size() + 1 && SameNameIgnoringCase(path.substr(0, folder.size()), folder) &&
            path[folder.size()] == '\\') {
            rest = path.substr(folder.size() + 1);
            break;
        }
    }
    const std::vector<std::string_view> parts = PartsOf(rest);
    if (parts.size() == 1) return true;
    if (parts.size() < 2 || parts.size() > 3 || !IsOneOf(parts[0], {"System32", "SysWOW64"})) return false;
    return parts.size() == 2 || SameNameIgnoringCase(parts[1], "drivers");
}

bool IsWindowsOwnTask(std::string_view windowsFolder, std::string_view taskPath,
                      const std::vector<std::string>& programs) {
    constexpr std::string_view kWindowsTasks = "\\Microsoft\\Windows\\";
    if (taskPath.size() <= kWindowsTasks.size() || !SameNameIgnoringCase(taskPath.substr(0, kWindowsTasks.size()), kWindowsTasks))
        return false;
    for (const std::string& program : programs)
        if (!IsRightInSystemFolders(windowsFolder, program)) return false;
    return true;
}

}  // namespace sentrel
