#include "database/Sha1.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace sentrel {

namespace {

std::uint32_t LoadBigEndian(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

}  // namespace

Sha1::Sha1() { Reset(); }

void Sha1::Reset() {
    state_ = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    blockUsed_ = 0;
    messageBytes_ = 0;
}

void Sha1::Compress(const std::uint8_t* block) {
    std::uint32_t w[80];
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
    for (int t = 16; t < 80; ++t) w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int t = 0; t < 80; ++t) {
        std::uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t temp = std::rotl(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = temp;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;  // its data() may be null, which memcpy must not see
    messageBytes_ += bytes.size();
    const std::uint8_t* p = bytes.data();
    std::size_t left = bytes.size();
    if (blockUsed_ > 0) {
        const std::size_t take = std::min(left, block_.size() - blockUsed_);
        std::memcpy(block_.data() + blockUsed_, p, take);
        blockUsed_ += take;
        p += take;
        left -= take;
        if (blockUsed_ < block_.size()) return;
        Compress(block_.data());
        blockUsed_ = 0;
    }
    for (; left >= block_.size(); p += block_.size(), left -= block_.size()) Compress(p);
    if (left > 0) std::memcpy(block_.data(), p, left);
    blockUsed_ = left;
}

void Sha1::Update(std::string_view text) {
    Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Sha1::Digest Sha1::Final() {
    const std::uint64_t messageBits = messageBytes_ * 8;
    // A one bit, zeros up to 56 bytes modulo 64, then the message length in bits (big-endian).
    block_[blockUsed_++] = 0x80;
    if (blockUsed_ > 56) {
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(blockUsed_), block_.end(), std::uint8_t{0});
        Compress(block_.data());
        blockUsed_ = 0;
    }
    std::fill(block_.begin() + static_cast<std::ptrdiff_t>(blockUsed_), block_.begin() + 56, std::uint8_t{0});
    for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<std::uint8_t>(messageBits >> (56 - 8 * i));
    Compress(block_.data());

    Digest digest;
    for (std::size_t i = 0; i < state_.size(); ++i) {
        digest[4 * i] = static_cast<std::uint8_t>(state_[i] >> 24);
        digest[4 * i + 1] = static_cast<std::uint8_t>(state_[i] >> 16);
        digest[4 * i + 2] = static_cast<std::uint8_t>(state_[i] >> 8);
        digest[4 * i + 3] = static_cast<std::uint8_t>(state_[i]);
    }
    Reset();
    return digest;
}

Sha1::Digest Sha1::Of(std::span<const std::uint8_t> bytes) {
    Sha1 sha;
    sha.Update(bytes);
    return sha.Final();
}

Sha1::Digest Sha1::Of(std::string_view text) {
    Sha1 sha;
    sha.Update(text);
    return sha.Final();
}

}  // namespace sentrel
