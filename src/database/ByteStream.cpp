#include "database/ByteStream.h"

#include <limits>

#include "database/DataBaseError.h"

namespace sentrel {

void ByteReader::Need(std::size_t count) const {
    if (count > Remaining())
        throw DataBaseError("the data ends early (" + std::to_string(count) + " bytes needed at offset " +
                            std::to_string(position_) + ", " + std::to_string(Remaining()) + " left)");
}

std::int32_t ByteReader::ReadInt32() {
    Need(4);
    const std::int32_t value = ReadInt32Le(bytes_.data() + position_);
    position_ += 4;
    return value;
}

std::string ByteReader::ReadString() {
    return std::string(ReadStringView());
}

std::string_view ByteReader::ReadStringView() {
    const std::int32_t length = ReadInt32();
    if (length < 0)
        throw DataBaseError("negative string length " + std::to_string(length) + " at offset " +
                            std::to_string(position_ - 4));
    const auto size = static_cast<std::size_t>(length);
    Need(size);
    const char* start = reinterpret_cast<const char*>(bytes_.data() + position_);
    position_ += size;
    return std::string_view(start, size);
}

std::int32_t ByteReader::ReadCount(std::size_t minItemSize, const char* what) {
    const std::int32_t count = ReadInt32();
    if (count < 0) throw DataBaseError(std::string("negative ") + what + " " + std::to_string(count));
    if (minItemSize != 0 && static_cast<std::size_t>(count) > Remaining() / minItemSize)
        throw DataBaseError(std::string(what) + " " + std::to_string(count) + " is more than the remaining " +
                            std::to_string(Remaining()) + " bytes can hold");
    return count;
}

void ByteReader::ClaimPadding(std::size_t cells) {
    // A few thousand cells for small hand-made tables, then one per eight bytes of data, so
    // padding never costs more memory than a few times the data itself.
    const std::size_t allowance = 4096 + bytes_.size() / 8;
    if (cells > allowance - paddingClaimed_)
        throw DataBaseError("the row counts ask for " + std::to_string(cells) +
                            " more empty cells than the data can account for");
    paddingClaimed_ += cells;
}

void ByteWriter::WriteInt32(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                   static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    out_.insert(out_.end(), bytes, bytes + 4);
}

void ByteWriter::WriteString(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw DataBaseError("a text of " + std::to_string(text.size()) + " bytes is too long to store");
    WriteInt32(static_cast<std::int32_t>(text.size()));
    const auto* start = reinterpret_cast<const std::uint8_t*>(text.data());
    out_.insert(out_.end(), start, start + text.size());
}

}  // namespace sentrel
