#include "monitors/RegistryRules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "common/TextCase.h"
#include "database/PathParts.h"

namespace sentrel {

std::optional<RegistryRoot> RootFromPrefix(std::string_view key) {
    const std::string_view prefix = key.substr(0, 4);
    if (prefix == "HKLM") return RegistryRoot::LocalMachine;
    if (prefix == "HKCU") return RegistryRoot::CurrentUser;
    if (prefix == "HKCR") return RegistryRoot::ClassesRoot;
    return std::nullopt;
}

RegistryRoot RootFromName(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, RegistryRoot>, 7> kRoots = {{
        {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
        {"HKEY_USERS", RegistryRoot::Users},
        {"HKEY_PERFORMANCE_DATA", RegistryRoot::PerformanceData},
        {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
        {"HKEY_DYN_DATA", RegistryRoot::DynData},
    }};
    for (const auto& [rootName, root] : kRoots) {
        if (rootName == name) return root;
    }
    return RegistryRoot::CurrentUser;
}

std::string KeyPathOfWatch(std::string_view key) {
    return key.size() > 5 ? std::string(key.substr(5)) : std::string();
}

bool IsOwnAutorunFile(std::string_view fileName) {
    return fileName == "Sentrel4.exe" || fileName == "Talvex4.exe";
}

TRegEntryTarget RegEntryTargetOf(std::string path) {
    TRegEntryTarget target;
    const std::string rootName = SplitFirstPathComponent(path);
    target.Last = SplitLastPathComponent(path);
    target.Root = RootFromName(rootName);
    target.Parent = path + "\\";
    target.KeyText = target.Last.empty() ? target.Parent : path + "\\" + target.Last + "\\";
    return target;
}

}  // namespace sentrel
