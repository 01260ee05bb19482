#include "platform/FolderLinks.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

constexpr DWORD kAllowUnprivilegedCreate = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE

std::string WithoutTrailingBackslashes(std::string path) {
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    return path;
}

// A handle to the link itself, not to what it leads to.
UniqueFile OpenLink(const std::string& link, DWORD access) {
    UniqueFile handle(CreateFileA(WithoutTrailingBackslashes(link).c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) ThrowLastError("CreateFile " + link);
    return handle;
}

// The mount-point reparse data of a junction (the layout of REPARSE_DATA_BUFFER, which only the
// driver kit declares): tag, data length, reserved, then the offsets and lengths of the
// substitute name ("\??\C:\Target") and the print name ("C:\Target"), both terminated.
std::vector<char> JunctionData(const std::wstring& target) {
    const std::wstring substitute = L"\\??\\" + target;
    const std::size_t substituteBytes = substitute.size() * sizeof(wchar_t);
    const std::size_t printBytes = target.size() * sizeof(wchar_t);
    constexpr std::size_t kHeader = 8;
    constexpr std::size_t kOffsets = 8;
    std::vector<char> data(kHeader + kOffsets + substituteBytes + printBytes + 2 * sizeof(wchar_t));
    const auto put16 = [&](std::size_t at, std::size_t value) {
        const WORD word = static_cast<WORD>(value);
        std::memcpy(data.data() + at, &word, sizeof word);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, sizeof tag);
    put16(4, data.size() - kHeader);
    put16(8, 0);
    put16(10, substituteBytes);
    put16(12, substituteBytes + sizeof(wchar_t));
    put16(14, printBytes);
    std::memcpy(data.data() + kHeader + kOffsets, substitute.c_str(), substituteBytes);
    std::memcpy(data.data() + kHeader + kOffsets + substituteBytes + sizeof(wchar_t), target.c_str(), printBytes);
    return data;
}

}  // namespace

bool IsFolderLink(const std::string& folder) noexcept {
    const DWORD attributes = GetFileAttributesA(WithoutTrailingBackslashes(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::string FolderLinkTarget(const std::string& link) noexcept {
    const UniqueFile followed(CreateFileA(WithoutTrailingBackslashes(link).c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!followed) return {};
    std::wstring path(32768, L'\0');  // the longest path there is, in UTF-16 units
    const DWORD length =
        GetFinalPathNameByHandleW(followed.get(), path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    const std::string target = Utf8FromWide(path);
    if (target.starts_with("\\\\?\\UNC\\")) return "\\\\" + target.substr(8);
    if (target.starts_with("\\\\?\\")) return target.substr(4);
    return target;
}

void RemoveFolderLink(const std::string& link) {
    const UniqueFile handle = OpenLink(link, DELETE);
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(handle.get(), FileDispositionInfo, &disposition, sizeof disposition))
        ThrowLastError("Removing the link " + link);
}

void CreateFolderLink(const std::string& link, const std::string& target) {
    const std::string path = WithoutTrailingBackslashes(link);
    if (target.starts_with("\\\\")) {
        CheckWin32(CreateSymbolicLinkA(path.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY | kAllowUnprivilegedCreate),
                   "CreateSymbolicLink");
        return;
    }
    CheckWin32(CreateDirectoryA(path.c_str(), nullptr), "CreateDirectory");
    const std::vector<char> data = JunctionData(WideFromUtf8(WithoutTrailingBackslashes(target)));
    try {
        const UniqueFile handle = OpenLink(path, GENERIC_WRITE);
        DWORD returned = 0;
        CheckWin32(DeviceIoControl(handle.get(), FSCTL_SET_REPARSE_POINT, const_cast<char*>(data.data()),
                                   static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr),
                   "FSCTL_SET_REPARSE_POINT");
    } catch (...) {
        RemoveDirectoryA(path.c_str());
        throw;
    }
}

}  // namespace sentrel::platform
