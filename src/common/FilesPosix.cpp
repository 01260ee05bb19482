// Files.h on POSIX systems (the native build of the portable core and the maker's tools).
#include "common/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>

namespace sentrel {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
    throw FileError(std::string(what) + " \"" + path + "\": " + std::strerror(error));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) Fail("Cannot open", path, errno);
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read", path, errno);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes, bool flush) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (fd.get() < 0) Fail("Cannot create", path, errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot write", path, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (flush && ::fsync(fd.get()) != 0) Fail("Cannot flush", path, errno);
    if (::close(fd.release()) != 0) Fail("Cannot close", path, errno);
}

void MoveFileOver(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) Fail("Cannot move a file over", to, errno);
}

bool FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) noexcept {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

void CreateFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec && !FolderExists(path)) throw FileError("Cannot create the folder \"" + path + "\": " + ec.message());
}

std::int64_t FileSize(const std::string& path) noexcept {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace sentrel
