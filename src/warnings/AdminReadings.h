#pragma once
// What an entry of a machine autostart point is, read the one way both the shield and the
// administrator part read it: the part removes an entry only while the digest of its reading
// (EntryDigest) is still the one the shield sent, so what goes is what the user saw.

#include <optional>
#include <string>

#include "warnings/RootKeys.h"

namespace sentrel {

// A value: "type:hex bytes", as the autostart monitor keeps it.
std::optional<std::string> ValueReading(RegistryRoot root, const std::string& key, const std::string& name,
                                        RegistryView view);
// A key with everything below it (SavedRegistryText).
std::optional<std::string> KeyTreeReading(RegistryRoot root, const std::string& key, RegistryView view);
// A file's bytes; nothing when there is no such file. Throws for a file that is a link (a reparse
// point) or cannot be read.
std::optional<std::string> PlainFileReading(const std::string& path);
// A scheduled task's definition (XML).
std::optional<std::string> TaskReading(const std::string& path);
// A service: its type, start, command, account and names, from its configuration.
std::optional<std::string> ServiceReading(const std::string& name);

}  // namespace sentrel
