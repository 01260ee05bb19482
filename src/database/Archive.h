#pragma once
// The one-file zlib archive between the cipher and the serialised tables: a sequence of
// records, each a stored folder and name (1-byte lengths), the uncompressed and compressed
// sizes (signed 32-bit little-endian) and a zlib stream. The program always writes exactly one
// record with an empty folder.
//
// Reading is defensive: truncated records, negative sizes, names that would leave a folder or
// name a device, and streams that inflate to another size than stored (or to more than
// kMaxArchivedFileSize) are refused with DataBaseError. Records are inflated in memory only:
// a stored name is a label, and nothing is ever written under it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

// The largest file an archive may hold, and the most all its files together may inflate to.
// The real database is a few megabytes; anything near this bound is an inflate bomb.
inline constexpr std::int32_t kMaxArchivedFileSize = 64 * 1024 * 1024;

struct TArchiveRecord {
    std::string Folder;                 // relative folder, '\\'-separated; empty in our archives
    std::string Name;                   // bare file name
    std::int32_t UncompressedSize = 0;  // 0..kMaxArchivedFileSize
    std::span<const std::uint8_t> Data; // the zlib stream, inside the archive's bytes

    // Folder + "\\" + name, or the bare name when the folder is empty.
    std::string StoredPath() const;
};

// Walks every record without inflating; throws DataBaseError for a truncated or unsafe record.
std::vector<TArchiveRecord> ReadArchiveRecords(std::span<const std::uint8_t> archive);

// The stored paths of every record, in order.
std::vector<std::string> ListArchive(std::span<const std::uint8_t> archive);

// Inflates one record; DataBaseError unless it is one complete zlib stream of exactly the
// stored size.
std::vector<std::uint8_t> InflateRecord(const TArchiveRecord& record);

// An archive holding one file under `name` (empty folder), deflated at the default level with
// memory level 8 and a 15-bit window.
std::vector<std::uint8_t> BuildArchive(std::string_view name, std::span<const std::uint8_t> content);

// A stored name is safe when it is one plain file name: not empty, no separator or ':', not
// "." or "..", no control or reserved character, no trailing dot or blank, and not a Windows
// device name (CON, NUL, COM1, LPT1, ... with or without an extension).
bool IsSafeArchiveName(std::string_view name);
// A stored folder is safe when it is empty or a relative path of safe names separated by
// '\\' or '/'.
bool IsSafeArchiveFolder(std::string_view folder);

}  // namespace sentrel
