#pragma once
// The file points of the autostart table beyond the Startup folders: a "file" row watches one file
// whose content matters (a PowerShell profile, Word's Normal.dotm, a program the logon screen
// starts), a "files" row a folder whose new files matter (Word's and Excel's startup folders).
// Both name their place by a known folder and a path below it. What is portable of them: reading
// the place, what an entry of a watched file keeps, and what the alert shows of its content.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/KnownFolders.h"

namespace sentrel {

// A place of the table: "Documents\WindowsPowerShell\profile.ps1" is the known folder Documents
// and the path below it.
struct FilePlace {
    platform::KnownFolder folder = platform::KnownFolder::Documents;
    std::string relative;  // without leading or trailing separators; may be empty (the folder itself)
};

// The place `where` names; nothing when it begins with no known folder's name or climbs out of
// it ("..").
std::optional<FilePlace> FilePlaceOf(std::string_view where);

// The system's own folders: a changed file there is put back by the system file checker.
bool IsSystemPlace(const FilePlace& place);

// What an entry of a watched file keeps: its size, last-write time and SHA-256 (empty for a file
// too large to be read whole, whose size and time then stand for its content).
struct WatchedFileState {
    std::int64_t size = 0;
    std::uint64_t time = 0;
    std::string sha256;

    bool operator==(const WatchedFileState&) const = default;
};

std::string WatchedFileRaw(const WatchedFileState& state);
std::optional<WatchedFileState> WatchedFileOfRaw(std::string_view raw);

// Whether the content changed from `before` to `after`: by digest where both have one, else by
// size and time. A file only touched (new time, same digest) is unchanged.
bool WatchedContentChanged(const WatchedFileState& before, const WatchedFileState& after);

// The first lines of a text file as an alert shows them: at most kShownLines lines of at most
// kShownLineCharacters characters each (longer ones cut, ending in "…"), blank lines skipped,
// tabs as spaces and every other control character dropped, parted by "\n". Nothing for content
// that is no text (a NUL byte in its first kilobytes). A UTF-8 or UTF-16 byte order mark is
// dropped; UTF-16 text is shown as UTF-8.
inline constexpr std::size_t kShownLines = 4;
inline constexpr std::size_t kShownLineCharacters = 100;
std::string FirstLinesShown(std::string_view content);

}  // namespace sentrel
