#pragma once
// SHA-1 (FIPS 180): the digest of the pass phrase is the database cipher's key.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace sentrel {

class Sha1 {
public:
    static constexpr std::size_t kDigestSize = 20;
    using Digest = std::array<std::uint8_t, kDigestSize>;

    Sha1();

    // Adds bytes to the message; may be called any number of times before Final.
    void Update(std::span<const std::uint8_t> bytes);
    void Update(std::string_view text);
    // Pads the message and returns its digest. The object then starts a new, empty message.
    Digest Final();

    static Digest Of(std::span<const std::uint8_t> bytes);
    static Digest Of(std::string_view text);

private:
    void Reset();
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 5> state_;
    std::array<std::uint8_t, 64> block_;
    std::size_t blockUsed_ = 0;
    std::uint64_t messageBytes_ = 0;
};

}  // namespace sentrel
