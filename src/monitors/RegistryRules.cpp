#include "monitors/RegistryRules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "common/TextCase.h"
#include "database/PathParts.h"

namespace sentrel {

namespace {

std::string HexBytes(std::string_view data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : data) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

template <typename Number>
Number LittleEndian(std::string_view data) {
    Number value = 0;
    for (std::size_t i = data.size(); i-- > 0;) value = static_cast<Number>((value << 8) | static_cast<unsigned char>(data[i]));
    return value;
}

}  // namespace

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

std::vector<std::string> NewAutorunNames(const std::vector<std::string>& current,
                                         const std::vector<std::string>& known) {
    std::vector<std::string> fresh;
    for (const std::string& name : current) {
        const bool old = !name.empty() && std::any_of(known.begin(), known.end(), [&](const std::string& knownName) {
                             return SameIgnoringCase(name, knownName);
                         });
        if (!old) fresh.push_back(name);
    }
    return fresh;
}

bool IsOwnAutorunFile(std::string_view fileName) {
    return fileName == "Sentrel4.exe" || fileName == "Talvex4.exe";
}

std::string RegistryDataAsText(std::uint32_t type, std::string_view data) {
    using namespace registry_type;
    switch (type) {
    case kString:
    case kExpandString:
        return std::string(data.substr(0, data.find('\0')));
    case kMultiString: {
        std::string text;
        std::size_t start = 0;
        while (start < data.size()) {
            const std::size_t end = std::min(data.find('\0', start), data.size());
            if (end == start) break;  // the empty string that ends the list
            if (!text.empty()) text += ' ';
            text.append(data.substr(start, end - start));
            start = end + 1;
        }
        return text;
    }
    case kDword:
    case kDwordBigEndian:
        if (data.size() == 4) {
            std::uint32_t value = LittleEndian<std::uint32_t>(data);
            if (type == kDwordBigEndian) {
                value = ((value & 0xffu) << 24) | ((value & 0xff00u) << 8) | ((value >> 8) & 0xff00u) | (value >> 24);
            }
            char text[32];
            std::snprintf(text, sizeof text, "0x%08lx (%lu)", static_cast<unsigned long>(value),
                          static_cast<unsigned long>(value));
            return text;
        }
        return HexBytes(data);
    case kQword:
        if (data.size() == 8) {
            const std::uint64_t value = LittleEndian<std::uint64_t>(data);
            char text[48];
            std::snprintf(text, sizeof text, "0x%016llx (%llu)", static_cast<unsigned long long>(value),
                          static_cast<unsigned long long>(value));
            return text;
        }
        return HexBytes(data);
    default:
        return HexBytes(data);
    }
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
