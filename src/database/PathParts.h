#pragma once
// Path splitting on Windows paths (backslashes; the file-name part also ends at a colon), the
// same in both builds: the lookups compare the system's paths with folder masks, the
// registry-entry monitor takes REG_PATH texts apart.

#include <string>
#include <string_view>

namespace sentrel {

// The text after the last backslash or colon; the whole text when it has neither.
std::string_view PathFileName(std::string_view path) noexcept;
// The text up to and including the last backslash or colon; empty when it has neither.
std::string_view PathFolder(std::string_view path) noexcept;

// The folder above a folder, ending in a backslash: a trailing backslash (of a text at least two
// characters long) is dropped, then characters from the end until the text ends in a backslash
// or is empty.
std::string ParentFolderOf(std::string folder);

// The text before the first backslash, which is removed from the path with that backslash.
// Without a backslash the result is empty and the path unchanged.
std::string SplitFirstPathComponent(std::string& path);

// Drops one trailing backslash; then returns the text after the last backslash and cuts the path
// there (the backslash goes too). Without a backslash the result is empty (the trailing one stays
// dropped).
std::string SplitLastPathComponent(std::string& path);

}  // namespace sentrel
