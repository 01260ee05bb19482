#include "platform/Directory.h"

#include <string_view>

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

bool IsDotEntry(std::wstring_view name) { return name == L"." || name == L".."; }

TDirectoryEntry EntryOf(const WIN32_FIND_DATAW& data) {
    TDirectoryEntry entry;
    entry.Name = Utf8FromWideField(data.cFileName);
    entry.Attributes = data.dwFileAttributes;
    entry.Size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return entry;
}

}  // namespace

std::vector<TDirectoryEntry> ListDirectory(const std::string& pattern) {
    std::vector<TDirectoryEntry> entries;
    WIN32_FIND_DATAW data{};
    UniqueFind find(FindFirstFileW(WideFromUtf8(pattern).c_str(), &data));
    if (!find) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_NO_MORE_FILES)
            return entries;
        ThrowWin32Error("FindFirstFileW(" + pattern + ")", code);
    }
    do {
        if (!IsDotEntry(data.cFileName)) entries.push_back(EntryOf(data));
    } while (FindNextFileW(find.get(), &data));
    const DWORD code = GetLastError();
    if (code != ERROR_NO_MORE_FILES) ThrowWin32Error("FindNextFileW(" + pattern + ")", code);
    return entries;
}

std::optional<DWORD> QueryFileAttributes(const std::string& path) noexcept {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
    return attributes;
}

std::optional<TFileStamp> QueryFileStamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_NAME)
            return std::nullopt;
        ThrowWin32Error("GetFileAttributesExW(" + path + ")", code);
    }
    return TFileStamp{(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                      (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow,
                      (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime};
}

}  // namespace sentrel::platform
