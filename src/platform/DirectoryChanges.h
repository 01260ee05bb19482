#pragma once
// The directory-change reader: the names added to and removed from a folder tree, read with
// ReadDirectoryChangesW on an overlapped handle so that another thread can end a waiting read
// at once (Cancel), and with a 64 KB buffer; when more changed than the system could keep, the
// read says so (Overflow) instead of losing the batch silently.

#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

struct TDirectoryChange {
    DWORD Action = 0;  // FILE_ACTION_ADDED, FILE_ACTION_REMOVED, FILE_ACTION_RENAMED_NEW_NAME, ...
    std::string Name;  // relative to the watched folder (may hold subfolders), UTF-8
};

// The change records of a buffer filled by ReadDirectoryChangesW (`bytes` valid bytes). A record
// that would reach past the end stops the walk.
std::vector<TDirectoryChange> ParseChangeRecords(const void* buffer, std::size_t bytes);

class DirectoryChangeReader {
public:
    static constexpr DWORD kBufferSize = 64 * 1024;

    enum class ReadResult {
        Changes,    // `changes` holds at least one record
        Overflow,   // the system lost changes (no records, or ERROR_NOTIFY_ENUM_DIR)
        Cancelled,  // Cancel was called
        Failed,     // the read failed; the reader is of no further use
    };

    // Opens `folder` (with or without a trailing backslash) for reading its changes, file and
    // folder names of the whole tree. Throws Win32Error when it cannot be opened.
    explicit DirectoryChangeReader(const std::string& folder);
    DirectoryChangeReader(const DirectoryChangeReader&) = delete;
    DirectoryChangeReader& operator=(const DirectoryChangeReader&) = delete;
    ~DirectoryChangeReader();

    // Waits for the next batch of changes, for the overflow report or for Cancel. Called by one
    // thread at a time.
    ReadResult Read(std::vector<TDirectoryChange>& changes);

    // Waits (at most `timeoutMs`) until the first read has been issued: the system keeps the
    // changes of the tree only from then on. True when it has been (or has failed or been
    // cancelled, so nobody waits for nothing).
    bool WaitUntilWatching(DWORD timeoutMs) const noexcept;

    // Ends the waiting read, or the next one, with Cancelled. Any thread may call it.
    void Cancel() noexcept;

private:
    UniqueFile folder_;
    UniqueHandle ioDone_;
    UniqueHandle stop_;
    UniqueHandle watching_;
    std::vector<DWORD> buffer_;  // DWORD-aligned, as the records must be
};

}  // namespace sentrel::platform
