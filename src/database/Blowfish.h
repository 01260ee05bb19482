#pragma once
// The Blowfish block cipher (Schneier, 1993): 64-bit blocks taken as two big-endian 32-bit
// halves, 16 rounds, a variable-length key. Besides single blocks it runs CBC over whole
// blocks, so the hot loop stays in one place with the round function inlined.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace sentrel {

class Blowfish {
public:
    static constexpr std::size_t kBlockSize = 8;
    // Keys of 1 to 72 bytes; the key bytes are cycled over the 18 words of the P-array, so
    // bytes beyond 72 could not count. The classic limit is 56 bytes (448 bits).
    static constexpr std::size_t kMinKeySize = 1;
    static constexpr std::size_t kMaxKeySize = 72;

    using Block = std::array<std::uint8_t, kBlockSize>;

    // Throws std::invalid_argument for a key outside 1..72 bytes.
    explicit Blowfish(std::span<const std::uint8_t> key);

    // One block as two halves (the big-endian words of bytes 0..3 and 4..7).
    void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;

    // One block of bytes; `in` and `out` may be the same block.
    void EncryptBlock(std::span<const std::uint8_t, kBlockSize> in, std::span<std::uint8_t, kBlockSize> out) const;
    void DecryptBlock(std::span<const std::uint8_t, kBlockSize> in, std::span<std::uint8_t, kBlockSize> out) const;

    // CBC in place over whole blocks (the size must be a multiple of 8, else
    // std::invalid_argument). `chain` is the previous ciphertext block, the initial vector at
    // the start, and on return holds the last ciphertext block, so a long text may be run
    // through in pieces with the same result as in one pass.
    void EncryptCbc(std::span<std::uint8_t> blocks, Block& chain) const;
    void DecryptCbc(std::span<std::uint8_t> blocks, Block& chain) const;

private:
    std::array<std::uint32_t, 18> p_;
    std::array<std::array<std::uint32_t, 256>, 4> s_;
};

}  // namespace sentrel
