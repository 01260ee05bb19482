#include "database/Archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>

#include "database/ByteStream.h"
#include "database/DataBaseError.h"

namespace sentrel {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> ZlibStream(std::span<const std::uint8_t> content) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, content.data(), static_cast<uLong>(content.size()), Z_DEFAULT_COMPRESSION),
              Z_OK);
    out.resize(size);
    return out;
}

// One record written field by field, so that any field can be wrong.
std::vector<std::uint8_t> Record(std::string_view folder, std::string_view name, std::int32_t uncompressed,
                                 std::span<const std::uint8_t> data,
                                 std::optional<std::int32_t> compressed = std::nullopt) {
    std::vector<std::uint8_t> out;
    out.push_back(static_cast<std::uint8_t>(folder.size()));
    out.insert(out.end(), folder.begin(), folder.end());
    out.push_back(static_cast<std::uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    ByteWriter writer(out);
    writer.WriteInt32(uncompressed);
    writer.WriteInt32(compressed.value_or(static_cast<std::int32_t>(data.size())));
    writer.WriteBytes(data);
    return out;
}

std::vector<std::uint8_t> GoodRecord(std::string_view folder, std::string_view name, std::string_view text) {
    const auto content = Bytes(text);
    return Record(folder, name, static_cast<std::int32_t>(content.size()), ZlibStream(content));
}

std::vector<std::uint8_t> Concat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Every record read and inflated, as the database reads its one file.
void InflateAll(std::span<const std::uint8_t> archive) {
    for (const TArchiveRecord& record : ReadArchiveRecords(archive)) InflateRecord(record);
}

TEST(Archive, BuildsOneRecordWithADefaultLevelZlibStream) {
    std::vector<std::uint8_t> content;
    for (int i = 0; i < 100000; ++i) content.push_back(static_cast<std::uint8_t>((i * 7) % 13 + 'a'));
    const auto archive = BuildArchive("db", content);

    const std::vector<std::uint8_t> head = {0, 2, 'd', 'b', 0xA0, 0x86, 0x01, 0x00};  // 100000 little-endian
    ASSERT_GT(archive.size(), 12u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), archive.begin()));
    // Default level, memory level 8, 15-bit window: what zlib's own compress2 produces.
    EXPECT_EQ(std::vector<std::uint8_t>(archive.begin() + 12, archive.end()), ZlibStream(content));
    EXPECT_EQ(ReadInt32Le(archive.data() + 8), static_cast<std::int32_t>(archive.size() - 12));

    const auto records = ReadArchiveRecords(archive);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Folder, "");
    EXPECT_EQ(records[0].Name, "db");
    EXPECT_EQ(InflateRecord(records[0]), content);

    // An empty file still makes a valid record.
    const auto empty = BuildArchive("empty.dat", {});
    EXPECT_TRUE(InflateRecord(ReadArchiveRecords(empty).at(0)).empty());
    EXPECT_THROW(BuildArchive("..", content), DataBaseError);
    EXPECT_THROW(BuildArchive(std::string(256, 'a'), content), DataBaseError);
}

TEST(Archive, ListsAndInflatesEveryRecord) {
    const auto archive = Concat(GoodRecord("", "first.dat", "one"), GoodRecord("sub\\deeper", "second.dat", "two"));
    EXPECT_EQ(ListArchive(archive), (std::vector<std::string>{"first.dat", "sub\\deeper\\second.dat"}));
    const auto records = ReadArchiveRecords(archive);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(InflateRecord(records[0]), Bytes("one"));
    EXPECT_EQ(records[1].Folder, "sub\\deeper");
    EXPECT_EQ(InflateRecord(records[1]), Bytes("two"));
    EXPECT_TRUE(ListArchive({}).empty());
}

TEST(Archive, NamesThatLeaveTheFolderOrNameADeviceAreRefused) {
    for (const char* name : {"", ".", "..", "a\\b", "a/b", "C:x", "x:stream", "CON", "con", "Nul.txt", "PRN",
                             "aux.dat", "COM1", "com9.log", "LPT1", "lpt3.x.y", "CON .txt", "CONOUT$", "name.",
                             "name ", "a*b", "a?b", "a|b", "a\"b", "a<b", "tab\tname"}) {
        EXPECT_FALSE(IsSafeArchiveName(name)) << name;
    }
    for (const char* name : {"db", "db_unpacked.dat", "CONSOLE", "com10", "COMPUTER.txt", "nully", ".hidden",
                             "a b.txt", "\xE4\xF6.dat"}) {
        EXPECT_TRUE(IsSafeArchiveName(name)) << name;
    }
    for (const char* folder : {"\\abs", "/abs", "C:\\x", "C:", "..", "a\\..\\..", "a\\..", "a\\\\b", "a\\", "NUL",
                               "sub\\CON"}) {
        EXPECT_FALSE(IsSafeArchiveFolder(folder)) << folder;
    }
    for (const char* folder : {"", "sub", "sub\\deeper", "sub/deeper", "a.b\\c"}) {
        EXPECT_TRUE(IsSafeArchiveFolder(folder)) << folder;
    }

    // A bad record after a good one.
    const std::pair<const char*, const char*> bad[] = {
        {"", "..\\escape.dat"}, {"..", "escape.dat"}, {"\\abs", "x"}, {"C:\\Windows", "x.dll"},
        {"", "C:evil"}, {"", "nul"}, {"", "lpt1.txt"}, {"", ""}, {"sub\\..\\..", "x"}};
    for (const auto& [storedFolder, name] : bad) {
        const auto archive = Concat(GoodRecord("", "good.dat", "fine"), GoodRecord(storedFolder, name, "evil"));
        EXPECT_THROW(ReadArchiveRecords(archive), DataBaseError) << storedFolder << " " << name;
    }
}

TEST(Archive, SizesThatDoNotMatchTheStreamAreRefused) {
    const auto content = Bytes("the serialised tables, or some other file content");
    const auto stream = ZlibStream(content);
    const auto size = static_cast<std::int32_t>(content.size());
    auto withTrailer = stream;
    withTrailer.push_back(0);
    auto garbled = stream;
    garbled[5] ^= 0xFF;
    const std::vector<std::uint8_t> bomb = ZlibStream(std::vector<std::uint8_t>(kMaxArchivedFileSize + 1u, 0));

    const std::vector<std::vector<std::uint8_t>> archives = {
        Record("", "a.dat", size + 1, stream),                 // inflates to less than stored
        Record("", "a.dat", size - 1, stream),                 // inflates to more than stored
        Record("", "a.dat", 0, stream),
        Record("", "a.dat", -1, stream),                       // negative sizes
        Record("", "a.dat", size, stream, 0x7fffffff),         // compressed size beyond the end
        Record("", "a.dat", size, stream, -2),
        Record("", "a.dat", size, withTrailer),                // data after the stream
        Record("", "a.dat", size, garbled),                    // not a zlib stream
        Record("", "a.dat", size, std::span(stream).first(stream.size() - 3)),  // stream cut short
        Record("", "a.dat", kMaxArchivedFileSize + 1, bomb),   // beyond the bound, even if honest
        Record("", "a.dat", kMaxArchivedFileSize, bomb),       // an inflate bomb lying about its size
        Record("", "a.dat", 100, bomb),
        // Together the files would inflate to more than the bound.
        Concat(Record("", "a.dat", kMaxArchivedFileSize / 2 + 1, {}),
               Record("", "b.dat", kMaxArchivedFileSize / 2, {})),
    };
    for (std::size_t i = 0; i < archives.size(); ++i) {
        EXPECT_THROW(InflateAll(Concat(GoodRecord("", "good.dat", "fine"), archives[i])), DataBaseError) << i;
    }
}

TEST(Archive, TruncatedRecordsAreRefused) {
    const auto archive = GoodRecord("sub", "name.dat", "some content that is long enough");
    ASSERT_NO_THROW(InflateRecord(ReadArchiveRecords(archive).at(0)));
    for (std::size_t size = 1; size < archive.size(); ++size) {
        const std::span<const std::uint8_t> prefix(archive.data(), size);
        EXPECT_THROW(InflateAll(prefix), DataBaseError) << size;
    }
}

}  // namespace
}  // namespace sentrel
