#pragma once
// The patch inside an update file: a byte-level delta that turns the unpacked database with
// number n into the one with number n + 1.
//
//   offset 0   update number (the database number the patch produces)
//   offset 4   kDataBaseHashesMark ("SHA2") when the patch names its databases, else anything
//   offset 8   length of the old unpacked database
//   offset 12  length of the new unpacked database
//   with the mark:
//   offset 16  SHA-256 of the old unpacked database (the bytes the copies read)
//   offset 48  SHA-256 of the new unpacked database (the bytes the patch makes)
//   offset 80  records to the end (offset 16 without the mark):
//              0x40 offset, length, checksum (copy from the old database)
//              0x2B length, bytes            (add these bytes)
// All integers are signed 32-bit little-endian.
//
// The whole update file is signed by the maker, so the two digests bind the update to the one
// database it was made from and the one it makes: the program applies an update only to a
// database whose digest is the old one, and keeps the result only when its digest is the new
// one (database/DataBaseUpdate.h). Patches of older tools have no mark and name no databases;
// they are read, but the program no longer applies them.
//
// The applier is strict where the format leaves room for harm: a record that would make the
// output longer than the header's new length, a new length beyond kMaxPatchedSize, a copy past
// the old length, an unknown tag or a record cut short all stop the patch before anything is
// written. It never ends the process; it throws PatchError. It does not compare the digests:
// that is the caller's decision.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBaseError.h"
#include "database/Sha256.h"

namespace sentrel {

// A patch that cannot be applied: garbled, truncated, oversized, or files that cannot be read
// or written. The database it was meant for is untouched.
class PatchError : public DataBaseError {
public:
    using DataBaseError::DataBaseError;
};

inline constexpr std::uint8_t kCopyTag = 0x40;
inline constexpr std::uint8_t kAddTag = 0x2B;  // '+'
// The header without the digests (patches of older tools), and with them.
inline constexpr std::size_t kPatchHeaderSize = 16;
inline constexpr std::size_t kHashedPatchHeaderSize = kPatchHeaderSize + 2 * 32;
// The bytes "SHA2" at offset 4: the digests of both databases follow the lengths.
inline constexpr std::int32_t kDataBaseHashesMark = 0x32414853;
// The largest database a patch may produce (and the largest old database it may read). The
// real database is a few megabytes.
inline constexpr std::int32_t kMaxPatchedSize = 256 * 1024 * 1024;
// Copies move at most this many bytes at a time.
inline constexpr std::size_t kPatchCopyChunk = 4096;

// The databases a patch was made between.
struct TDataBaseHashes {
    TSha256Digest Old{};
    TSha256Digest New{};
    bool operator==(const TDataBaseHashes&) const = default;
};

struct TPatchHeader {
    std::int32_t UpdateNumber = 0;
    std::int32_t Mark = 0;  // kDataBaseHashesMark, or what an older tool wrote there
    std::int32_t OldLength = 0;
    std::int32_t NewLength = 0;
    std::optional<TDataBaseHashes> Hashes;      // present with the mark
    std::size_t RecordsOffset = kPatchHeaderSize;  // where the records start
};

// What an applied patch did. The producer's checksums are computed but never decide anything:
// a copy with a wrong checksum is applied all the same (the maker's tool reports them).
struct TPatchStats {
    std::int32_t UpdateNumber = 0;
    std::size_t Copies = 0;
    std::size_t Adds = 0;
    std::size_t CopiedBytes = 0;
    std::size_t AddedBytes = 0;
    std::size_t ChecksumMismatches = 0;
};

// The producer's checksum of copied bytes: from 0, for each byte rotate the sum left by 2 bits
// and XOR it with the byte taken as a signed value.
std::int32_t PatchChecksum(std::span<const std::uint8_t> bytes, std::int32_t sum = 0) noexcept;

// The header of a patch (16 bytes, or 80 with the mark); PatchError when fewer are there.
TPatchHeader ReadPatchHeader(std::span<const std::uint8_t> patch);

// What WalkPatch calls for each record. Copy returns whether the record's checksum was right.
struct TPatchVisitor {
    std::function<void(std::span<const std::uint8_t> bytes)> Add;
    std::function<bool(std::size_t offset, std::size_t length, std::int32_t checksum)> Copy;
};

// Checks a patch record by record against its own header (tags, lengths, copies within the old
// length, the records making exactly the new length) and calls the visitor for each; nothing
// else is read. PatchError at the first fault.
TPatchStats WalkPatch(std::span<const std::uint8_t> patch, const TPatchVisitor& visitor = {});

// Applies a patch in memory to the old database's bytes and returns the new database's bytes,
// exactly header.NewLength of them. PatchError on any fault, before any output exists.
std::vector<std::uint8_t> ApplyPatchBytes(std::span<const std::uint8_t> oldBytes, std::span<const std::uint8_t> patch,
                                          TPatchStats* stats = nullptr);

// The name of the temporary output of a patch to `newPath`: the same folder, the file name with
// its first character replaced by '$' (db_unpacked_patched.dat -> $b_unpacked_patched.dat).
std::string PatchTemporaryPath(const std::string& newPath);

// Applies the patch file to the old file and writes the result to `newPath` through its "$"
// temporary file, moved into place in one step. On any failure PatchError is thrown, `newPath`
// is not produced and no "$" file is left behind.
TPatchStats ApplyPatch(const std::string& oldPath, const std::string& newPath, const std::string& patchPath);

// Builds a patch record by record (the maker's side). It always writes the mark and both digests.
class TPatchWriter {
public:
    TPatchWriter(std::int32_t updateNumber, std::int32_t oldLength, std::int32_t newLength,
                 const TDataBaseHashes& hashes);
    // A copy of old[offset, offset + length) with the checksum of those bytes.
    void Copy(std::span<const std::uint8_t> oldBytes, std::size_t offset, std::size_t length);
    void Add(std::span<const std::uint8_t> bytes);
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> Release() { return std::move(bytes_); }

private:
    void WriteInt32(std::int32_t value);
    std::vector<std::uint8_t> bytes_;
};

// A patch from `oldBytes` to `newBytes`, naming both by their digests: copies of every run of at
// least a few dozen bytes that the new database shares with the old one, literal adds for the
// rest. A small change to a large database gives a small patch. PatchError when either side exceeds kMaxPatchedSize.
std::vector<std::uint8_t> MakePatch(std::int32_t updateNumber, std::span<const std::uint8_t> oldBytes,
                                    std::span<const std::uint8_t> newBytes);

}  // namespace sentrel
