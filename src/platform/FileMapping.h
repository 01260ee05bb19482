#pragma once
// A file opened read-only (others may still read and write it) with a read-only mapping object,
// from which views of single windows are mapped: only the bytes asked for are mapped, never the
// whole file unless asked.

#include <cstdint>
#include <span>
#include <string>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

// One mapped window; the bytes stay valid while the view lives.
class MappedView {
public:
    MappedView() = default;
    MappedView(UniqueView view, std::span<const std::uint8_t> bytes) : view_(std::move(view)), bytes_(bytes) {}
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    UniqueView view_;
    std::span<const std::uint8_t> bytes_;
};

class ReadOnlyFileMapping {
public:
    // CreateFileA (GENERIC_READ, sharing read and write) and CreateFileMappingA (PAGE_READONLY);
    // throws Win32Error naming the call. An empty file gets no mapping object (Windows cannot map
    // one); its only window is the empty one.
    explicit ReadOnlyFileMapping(const std::string& path);

    std::uint64_t Size() const { return size_; }

    // Maps [offset, offset + length) read-only. The view starts at the allocation granularity
    // boundary at or below `offset`, as MapViewOfFile requires; Bytes() starts at `offset`.
    // Throws std::out_of_range past the end, Win32Error when the system refuses.
    MappedView MapWindow(std::uint64_t offset, std::size_t length) const;

private:
    std::string path_;
    UniqueFile file_;
    UniqueHandle mapping_;
    std::uint64_t size_ = 0;
};

}  // namespace sentrel::platform
