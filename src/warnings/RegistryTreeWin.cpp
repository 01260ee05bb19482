#include "warnings/RegistryTree.h"

#include "platform/Registry.h"
#include "warnings/RootKeysWin.h"

namespace sentrel {

namespace {

std::string Below(const std::string& key, const std::string& relative) {
    return relative.empty() ? key : key + "\\" + relative;
}

void ReadKey(const platform::RegistryKey& opened, const std::string& relative, std::vector<SavedRegistryEntry>& entries,
             RegistryView view) {
    entries.push_back(SavedRegistryEntry{.key = relative});
    for (platform::RegistryValue& value : opened.Values())
        entries.push_back(SavedRegistryEntry{.key = relative, .isValue = true, .name = std::move(value.name),
                                             .type = value.type, .data = std::move(value.data)});
    for (const std::string& name : opened.SubKeyNames()) {
        // A subkey that went between the listing and the opening is no part of the tree.
        if (const auto sub = platform::RegistryKey::Open(opened.Get(), name, platform::RegistryAccess::Read, ViewFlag(view)))
            ReadKey(*sub, relative.empty() ? name : relative + "\\" + name, entries, view);
    }
}

}  // namespace

std::optional<std::vector<SavedRegistryEntry>> ReadRegistryTree(RegistryRoot root, const std::string& key,
                                                                RegistryView view) {
    const auto opened = platform::RegistryKey::Open(ToHkey(root), key, platform::RegistryAccess::Read, ViewFlag(view));
    if (!opened) return std::nullopt;
    std::vector<SavedRegistryEntry> entries;
    ReadKey(*opened, "", entries, view);
    return entries;
}

void WriteRegistryTree(RegistryRoot root, const std::string& key, RegistryView view,
                       const std::vector<SavedRegistryEntry>& entries) {
    for (const SavedRegistryEntry& entry : entries) {
        platform::RegistryKey opened = platform::RegistryKey::Create(ToHkey(root), Below(key, entry.key),
                                                                     platform::RegistryAccess::ReadWrite, ViewFlag(view));
        if (entry.isValue) opened.WriteValue(entry.name, entry.type, entry.data);
    }
}

}  // namespace sentrel
