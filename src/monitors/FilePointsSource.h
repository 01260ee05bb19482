#pragma once
// The autostart source of the file points beyond the Startup folders (monitors/FilePoints.h):
// the "file" rows and the "files" rows that name a known folder.

#include <memory>
#include <string>
#include <vector>

#include "monitors/AutostartMonitor.h"

namespace sentrel {

// A "file" row's entry is the file (by its path), shown with its first lines and keeping its
// size, time and digest (WatchedFileRaw); a "files" row's entries are the folder's files, each
// shown as its path. A point is read again only when its file's or folder's size or time
// changed; a file is read and hashed then, and only up to kWatchedFileReadLimit bytes (a larger
// one is known by its size and time). Of each watched file that is no system file and no larger
// than kKeptCopyLimit, the content read is kept in `keptFolder` (with its trailing separator),
// named by its digest, so that a fix can put it back; the folder keeps at most kKeptCopies
// copies, never those of what the points hold now or held before their last change.
// The folder of the settings folder that keeps the copies.
inline constexpr const char* kKeptFilesFolderName = "KeptFiles";
inline constexpr std::uint64_t kWatchedFileReadLimit = 8u << 20;
inline constexpr std::uint64_t kKeptCopyLimit = 1u << 20;
inline constexpr std::size_t kKeptCopies = 32;
std::unique_ptr<AutostartSource> MakeFilePointsSource(const std::vector<AutostartPoint>& points,
                                                      std::string keptFolder);

}  // namespace sentrel
