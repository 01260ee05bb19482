#include "database/Patch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/Files.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

// A patch put together by hand, for the faults a producer could make.
struct RawPatch {
    Bytes bytes;
    RawPatch(std::int32_t number, std::int32_t oldLength, std::int32_t newLength) {
        Int(number);
        Int(0);
        Int(oldLength);
        Int(newLength);
    }
    RawPatch& Int(std::int32_t value) {
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
        return *this;
    }
    RawPatch& Copy(std::int32_t offset, std::int32_t length, std::int32_t checksum = 0) {
        bytes.push_back(kCopyTag);
        return Int(offset).Int(length).Int(checksum);
    }
    RawPatch& Add(std::string_view text) {
        bytes.push_back(kAddTag);
        Int(static_cast<std::int32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
};

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PatchChecksum, RotatesLeftByTwoAndXorsSignedBytes) {
    EXPECT_EQ(PatchChecksum({}), 0);
    const Bytes twoBytes = {1, 2};
    EXPECT_EQ(PatchChecksum(twoBytes), 6);  // ((0 rotl 2) ^ 1) rotl 2 ^ 2
    const Bytes negative = {0xFF};
    EXPECT_EQ(PatchChecksum(negative), -1);  // sign-extended
    const Bytes rotateOut = {0xFF, 0x00};
    EXPECT_EQ(static_cast<std::uint32_t>(PatchChecksum(rotateOut)), 0xFFFFFFFFu);  // all ones rotate into themselves
    // Checksums carry over pieces: one pass equals two.
    const Bytes data = RandomBytes(10000, 1);
    EXPECT_EQ(PatchChecksum(std::span(data).subspan(4096), PatchChecksum(std::span(data).first(4096))),
              PatchChecksum(data));
    // Every length and starting sum agrees with the rule applied one byte at a time.
    for (std::size_t length = 0; length <= 70; ++length) {
        const auto piece = std::span(data).subspan(length * 3, length);
        const std::int32_t start = static_cast<std::int32_t>(length * 0x9E3779B9u);
        auto stepwise = static_cast<std::uint32_t>(start);
        for (const std::uint8_t byte : piece)
            stepwise = (stepwise << 2 | stepwise >> 30) ^ static_cast<std::uint32_t>(static_cast<std::int8_t>(byte));
        EXPECT_EQ(PatchChecksum(piece, start), static_cast<std::int32_t>(stepwise)) << length;
    }
}

TEST(ApplyPatch, CopiesAndAddsThroughTheDollarFile) {
    test::TempFolder folder;
    const Bytes old = RandomBytes(10000, 2);  // more than two 4096-byte pieces
    WriteFileBytes(folder / "db_unpacked.dat", old);
    RawPatch patch(58, 10000, 10005);
    patch.Copy(0, 10000, PatchChecksum(old)).Add("added");
    WriteFileBytes(folder / "update_unpacked.dat", patch.bytes);

    EXPECT_EQ(PatchTemporaryPath(folder / "db_unpacked_patched.dat"), folder / "$b_unpacked_patched.dat");
    const TPatchStats stats =
        ApplyPatch(folder / "db_unpacked.dat", folder / "db_unpacked_patched.dat", folder / "update_unpacked.dat");
    Bytes expected = old;
    expected.insert(expected.end(), {'a', 'd', 'd', 'e', 'd'});
    EXPECT_EQ(ReadFileBytes(folder / "db_unpacked_patched.dat"), expected);
    EXPECT_EQ(stats.UpdateNumber, 58);
    EXPECT_EQ(stats.Copies, 1u);
    EXPECT_EQ(stats.Adds, 1u);
    EXPECT_EQ(stats.ChecksumMismatches, 0u);
    EXPECT_EQ(FilesIn(folder.Path()),
              (std::vector<std::string>{"db_unpacked.dat", "db_unpacked_patched.dat", "update_unpacked.dat"}));
}

TEST(ApplyPatch, AppliesCopiesWithWrongChecksumsAndCountsThem) {
    const Bytes old = Text("0123456789");
    RawPatch patch(2, 10, 7);
    patch.Copy(5, 5, 12345).Copy(0, 2, PatchChecksum(Text("01")));
    TPatchStats stats;
    EXPECT_EQ(ApplyPatchBytes(old, patch.bytes, &stats), Text("5678901"));
    EXPECT_EQ(stats.ChecksumMismatches, 1u);
}

TEST(ApplyPatch, RefusesHostilePatchesWithoutAnyOutput) {
    const std::string old = "0123456789";
    struct Case {
        const char* name;
        Bytes patch;
    };
    auto header = [](std::int32_t oldLength, std::int32_t newLength) { return RawPatch(2, oldLength, newLength); };
    auto cut = [](Bytes bytes, std::size_t count) {
        bytes.resize(bytes.size() - count);
        return bytes;
    };
    auto withTag = [](Bytes bytes, std::uint8_t tag) {
        bytes.push_back(tag);
        return bytes;
    };
    RawPatch negativeAdd = header(10, 0);
    negativeAdd.bytes.push_back(kAddTag);
    negativeAdd.Int(-5);
    const std::vector<Case> cases = {
        {"empty", {}},
        {"short header", Bytes(15, 0)},
        {"unknown tag", withTag(header(10, 3).Add("abc").bytes, 0x41)},
        {"truncated add", cut(header(10, 3).Add("abc").bytes, 1)},
        {"truncated add length", withTag(header(10, 3).bytes, kAddTag)},
        {"truncated copy", cut(header(10, 3).Copy(0, 3).bytes, 2)},
        {"fewer bytes than the new length", header(10, 8).Add("abc").Copy(0, 4).bytes},
        {"more bytes than the new length", header(10, 3).Add("ab").Add("cd").bytes},
        {"a copy beyond the new length", header(10, 3).Copy(0, 4).bytes},
        {"copy past the old length", header(10, 5).Copy(8, 5).bytes},
        {"copy offset beyond the old length", header(10, 1).Copy(11, 1).bytes},
        {"negative copy offset", header(10, 2).Copy(-1, 2).bytes},
        {"empty copy", header(10, 0).Copy(0, 0).bytes},
        {"negative add length", negativeAdd.bytes},
        {"new length beyond the bound", header(10, kMaxPatchedSize + 1).Add("a").bytes},
        {"negative new length", header(10, -1).bytes},
        {"old file shorter than the header says", header(20, 5).Copy(8, 5).bytes},
        {"copy that overflows", header(10, 2).Copy(0x7FFFFFFF, 2).bytes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        test::WriteTextFile(folder / "old.dat", old);
        WriteFileBytes(folder / "patch.dat", c.patch);
        EXPECT_THROW(ApplyPatch(folder / "old.dat", folder / "new.dat", folder / "patch.dat"), PatchError);
        EXPECT_EQ(FilesIn(folder.Path()), (std::vector<std::string>{"old.dat", "patch.dat"}));
    }
}

TEST(ApplyPatch, RaisesInsteadOfEndingTheProcessWhenFilesAreMissing) {
    test::TempFolder folder;
    WriteFileBytes(folder / "patch.dat", RawPatch(2, 0, 0).bytes);
    EXPECT_THROW(ApplyPatch(folder / "missing.dat", folder / "new.dat", folder / "patch.dat"), PatchError);
    EXPECT_THROW(ApplyPatch(folder / "patch.dat", folder / "new.dat", folder / "missing.dat"), PatchError);
    EXPECT_THROW(ApplyPatch(folder / "patch.dat", "", folder / "patch.dat"), PatchError);
    EXPECT_FALSE(FileExists(folder / "new.dat"));
}

TEST(MakePatch, NamesBothDataBasesByTheirDigestsBeforeTheRecords) {
    const Bytes from = RandomBytes(3000, 5);
    Bytes to = from;
    to[1000] ^= 1;
    to.push_back(9);
    const Bytes patch = MakePatch(9, from, to);
    EXPECT_EQ(Bytes(patch.begin() + 4, patch.begin() + 8), Text("SHA2"));
    const TPatchHeader header = ReadPatchHeader(patch);
    ASSERT_TRUE(header.Hashes.has_value());
    EXPECT_EQ(header.Hashes->Old, Sha256Of(from));
    EXPECT_EQ(header.Hashes->New, Sha256Of(to));
    EXPECT_EQ(header.RecordsOffset, kHashedPatchHeaderSize);
    EXPECT_EQ(ApplyPatchBytes(from, patch), to);
    // The mark with its digests cut short; a header of an older tool has no digests.
    EXPECT_THROW(ReadPatchHeader(std::span(patch).first(kHashedPatchHeaderSize - 1)), PatchError);
    EXPECT_THROW(WalkPatch(std::span(patch).first(kHashedPatchHeaderSize - 1)), PatchError);
    const TPatchHeader older = ReadPatchHeader(RawPatch(2, 10, 0).bytes);
    EXPECT_FALSE(older.Hashes.has_value());
    EXPECT_EQ(older.RecordsOffset, kPatchHeaderSize);
}

// Edits of a random buffer: the patch always reproduces the new bytes, and stays small when
// the change is small.
TEST(MakePatch, ReproducesEditedDataWithSmallPatches) {
    const Bytes base = RandomBytes(200000, 3);
    struct Edit {
        const char* name;
        Bytes next;
    };
    Bytes changed = base;
    changed[100000] ^= 0x55;
    Bytes inserted = base;
    inserted.insert(inserted.begin() + 5000, 300, 'x');
    Bytes removed = base;
    removed.erase(removed.begin() + 70000, removed.begin() + 71000);
    Bytes moved(base.begin() + 100000, base.end());
    moved.insert(moved.end(), base.begin(), base.begin() + 100000);
    const std::vector<Edit> edits = {
        {"same", base},
        {"one byte changed", changed},
        {"bytes inserted", inserted},
        {"bytes removed", removed},
        {"halves swapped", moved},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        const Bytes patch = MakePatch(7, base, edit.next);
        TPatchStats stats;
        EXPECT_EQ(ApplyPatchBytes(base, patch, &stats), edit.next);
        EXPECT_EQ(stats.ChecksumMismatches, 0u);
        EXPECT_LT(patch.size(), 1000u);
        EXPECT_EQ(ReadPatchHeader(patch).UpdateNumber, 7);
    }
    for (const auto& [from, to] : {std::pair{Bytes{}, base}, std::pair{base, Bytes{}}, std::pair{Bytes{}, Bytes{}},
                                   std::pair{Text("short"), Text("shorter")}}) {
        EXPECT_EQ(ApplyPatchBytes(from, MakePatch(1, from, to)), to);
    }
    const Bytes unrelated = RandomBytes(5000, 4);
    EXPECT_EQ(ApplyPatchBytes(base, MakePatch(1, base, unrelated)), unrelated);
}

}  // namespace
}  // namespace sentrel
