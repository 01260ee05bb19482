#include "database/Patch.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "common/Files.h"
#include "database/ByteStream.h"

namespace sentrel {

namespace {

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// A cursor over the patch bytes that refuses to read past the end.
class PatchCursor {
public:
    explicit PatchCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return position_ == bytes_.size(); }
    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return bytes_.size() - position_; }

    std::uint8_t ReadByte() { return bytes_[position_++]; }
    std::int32_t ReadInt32(const char* what) {
        Need(4, what);
        const std::int32_t value = ReadInt32Le(bytes_.data() + position_);
        position_ += 4;
        return value;
    }
    std::span<const std::uint8_t> ReadBytes(std::size_t count, const char* what) {
        Need(count, what);
        const auto bytes = bytes_.subspan(position_, count);
        position_ += count;
        return bytes;
    }

private:
    void Need(std::size_t count, const char* what) const {
        if (Remaining() < count)
            throw PatchError(std::string("the patch ends inside ") + what + " at byte " + std::to_string(position_));
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

void AppendInt32(std::vector<std::uint8_t>& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

}  // namespace

std::int32_t PatchChecksum(std::span<const std::uint8_t> bytes, std::int32_t sum) noexcept {
    // The byte-by-byte rule, sum = rotl(sum, 2) ^ signed(byte), is linear in XOR: byte i of n
    // ends up rotated by 2 * (n - 1 - i), which repeats every 16 bytes. So the bytes are XORed
    // into 16 lanes, 16 at a time from the end, and each lane is rotated once. The XOR of
    // sign-extended bytes is the sign extension of their XOR.
    const std::size_t n = bytes.size();
    std::uint64_t lanes[2] = {0, 0};
    std::size_t end = n;
    for (; end >= 16; end -= 16) {
        std::uint64_t block[2];
        std::memcpy(block, bytes.data() + end - 16, 16);
        lanes[0] ^= block[0];
        lanes[1] ^= block[1];
    }
    std::uint8_t lane[16];
    std::memcpy(lane, lanes, 16);
    // The first n % 16 bytes fill the last lanes of a partial block.
    for (std::size_t i = 0; i < end; ++i) lane[16 - end + i] ^= bytes[i];
    auto bits = std::rotl(static_cast<std::uint32_t>(sum), static_cast<int>((2 * n) % 32));
    for (int position = 0; position < 16; ++position) {
        const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(lane[position])));
        bits ^= std::rotl(value, 2 * (15 - position));
    }
    return static_cast<std::int32_t>(bits);
}

TPatchHeader ReadPatchHeader(std::span<const std::uint8_t> patch) {
    if (patch.size() < kPatchHeaderSize)
        throw PatchError("the patch is " + std::to_string(patch.size()) + " bytes long, shorter than its header");
    TPatchHeader header;
    header.UpdateNumber = ReadInt32Le(patch.data());
    header.Mark = ReadInt32Le(patch.data() + 4);
    header.OldLength = ReadInt32Le(patch.data() + 8);
    header.NewLength = ReadInt32Le(patch.data() + 12);
    if (header.Mark == kDataBaseHashesMark) {
        if (patch.size() < kHashedPatchHeaderSize)
            throw PatchError("the patch ends inside the digests of its databases");
        TDataBaseHashes hashes;
        std::copy_n(patch.begin() + kPatchHeaderSize, hashes.Old.size(), hashes.Old.begin());
        std::copy_n(patch.begin() + kPatchHeaderSize + hashes.Old.size(), hashes.New.size(), hashes.New.begin());
        header.Hashes = hashes;
        header.RecordsOffset = kHashedPatchHeaderSize;
    }
    return header;
}

TPatchStats WalkPatch(std::span<const std::uint8_t> patch, const TPatchVisitor& visitor) {
    const TPatchHeader header = ReadPatchHeader(patch);
    if (header.NewLength < 0 || header.NewLength > kMaxPatchedSize)
        throw PatchError("the patch would make a database of " + std::to_string(header.NewLength) + " bytes (at most " +
                         std::to_string(kMaxPatchedSize) + " are allowed)");
    TPatchStats stats;
    stats.UpdateNumber = header.UpdateNumber;
    std::int64_t remaining = header.NewLength;
    const std::int64_t oldLength = header.OldLength;  // as the header says; the file may be shorter
    PatchCursor cursor(patch.subspan(header.RecordsOffset));

    while (!cursor.AtEnd()) {
        const std::size_t recordStart = header.RecordsOffset + cursor.Position();
        const std::uint8_t tag = cursor.ReadByte();
        if (tag == kAddTag) {
            const std::int32_t length = cursor.ReadInt32("the length of an add record");
            if (length < 0)
                throw PatchError("an add record at byte " + std::to_string(recordStart) + " has a negative length");
            if (length > remaining)
                throw PatchError("the records at byte " + std::to_string(recordStart) +
                                 " make the database longer than the patch says");
            const auto bytes = cursor.ReadBytes(static_cast<std::size_t>(length), "an add record");
            if (visitor.Add) visitor.Add(bytes);
            remaining -= length;
            ++stats.Adds;
            stats.AddedBytes += bytes.size();
        } else if (tag == kCopyTag) {
            const std::int64_t offset = cursor.ReadInt32("a copy record");
            const std::int64_t length = cursor.ReadInt32("a copy record");
            const std::int32_t checksum = cursor.ReadInt32("a copy record");
            if (offset < 0 || length <= 0 || offset > oldLength || length > oldLength || offset + length > oldLength)
                throw PatchError("a copy record at byte " + std::to_string(recordStart) +
                                 " reaches past the old database");
            if (length > remaining)
                throw PatchError("the records at byte " + std::to_string(recordStart) +
                                 " make the database longer than the patch says");
            if (visitor.Copy &&
                !visitor.Copy(static_cast<std::size_t>(offset), static_cast<std::size_t>(length), checksum))
                ++stats.ChecksumMismatches;
            remaining -= length;
            ++stats.Copies;
            stats.CopiedBytes += static_cast<std::size_t>(length);
        } else {
            throw PatchError("the patch is garbled: unknown record tag " + std::to_string(tag) + " at byte " +
                             std::to_string(recordStart));
        }
    }
    if (remaining != 0)
        throw PatchError("the records make " + std::to_string(header.NewLength - remaining) + " bytes instead of the " +
                         std::to_string(header.NewLength) + " the patch says");
    return stats;
}

std::vector<std::uint8_t> ApplyPatchBytes(std::span<const std::uint8_t> oldBytes, std::span<const std::uint8_t> patch,
                                          TPatchStats* stats) {
    if (oldBytes.size() > static_cast<std::size_t>(kMaxPatchedSize))
        throw PatchError("the database to patch is larger than " + std::to_string(kMaxPatchedSize) + " bytes");
    const TPatchHeader header = ReadPatchHeader(patch);
    std::vector<std::uint8_t> out;
    // Only what the usual patch (old bytes plus added ones) can make is reserved: a garbled
    // header's length costs nothing before the records prove it.
    if (header.NewLength >= 0 && header.NewLength <= kMaxPatchedSize)
        out.reserve(std::min(static_cast<std::size_t>(header.NewLength), oldBytes.size() + patch.size()));

    TPatchVisitor visitor;
    visitor.Add = [&](std::span<const std::uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };
    visitor.Copy = [&](std::size_t offset, std::size_t length, std::int32_t checksum) {
        // The header's old length is not the file's: a source that ends early is refused.
        if (offset > oldBytes.size() || length > oldBytes.size() - offset)
            throw PatchError("the database to patch is shorter than the patch expects");
        std::int32_t sum = 0;
        for (std::size_t done = 0; done < length;) {
            const std::size_t chunk = std::min(kPatchCopyChunk, length - done);
            const auto piece = oldBytes.subspan(offset + done, chunk);
            sum = PatchChecksum(piece, sum);
            out.insert(out.end(), piece.begin(), piece.end());
            done += chunk;
        }
        return sum == checksum;
    };
    const TPatchStats counts = WalkPatch(patch, visitor);
    if (stats != nullptr) *stats = counts;
    return out;
}

std::string PatchTemporaryPath(const std::string& newPath) {
    const std::string folder = FolderPart(newPath);
    std::string name = newPath.substr(folder.size());
    if (name.empty()) throw PatchError("the patch output " + Quoted(newPath) + " names no file");
    name[0] = '$';
    return folder + name;
}

TPatchStats ApplyPatch(const std::string& oldPath, const std::string& newPath, const std::string& patchPath) {
    const std::int64_t patchSize = FileSize(patchPath);
    // A patch cannot be much longer than what it makes: each add byte is an output byte.
    if (patchSize > static_cast<std::int64_t>(kMaxPatchedSize) * 2)
        throw PatchError("the patch " + Quoted(patchPath) + " is far too large");
    std::vector<std::uint8_t> patch;
    std::vector<std::uint8_t> oldBytes;
    try {
        patch = ReadFileBytes(patchPath);
        ReadPatchHeader(patch);
        if (FileSize(oldPath) > kMaxPatchedSize)
            throw PatchError("the database to patch is larger than " + std::to_string(kMaxPatchedSize) + " bytes");
        oldBytes = ReadFileBytes(oldPath);
    } catch (const FileError& error) {
        throw PatchError(error.what());
    }
    if (newPath.empty()) throw PatchError("the patch has no output file");
    const std::string temporary = PatchTemporaryPath(newPath);

    // The whole patch is checked first, so that a fault is found before the "$" file exists;
    // then the records are written straight from the old bytes and the patch.
    TPatchVisitor check;
    check.Copy = [&](std::size_t offset, std::size_t length, std::int32_t) {
        if (offset > oldBytes.size() || length > oldBytes.size() - offset)
            throw PatchError("the database to patch is shorter than the patch expects");
        return true;
    };
    WalkPatch(patch, check);

    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) throw PatchError("Cannot create " + Quoted(temporary));
    std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    bool written = true;
    auto write = [&](std::span<const std::uint8_t> piece) {
        written = written && std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    };
    TPatchVisitor output;
    output.Add = write;
    output.Copy = [&](std::size_t offset, std::size_t length, std::int32_t checksum) {
        // The checksum runs over the record's 4096-byte pieces in turn; the bytes go out in one
        // write (a large write bypasses the stream's buffer).
        const auto copied = std::span(oldBytes).subspan(offset, length);
        std::int32_t sum = 0;
        for (std::size_t done = 0; done < length; done += kPatchCopyChunk)
            sum = PatchChecksum(copied.subspan(done, std::min(kPatchCopyChunk, length - done)), sum);
        write(copied);
        return sum == checksum;
    };
    TPatchStats stats;
    try {
        stats = WalkPatch(patch, output);
    } catch (...) {
        std::fclose(file);
        RemoveFile(temporary);
        throw;
    }
    written = std::fclose(file) == 0 && written;
    try {
        if (!written) throw FileError("Cannot write " + Quoted(temporary));
        MoveFileOver(temporary, newPath);
    } catch (const FileError& error) {
        RemoveFile(temporary);
        throw PatchError(error.what());
    }
    return stats;
}

// --- The maker's side ----------------------------------------------------------------------------

TPatchWriter::TPatchWriter(std::int32_t updateNumber, std::int32_t oldLength, std::int32_t newLength,
                           const TDataBaseHashes& hashes) {
    WriteInt32(updateNumber);
    WriteInt32(kDataBaseHashesMark);
    WriteInt32(oldLength);
    WriteInt32(newLength);
    bytes_.insert(bytes_.end(), hashes.Old.begin(), hashes.Old.end());
    bytes_.insert(bytes_.end(), hashes.New.begin(), hashes.New.end());
}

void TPatchWriter::WriteInt32(std::int32_t value) {
    AppendInt32(bytes_, value);
}

void TPatchWriter::Copy(std::span<const std::uint8_t> oldBytes, std::size_t offset, std::size_t length) {
    const auto copied = oldBytes.subspan(offset, length);
    bytes_.push_back(kCopyTag);
    WriteInt32(static_cast<std::int32_t>(offset));
    WriteInt32(static_cast<std::int32_t>(length));
    WriteInt32(PatchChecksum(copied));
}

void TPatchWriter::Add(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    bytes_.push_back(kAddTag);
    WriteInt32(static_cast<std::int32_t>(bytes.size()));
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

namespace {

// Blocks of the old database are indexed at every multiple of kBlock; every position of the new
// one is looked up, so any shared run of 2 * kBlock - 1 bytes or more is found.
constexpr std::size_t kBlock = 32;

std::uint64_t BlockHash(const std::uint8_t* p) noexcept {
    std::uint64_t words[kBlock / 8];
    std::memcpy(words, p, kBlock);
    std::uint64_t hash = 0x9E3779B97F4A7C15ull;
    for (const std::uint64_t word : words) hash = (std::rotl(hash, 29) ^ word) * 0xBF58476D1CE4E5B9ull;
    return hash ^ (hash >> 31);
}

}  // namespace

std::vector<std::uint8_t> MakePatch(std::int32_t updateNumber, std::span<const std::uint8_t> oldBytes,
                                    std::span<const std::uint8_t> newBytes) {
    if (oldBytes.size() > static_cast<std::size_t>(kMaxPatchedSize) ||
        newBytes.size() > static_cast<std::size_t>(kMaxPatchedSize))
        throw PatchError("a database larger than " + std::to_string(kMaxPatchedSize) + " bytes cannot be patched");
    TPatchWriter writer(updateNumber, static_cast<std::int32_t>(oldBytes.size()),
                        static_cast<std::int32_t>(newBytes.size()), {Sha256Of(oldBytes), Sha256Of(newBytes)});

    std::unordered_map<std::uint64_t, std::size_t> blocks;
    blocks.reserve(oldBytes.size() / kBlock + 1);
    for (std::size_t offset = 0; offset + kBlock <= oldBytes.size(); offset += kBlock)
        blocks.try_emplace(BlockHash(oldBytes.data() + offset), offset);

    std::size_t pending = 0;  // start of the new bytes not yet written
    std::size_t position = 0;
    while (position + kBlock <= newBytes.size()) {
        const auto found = blocks.find(BlockHash(newBytes.data() + position));
        if (found == blocks.end() ||
            std::memcmp(oldBytes.data() + found->second, newBytes.data() + position, kBlock) != 0) {
            ++position;
            continue;
        }
        std::size_t oldStart = found->second;
        std::size_t newStart = position;
        while (newStart > pending && oldStart > 0 && newBytes[newStart - 1] == oldBytes[oldStart - 1]) {
            --newStart;
            --oldStart;
        }
        std::size_t length = position - newStart + kBlock;
        while (newStart + length < newBytes.size() && oldStart + length < oldBytes.size() &&
               newBytes[newStart + length] == oldBytes[oldStart + length])
            ++length;
        writer.Add(newBytes.subspan(pending, newStart - pending));
        writer.Copy(oldBytes, oldStart, length);
        position = newStart + length;
        pending = position;
    }
    writer.Add(newBytes.subspan(pending));
    return writer.Release();
}

}  // namespace sentrel
