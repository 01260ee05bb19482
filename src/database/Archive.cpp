#include "database/Archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "common/Files.h"
#include "database/ByteStream.h"
#include "database/DataBaseError.h"
#include "database/Table.h"

namespace sentrel {

namespace {

bool IsDeviceName(std::string_view name) {
    // Windows opens a device for these base names, whatever the extension and trailing blanks.
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 7> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$",
                                                                 "CLOCK$"};
    for (std::string_view device : kDevices) {
        if (SameNameIgnoringCase(base, device)) return true;
    }
    if (base.size() == 4 && (SameNameIgnoringCase(base.substr(0, 3), "COM") ||
                             SameNameIgnoringCase(base.substr(0, 3), "LPT"))) {
        const auto last = static_cast<unsigned char>(base[3]);
        // Digits, and the superscript digits one, two and three of the Windows code pages.
        return (last >= '0' && last <= '9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
    }
    return false;
}

std::string Describe(const TArchiveRecord& record) {
    return "the archived file \"" + record.StoredPath() + "\"";
}

// Owns an inflate or deflate stream.
class ZStream {
public:
    explicit ZStream(bool deflating) : deflating_(deflating) {}
    ZStream(const ZStream&) = delete;
    ZStream& operator=(const ZStream&) = delete;
    ~ZStream() {
        if (!started_) return;
        if (deflating_)
            deflateEnd(&stream_);
        else
            inflateEnd(&stream_);
    }
    z_stream* operator->() { return &stream_; }
    z_stream* get() { return &stream_; }
    void Started() { started_ = true; }

private:
    z_stream stream_{};
    bool deflating_;
    bool started_ = false;
};

}  // namespace

std::string TArchiveRecord::StoredPath() const {
    return Folder.empty() ? Name : Folder + "\\" + Name;
}

bool IsSafeArchiveName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsDeviceName(name);
}

bool IsSafeArchiveFolder(std::string_view folder) {
    if (folder.empty()) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folder.find_first_of("\\/", start);
        if (!IsSafeArchiveName(folder.substr(start, end - start))) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

std::vector<TArchiveRecord> ReadArchiveRecords(std::span<const std::uint8_t> archive) {
    std::vector<TArchiveRecord> records;
    std::int64_t total = 0;
    std::size_t position = 0;
    auto need = [&](std::size_t count) {
        if (count > archive.size() - position)
            throw DataBaseError("archive record " + std::to_string(records.size() + 1) + " is truncated");
    };
    auto readText = [&] {
        need(1);
        const std::size_t length = archive[position++];
        need(length);
        std::string text(reinterpret_cast<const char*>(archive.data() + position), length);
        position += length;
        return text;
    };
    while (position < archive.size()) {
        TArchiveRecord record;
        record.Folder = readText();
        record.Name = readText();
        need(8);
        const std::int32_t uncompressed = ReadInt32Le(archive.data() + position);
        const std::int32_t compressed = ReadInt32Le(archive.data() + position + 4);
        position += 8;
        if (!IsSafeArchiveFolder(record.Folder) || !IsSafeArchiveName(record.Name))
            throw DataBaseError(Describe(record) + " has an unsafe name");
        if (uncompressed < 0 || compressed < 0) throw DataBaseError(Describe(record) + " has a negative size");
        if (uncompressed > kMaxArchivedFileSize || (total += uncompressed) > kMaxArchivedFileSize)
            throw DataBaseError(Describe(record) + " is too large (" + std::to_string(uncompressed) + " bytes)");
        need(static_cast<std::size_t>(compressed));
        record.UncompressedSize = uncompressed;
        record.Data = archive.subspan(position, static_cast<std::size_t>(compressed));
        position += static_cast<std::size_t>(compressed);
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<std::string> ListArchive(std::span<const std::uint8_t> archive) {
    std::vector<std::string> names;
    for (const TArchiveRecord& record : ReadArchiveRecords(archive)) names.push_back(record.StoredPath());
    return names;
}

std::vector<std::uint8_t> InflateRecord(const TArchiveRecord& record) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(record.UncompressedSize));
    ZStream stream(false);
    if (inflateInit(stream.get()) != Z_OK) throw DataBaseError("cannot start inflating " + Describe(record));
    stream.Started();
    stream->next_in = const_cast<Bytef*>(record.Data.data());
    stream->avail_in = static_cast<uInt>(record.Data.size());
    // Once the stored size is filled, one more byte of room tells whether the stream goes on.
    std::uint8_t overflow = 0;
    bool overflowing = out.empty();
    stream->next_out = overflowing ? &overflow : out.data();
    stream->avail_out = overflowing ? 1 : static_cast<uInt>(out.size());
    for (;;) {
        const int rc = inflate(stream.get(), Z_NO_FLUSH);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            const char* message = stream->msg != nullptr ? stream->msg : "not a zlib stream";
            throw DataBaseError(Describe(record) + " is damaged (" + message + ")");
        }
        if (stream->avail_out == 0) {
            if (overflowing) break;
            overflowing = true;
            stream->next_out = &overflow;
            stream->avail_out = 1;
        } else if (stream->avail_in == 0) {
            throw DataBaseError(Describe(record) + " is truncated");
        } else if (rc == Z_BUF_ERROR) {
            throw DataBaseError(Describe(record) + " is damaged (no progress)");
        }
    }
    if (overflowing && stream->avail_out == 0)
        throw DataBaseError(Describe(record) + " inflates to more than its stored size of " +
                            std::to_string(record.UncompressedSize) + " bytes");
    if (!overflowing && stream->avail_out != 0)
        throw DataBaseError(Describe(record) + " inflates to " + std::to_string(out.size() - stream->avail_out) +
                            " bytes, not its stored size of " + std::to_string(record.UncompressedSize));
    if (stream->avail_in != 0) throw DataBaseError(Describe(record) + " has data after its zlib stream");
    return out;
}

std::vector<std::uint8_t> BuildArchive(std::string_view name, std::span<const std::uint8_t> content) {
    if (name.size() > 255 || !IsSafeArchiveName(name))
        throw DataBaseError("\"" + std::string(name) + "\" cannot be stored in an archive");
    if (content.size() > static_cast<std::size_t>(kMaxArchivedFileSize))
        throw DataBaseError("\"" + std::string(name) + "\" is too large to store (" + std::to_string(content.size()) +
                            " bytes)");
    ZStream stream(true);
    if (deflateInit2(stream.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw DataBaseError("cannot start compressing \"" + std::string(name) + "\"");
    stream.Started();
    const uLong bound = deflateBound(stream.get(), static_cast<uLong>(content.size()));
    const std::size_t header = 2 + name.size() + 8;

    std::vector<std::uint8_t> archive(header + bound);
    archive[0] = 0;  // no folder
    archive[1] = static_cast<std::uint8_t>(name.size());
    std::copy(name.begin(), name.end(), archive.begin() + 2);

    stream->next_in = const_cast<Bytef*>(content.data());
    stream->avail_in = static_cast<uInt>(content.size());
    stream->next_out = archive.data() + header;
    stream->avail_out = static_cast<uInt>(bound);
    if (deflate(stream.get(), Z_FINISH) != Z_STREAM_END)
        throw DataBaseError("cannot compress \"" + std::string(name) + "\"");
    const auto compressed = static_cast<std::size_t>(stream->total_out);
    archive.resize(header + compressed);

    std::vector<std::uint8_t> sizes;
    ByteWriter writer(sizes);
    writer.WriteInt32(static_cast<std::int32_t>(content.size()));
    writer.WriteInt32(static_cast<std::int32_t>(compressed));
    std::copy(sizes.begin(), sizes.end(), archive.begin() + 2 + static_cast<std::ptrdiff_t>(name.size()));
    return archive;
}

}  // namespace sentrel
