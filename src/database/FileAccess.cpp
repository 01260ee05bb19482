#include "database/FileAccess.h"

#include <fstream>
#include <vector>

#include "common/Files.h"

namespace sentrel {

namespace {

class PlainWindow final : public TFileWindow {
public:
    explicit PlainWindow(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::span<const std::uint8_t> Bytes() const override { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

class PlainOpenedFile final : public TOpenedFile {
public:
    explicit PlainOpenedFile(const std::string& path) : path_(path), stream_(path, std::ios::binary) {
        if (!stream_) throw FileError("Cannot open \"" + path + "\" for reading");
        stream_.seekg(0, std::ios::end);
        const std::streamoff end = stream_.tellg();
        if (!stream_ || end < 0) throw FileError("Cannot query the size of \"" + path + "\"");
        size_ = static_cast<std::uint64_t>(end);
    }

    std::uint64_t Size() const override { return size_; }

    std::unique_ptr<TFileWindow> MapWindow(std::uint64_t offset, std::size_t length) const override {
        if (offset > size_ || length > size_ - offset)
            throw FileError("A window past the end of \"" + path_ + "\" was asked for");
        std::vector<std::uint8_t> bytes(length);
        stream_.clear();
        stream_.seekg(static_cast<std::streamoff>(offset));
        stream_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
        if (static_cast<std::size_t>(stream_.gcount()) != length) throw FileError("Cannot read \"" + path_ + "\"");
        return std::make_unique<PlainWindow>(std::move(bytes));
    }

private:
    std::string path_;
    mutable std::ifstream stream_;
    std::uint64_t size_ = 0;
};

}  // namespace

std::optional<std::int64_t> TPlainFileAccess::FindFileSize(const std::string& path) const {
    if (!FileExists(path)) return std::nullopt;
    const std::int64_t size = FileSize(path);
    if (size < 0) return std::nullopt;
    return size;
}

std::unique_ptr<TOpenedFile> TPlainFileAccess::OpenForReading(const std::string& path) const {
    return std::make_unique<PlainOpenedFile>(path);
}

}  // namespace sentrel
