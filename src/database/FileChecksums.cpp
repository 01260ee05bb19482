#include "database/FileChecksums.h"

#include <algorithm>

#include "common/Files.h"

namespace sentrel {

namespace {

constexpr std::uint64_t kHeadEnd = 8192;          // the head pass stops when the offset reaches it
constexpr std::uint64_t kFirstLevelEnd = 1536;    // the first-level sum takes offsets below it...
constexpr std::uint64_t kFirstLevelStep = 32;     // ...that are multiples of this
constexpr std::uint64_t kMiddleSpan = 32764;      // the middle pass covers offsets below middle + this

}  // namespace

TChecksumWindows ChecksumWindowsOf(std::uint64_t length) {
    TChecksumWindows windows;
    windows.HeadLength = static_cast<std::size_t>(std::min(length, kHeadEnd));
    windows.MiddleOffset = length / 2;
    windows.MiddleLength = static_cast<std::size_t>(std::min(length - windows.MiddleOffset, kMiddleSpan));
    return windows;
}

TFileChecksums ComputeChecksums(std::uint64_t length, std::span<const std::uint8_t> head,
                                std::span<const std::uint8_t> middle) {
    const TChecksumWindows windows = ChecksumWindowsOf(length);
    if (head.size() < windows.HeadLength || middle.size() < windows.MiddleLength)
        throw FileError("The checksum windows are shorter than the file's length needs");
    if (length == 0) return {};

    // Offsets and sums wrap modulo 2^32 as the stored values do.
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    // A pass stops after the byte at or past length - 2 (the last even offset of the file).
    const std::uint64_t last = length >= 2 ? length - 2 : 0;

    for (std::uint64_t i = 0;;) {
        const std::uint32_t term = head[static_cast<std::size_t>(i)] + static_cast<std::uint32_t>(i);
        second += term;
        if (i >= last) break;
        if (i < kFirstLevelEnd && i % kFirstLevelStep == 0) first += term;
        i += 2;
        if (i >= kHeadEnd) break;
    }
    for (std::uint64_t i = windows.MiddleOffset; i < windows.MiddleOffset + kMiddleSpan; i += 2) {
        second += middle[static_cast<std::size_t>(i - windows.MiddleOffset)] + static_cast<std::uint32_t>(i);
        if (i >= last) break;
    }
    return {static_cast<std::int32_t>(first), static_cast<std::int32_t>(second)};
}

TFileChecksums ComputeChecksums(std::span<const std::uint8_t> content) {
    const TChecksumWindows windows = ChecksumWindowsOf(content.size());
    return ComputeChecksums(content.size(), content.first(windows.HeadLength),
                            content.subspan(static_cast<std::size_t>(windows.MiddleOffset), windows.MiddleLength));
}

TFileChecksums ComputeOpenedFileChecksums(const TOpenedFile& file) {
    const std::uint64_t length = file.Size();
    const TChecksumWindows windows = ChecksumWindowsOf(length);
    const auto head = file.MapWindow(0, windows.HeadLength);
    const auto middle = file.MapWindow(windows.MiddleOffset, windows.MiddleLength);
    return ComputeChecksums(length, head->Bytes(), middle->Bytes());
}

TFileChecksums ComputeFileChecksums(const TFileAccess& files, const std::string& path) {
    const auto size = files.FindFileSize(path);
    if (!size) throw FileError("No file \"" + path + "\"");
    if (!IsChecksumFileSize(*size))
        throw FileError("\"" + path + "\" is " + std::to_string(*size) + " bytes long; only files of " +
                        std::to_string(kMinChecksumFileSize) + " to " + std::to_string(kMaxChecksumFileSize) +
                        " bytes have checksums");
    return ComputeOpenedFileChecksums(*files.OpenForReading(path));
}

}  // namespace sentrel
