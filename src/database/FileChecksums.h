#pragma once
// The two checksums of a threat file (the FIRST_LEVEL_CHECKSUM and SECOND_LEVEL_CHECKSUM
// columns of Checksums): sums of byte + offset, modulo 2^32, over two fixed windows of the file,
// the head (up to 8192 bytes) and a window from the middle (up to 32764 bytes). Only files of
// kMinChecksumFileSize to kMaxChecksumFileSize bytes have checksums.

#include <cstdint>
#include <span>
#include <string>

#include "database/FileAccess.h"

namespace sentrel {

inline constexpr std::int64_t kMinChecksumFileSize = 1024;
inline constexpr std::int64_t kMaxChecksumFileSize = 15850124;

inline constexpr bool IsChecksumFileSize(std::int64_t size) {
    return size >= kMinChecksumFileSize && size <= kMaxChecksumFileSize;
}

struct TFileChecksums {
    std::int32_t FirstLevel = 0;
    std::int32_t SecondLevel = 0;
    friend bool operator==(const TFileChecksums&, const TFileChecksums&) = default;
};

// The two windows of a file of `length` bytes that the checksums read: [0, HeadLength) and
// [MiddleOffset, MiddleOffset + MiddleLength). They overlap in files under 16384 bytes.
struct TChecksumWindows {
    std::size_t HeadLength = 0;
    std::uint64_t MiddleOffset = 0;
    std::size_t MiddleLength = 0;
};
TChecksumWindows ChecksumWindowsOf(std::uint64_t length);

// The checksums of a file of `length` bytes from its two windows (as ChecksumWindowsOf gives
// them). A file of no bytes has the checksums 0 and 0.
TFileChecksums ComputeChecksums(std::uint64_t length, std::span<const std::uint8_t> head,
                                std::span<const std::uint8_t> middle);
// The same over the whole content.
TFileChecksums ComputeChecksums(std::span<const std::uint8_t> content);

// The checksums of a file. Its size comes from a directory query first; a file outside
// kMinChecksumFileSize..kMaxChecksumFileSize bytes is not opened (FileError). Otherwise it is
// opened for reading, sharing read and write, and only its two windows are read. Throws
// FileError when the file is missing or cannot be opened or read.
TFileChecksums ComputeFileChecksums(const TFileAccess& files, const std::string& path);

// The checksums of a file already opened (its current size decides the windows).
TFileChecksums ComputeOpenedFileChecksums(const TOpenedFile& file);

}  // namespace sentrel
