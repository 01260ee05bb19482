#include "platform/FileMapping.h"

#include <stdexcept>

#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

std::uint64_t AllocationGranularity() {
    static const std::uint64_t granularity = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return static_cast<std::uint64_t>(info.dwAllocationGranularity);
    }();
    return granularity;
}

}  // namespace

ReadOnlyFileMapping::ReadOnlyFileMapping(const std::string& path) : path_(path) {
    file_.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) ThrowLastError("CreateFileA(\"" + path + "\")");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) ThrowLastError("GetFileSizeEx(\"" + path + "\")");
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    if (size_ == 0) return;
    mapping_.reset(CreateFileMappingA(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping_) ThrowLastError("CreateFileMappingA(\"" + path + "\")");
}

MappedView ReadOnlyFileMapping::MapWindow(std::uint64_t offset, std::size_t length) const {
    if (offset > size_ || length > size_ - offset)
        throw std::out_of_range("A window past the end of \"" + path_ + "\" was asked for");
    if (length == 0) return {};
    const std::uint64_t start = offset - offset % AllocationGranularity();
    const std::size_t lead = static_cast<std::size_t>(offset - start);
    UniqueView view(MapViewOfFile(mapping_.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                  static_cast<DWORD>(start & 0xFFFFFFFFu), lead + length));
    if (!view) ThrowLastError("MapViewOfFile(\"" + path_ + "\")");
    const auto* bytes = static_cast<const std::uint8_t*>(view.get()) + lead;
    return MappedView(std::move(view), std::span(bytes, length));
}

}  // namespace sentrel::platform
