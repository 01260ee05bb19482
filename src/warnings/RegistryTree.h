#pragma once
// A registry key with everything below it, read into a list of saved entries
// (warnings/AdminIntent.h) and written back through the registry's own functions: what the
// administrator part keeps of a subkey or a service it removes, and what both the shield and the
// part hash to tell that an entry is still what the user saw.

#include <optional>
#include <string>
#include <vector>

#include "warnings/AdminIntent.h"
#include "warnings/RootKeys.h"

namespace sentrel {

// The key `key` of `root` in `view` with its values and subkeys, keys before their values, in
// the order the registry enumerates them; std::nullopt when the key is not there. Throws
// platform::Win32Error when it cannot be read.
std::optional<std::vector<SavedRegistryEntry>> ReadRegistryTree(RegistryRoot root, const std::string& key,
                                                                RegistryView view);

// Writes `entries` below `key` (created where missing): every key made, every value set. Throws
// platform::Win32Error.
void WriteRegistryTree(RegistryRoot root, const std::string& key, RegistryView view,
                       const std::vector<SavedRegistryEntry>& entries);

}  // namespace sentrel
