#include "database/Sha256.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace sentrel {
namespace {

std::string HexOf(std::string_view text) {
    return Sha256Hex(Sha256Of(std::vector<std::uint8_t>(text.begin(), text.end())));
}

// The FIPS 180 examples: one block, the empty message and a message of two blocks.
TEST(Sha256, GivesTheStandardDigests) {
    EXPECT_EQ(HexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

}  // namespace
}  // namespace sentrel
