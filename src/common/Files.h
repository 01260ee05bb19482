#pragma once
// Whole-file reads and writes for the data files of the program folder. Paths are UTF-8, as
// everywhere in the program. Every file the program rewrites goes
// through WriteFileAtomically, so a crash or a full disk leaves the old file or the new one,
// never half of one.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// A file operation that failed; the message names the operation, the path and the reason.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);

// Creates or truncates the file and writes the bytes; throws FileError on any failure. With
// `flush` false the data is left to the system's cache: for working files that are removed
// again at once, where waiting for the disk buys nothing.
void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool flush = true);

// Writes a temporary file beside the target, flushes it to disk and moves it over the target
// in one step. On failure the target is untouched and the temporary file removed.
void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);
void WriteFileAtomically(const std::string& path, const std::string& text);

// Moves a file over another in one step (the target may exist). Throws FileError on failure.
void MoveFileOver(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Removes a file; returns false when it could not be removed (a missing file is not an error).
bool RemoveFile(const std::string& path) noexcept;

// Creates a folder and every missing parent; throws FileError when it cannot.
void CreateFolders(const std::string& path);

// Size of a file in bytes, or -1 when it cannot be queried.
std::int64_t FileSize(const std::string& path) noexcept;

// The text up to and including the last separator ('\\', '/' or ':'); empty when there is none.
std::string FolderPart(const std::string& path);
// The text after the last separator; the whole text when there is none.
std::string FileNamePart(const std::string& path);

// True for a name that stays inside the folder it is joined to: not empty, no separator ('\\',
// '/', ':'), no wildcard, no control character, not "." or "..", and not ending with a dot or a
// blank (Windows drops those, so "..." or ". ." would name the folder above).
bool IsPlainFileName(std::string_view name);

// Joins a folder and a name with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// The temporary path beside `target` that WriteFileAtomically writes first (always the same one
// for a target, so no killed writer leaves more than one behind).
std::string TemporarySibling(const std::string& target);

}  // namespace sentrel
