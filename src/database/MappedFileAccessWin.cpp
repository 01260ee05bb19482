#include "database/MappedFileAccessWin.h"

#include <windows.h>

#include <stdexcept>

#include "common/Files.h"
#include "platform/FileMapping.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

class MappedWindow final : public TFileWindow {
public:
    explicit MappedWindow(platform::MappedView view) : view_(std::move(view)) {}
    std::span<const std::uint8_t> Bytes() const override { return view_.Bytes(); }

private:
    platform::MappedView view_;
};

class MappedFile final : public TOpenedFile {
public:
    explicit MappedFile(const std::string& path) : mapping_(path) {}
    std::uint64_t Size() const override { return mapping_.Size(); }
    std::unique_ptr<TFileWindow> MapWindow(std::uint64_t offset, std::size_t length) const override {
        try {
            return std::make_unique<MappedWindow>(mapping_.MapWindow(offset, length));
        } catch (const platform::Win32Error& error) {
            throw FileError(error.what());
        } catch (const std::out_of_range& error) {
            throw FileError(error.what());
        }
    }

private:
    platform::ReadOnlyFileMapping mapping_;
};

}  // namespace

std::optional<std::int64_t> MappedFileAccess::FindFileSize(const std::string& path) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

std::unique_ptr<TOpenedFile> MappedFileAccess::OpenForReading(const std::string& path) const {
    try {
        return std::make_unique<MappedFile>(path);
    } catch (const platform::Win32Error& error) {
        throw FileError(error.what());
    }
}

const MappedFileAccess& SystemFileAccess() {
    static const MappedFileAccess access;
    return access;
}

}  // namespace sentrel
