#include "database/Sha1.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sentrel {
namespace {

std::string Hex(const Sha1::Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

TEST(Sha1, GivesTheKnownDigests) {
    EXPECT_EQ(Hex(Sha1::Of("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(Sha1::Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Hex(Sha1::Of("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");

    // Around the padding boundary: 55 bytes leave room for the length in the last block, 56
    // do not (digests from OpenSSL's sha1 command).
    EXPECT_EQ(Hex(Sha1::Of(std::string(55, 'a'))), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(Hex(Sha1::Of(std::string(56, 'a'))), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(Hex(Sha1::Of(std::string(63, 'a'))), "03f09f5b158a7a8cdad920bddc29b81c18a551f5");
    EXPECT_EQ(Hex(Sha1::Of(std::string(64, 'a'))), "0098ba824b5c16427bd7a1122a5a442a25ec644d");

    const std::string million(1000000, 'a');
    EXPECT_EQ(Hex(Sha1::Of(million)), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");

    // The same million bytes fed in uneven pieces.
    Sha1 pieces;
    for (std::size_t offset = 0, step = 1; offset < million.size(); offset += step, step = step * 7 % 997 + 1) {
        pieces.Update(std::string_view(million).substr(offset, step));
    }
    EXPECT_EQ(Hex(pieces.Final()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, SplittingTheMessageAnywhereGivesTheSameDigest) {
    // Lengths around the padding boundaries (55, 56, 63, 64 bytes and beyond) and every split
    // point, so the buffering of partial blocks is exercised from every offset.
    for (std::size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
        std::vector<std::uint8_t> message(length);
        for (std::size_t i = 0; i < length; ++i) message[i] = static_cast<std::uint8_t>(i * 31 + 7);
        const Sha1::Digest whole = Sha1::Of(message);
        for (std::size_t split = 0; split <= length; ++split) {
            Sha1 sha;
            sha.Update(std::span(message).first(split));
            sha.Update(std::span<const std::uint8_t>());
            sha.Update(std::span(message).subspan(split));
            EXPECT_EQ(sha.Final(), whole) << "length " << length << ", split at " << split;
        }
    }
}

TEST(Sha1, FinalStartsANewMessage) {
    Sha1 sha;
    sha.Update("first message, which is thrown away after its digest");
    EXPECT_EQ(Hex(sha.Final()), Hex(Sha1::Of("first message, which is thrown away after its digest")));
    sha.Update("abc");
    EXPECT_EQ(Hex(sha.Final()), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Hex(sha.Final()), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

}  // namespace
}  // namespace sentrel
