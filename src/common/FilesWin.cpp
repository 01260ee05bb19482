// Files.h on Windows: the ANSI file functions, whose code page is UTF-8 in this program (its
// manifest asks for it), so paths stay UTF-8 byte strings.
#include "common/Files.h"

#include <algorithm>
#include <utility>

#include <windows.h>

#include "common/SystemErrorWin.h"

namespace sentrel {

namespace {

// An open file handle, closed when it goes.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) noexcept : handle_(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    explicit operator bool() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const noexcept { return handle_; }
    HANDLE release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

[[noreturn]] void Fail(const char* what, const std::string& path) {
    const DWORD code = GetLastError();
    throw FileError(std::string(what) + " \"" + path + "\": " + SystemErrorText(code));
}

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    // FILE_SHARE_DELETE: a reader never stands in the way of a file being replaced in one step.
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail("Cannot open", path);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) Fail("Cannot query the size of", path);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file.get(), bytes.data() + done, want, &read, nullptr)) Fail("Cannot read", path);
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return bytes;
}

void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool flush) {
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) Fail("Cannot create", path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!WriteFile(file.get(), bytes.data() + done, want, &written, nullptr)) Fail("Cannot write", path);
        done += written;
    }
    if (flush && !FlushFileBuffers(file.get())) Fail("Cannot flush", path);
    if (!CloseHandle(file.release())) Fail("Cannot close", path);
}

void MoveFileOver(const std::string& from, const std::string& to) {
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail("Cannot move a file over", to);
}

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& path) noexcept {
    if (DeleteFileA(path.c_str())) return true;
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

void CreateFolders(const std::string& path) {
    std::string folder = path;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (folder.empty() || FolderExists(folder)) return;
    // A drive root ("C:") needs no creating.
    if (folder.size() == 2 && folder[1] == ':') return;
    const std::string parent = FolderPart(folder);
    if (!parent.empty() && parent != folder) CreateFolders(parent);
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        Fail("Cannot create the folder", folder);
}

std::int64_t FileSize(const std::string& path) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace sentrel
