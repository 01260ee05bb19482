#pragma once
// Little-endian reading and writing of the serialised tables: signed 32-bit integers and
// strings (a 32-bit length followed by that many bytes, no terminator). The reader works on a
// byte span and checks every length against the bytes that remain before it allocates.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // Each read throws DataBaseError when the data ends early.
    std::int32_t ReadInt32();
    // A length-prefixed string; a negative length or one beyond the end is an error.
    std::string ReadString();
    // The same without a copy: a view into the reader's bytes.
    std::string_view ReadStringView();
    // A count of items that each take at least `minItemSize` bytes: negative counts and counts
    // that the remaining bytes cannot hold are errors. `what` names the count in the message.
    std::int32_t ReadCount(std::size_t minItemSize, const char* what);

    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return bytes_.size() - position_; }
    std::size_t Size() const { return bytes_.size(); }
    bool AtEnd() const { return position_ == bytes_.size(); }

    // Padding cells (empty values added to short columns on load) cost memory that the file
    // does not pay for in bytes; the reader allows a few thousand plus one per eight bytes of
    // data, so a hostile file cannot make the load allocate far beyond its own size.
    void ClaimPadding(std::size_t cells);

private:
    void Need(std::size_t count) const;

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    std::size_t paddingClaimed_ = 0;
};

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void WriteInt32(std::int32_t value);
    // Throws DataBaseError for a string longer than a 32-bit length can say.
    void WriteString(std::string_view text);
    void WriteBytes(std::span<const std::uint8_t> bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

private:
    std::vector<std::uint8_t>& out_;
};

// Reads a signed 32-bit little-endian integer from the first four bytes.
inline std::int32_t ReadInt32Le(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                     static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace sentrel
