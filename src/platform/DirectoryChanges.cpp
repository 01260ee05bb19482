#include "platform/DirectoryChanges.h"

#include <cstring>

#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

std::vector<TDirectoryChange> ParseChangeRecords(const void* buffer, std::size_t bytes) {
    std::vector<TDirectoryChange> changes;
    const auto* base = static_cast<const unsigned char*>(buffer);
    constexpr std::size_t kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    std::size_t offset = 0;
    while (offset + kHeader <= bytes) {
        FILE_NOTIFY_INFORMATION record;
        std::memcpy(&record, base + offset, kHeader);
        const std::size_t nameBytes = record.FileNameLength;
        if (offset + kHeader + nameBytes > bytes) break;
        std::vector<wchar_t> name(nameBytes / sizeof(wchar_t));
        if (!name.empty()) std::memcpy(name.data(), base + offset + kHeader, name.size() * sizeof(wchar_t));
        changes.push_back({record.Action, Utf8FromWide(std::wstring_view(name.data(), name.size()))});
        if (record.NextEntryOffset == 0) break;
        offset += record.NextEntryOffset;
    }
    return changes;
}

DirectoryChangeReader::DirectoryChangeReader(const std::string& folder)
    : folder_(CreateFileA(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
      ioDone_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      watching_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      buffer_(kBufferSize / sizeof(DWORD)) {
    if (!folder_) ThrowLastError("CreateFileA(" + folder + ")");
    if (!ioDone_ || !stop_ || !watching_) ThrowLastError("CreateEventA");
}

DirectoryChangeReader::~DirectoryChangeReader() = default;

void DirectoryChangeReader::Cancel() noexcept {
    SetEvent(stop_.get());
    SetEvent(watching_.get());
}

bool DirectoryChangeReader::WaitUntilWatching(DWORD timeoutMs) const noexcept {
    return WaitForSingleObject(watching_.get(), timeoutMs) == WAIT_OBJECT_0;
}

DirectoryChangeReader::ReadResult DirectoryChangeReader::Read(std::vector<TDirectoryChange>& changes) {
    changes.clear();
    if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) return ReadResult::Cancelled;

    OVERLAPPED overlapped{};
    overlapped.hEvent = ioDone_.get();
    ResetEvent(ioDone_.get());
    constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
    const BOOL issued = ReadDirectoryChangesW(folder_.get(), buffer_.data(), kBufferSize, TRUE, kFilter, nullptr,
                                              &overlapped, nullptr);
    const DWORD issueError = GetLastError();
    SetEvent(watching_.get());
    if (!issued) {
        SetLastError(issueError);
        return GetLastError() == ERROR_NOTIFY_ENUM_DIR ? ReadResult::Overflow : ReadResult::Failed;
    }

    const HANDLE waits[] = {ioDone_.get(), stop_.get()};
    const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    DWORD bytes = 0;
    if (woken != WAIT_OBJECT_0) {
        // Stop asked (or the wait failed): the read must be finished before its buffer and
        // OVERLAPPED go away, so cancel it and wait for it to end.
        CancelIoEx(folder_.get(), &overlapped);
        GetOverlappedResult(folder_.get(), &overlapped, &bytes, TRUE);
        return woken == WAIT_OBJECT_0 + 1 ? ReadResult::Cancelled : ReadResult::Failed;
    }
    if (!GetOverlappedResult(folder_.get(), &overlapped, &bytes, TRUE)) {
        return GetLastError() == ERROR_NOTIFY_ENUM_DIR ? ReadResult::Overflow : ReadResult::Failed;
    }
    if (bytes == 0) return ReadResult::Overflow;
    changes = ParseChangeRecords(buffer_.data(), bytes);
    return changes.empty() ? ReadResult::Overflow : ReadResult::Changes;
}

}  // namespace sentrel::platform
