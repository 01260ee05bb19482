#pragma once
// The names of the keys that backup records of more than one kind carry, spelled once: part of
// backups.ini, so spelled as they always were. A key that only one kind's record has is named
// beside that kind's remedy.

#include <string_view>

namespace sentrel {

inline constexpr std::string_view kPointKey = "Point";        // the autostart point's id, held during an undo
inline constexpr std::string_view kRootKeyKey = "RootKey";    // a registry root, by its number
inline constexpr std::string_view kKeyKey = "Key";            // a key below that root
inline constexpr std::string_view kValueKey = "Value";        // a value's name (or a subkey's, or a preference's value)
inline constexpr std::string_view kViewKey = "View";          // the registry view, "32" or "64"
inline constexpr std::string_view kFilePathKey = "FilePath";  // a file, folder and name
inline constexpr std::string_view kTaskKey = "Task";          // a scheduled task's path
inline constexpr std::string_view kServiceKey = "Service";    // a service's name
// What an autostart fix answered: 0 (or missing) a new entry, removed; 1 a changed one, put back;
// 2 a removed one, made again.
inline constexpr std::string_view kChangeKey = "Change";
inline constexpr int kChangedEntry = 1;
// A change the administrator part made: its number in the part's store, and the entry in plain
// words for the messages.
inline constexpr std::string_view kAdminChangeKey = "AdminChange";
inline constexpr std::string_view kAdminEntryKey = "Entry";

}  // namespace sentrel
