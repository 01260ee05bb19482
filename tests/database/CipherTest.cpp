#include "database/Cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "database/Sha1.h"

namespace sentrel {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

constexpr std::size_t kLargeSizes[] = {1000, 8191, 8192, 8193, 3 * 8192 + 5, 100003, 5 * 1024 * 1024 + 7};

std::vector<std::size_t> SizesToTry() {
    std::vector<std::size_t> sizes;
    for (std::size_t size = 0; size <= 40; ++size) sizes.push_back(size);
    sizes.insert(sizes.end(), std::begin(kLargeSizes), std::end(kLargeSizes));
    return sizes;
}

TEST(Cipher, RoundTripsEveryLengthAndKeepsItsLength) {
    const TCipher cipher(kDataBasePassPhrase);
    for (std::size_t size : SizesToTry()) {
        const std::vector<std::uint8_t> plain = RandomBytes(size, static_cast<std::uint32_t>(size));
        std::vector<std::uint8_t> data = plain;
        cipher.Encrypt(data);
        ASSERT_EQ(data.size(), size);
        if (size > 0) {
            EXPECT_NE(data, plain) << size << " bytes came through encryption unchanged";
        }
        // Every byte of the tail is covered too, not only the whole blocks.
        if (size % 8 != 0) {
            EXPECT_FALSE(std::equal(data.end() - size % 8, data.end(), plain.end() - size % 8)) << size;
        }
        cipher.Decrypt(data);
        EXPECT_EQ(data, plain) << size << " bytes";
    }
}

TEST(Cipher, DerivesKeyAndInitialVectorFromThePassPhrase) {
    // Key: the SHA-1 digest of the pass phrase. IV: the encryption of eight zero bytes. So a
    // block of zeros encrypts to E(IV), and a shorter run of zeros to the start of E(IV).
    const Blowfish blowfish(Sha1::Of(kDataBasePassPhrase));
    Blowfish::Block iv{};
    blowfish.EncryptBlock(iv, iv);
    Blowfish::Block encryptedIv;
    blowfish.EncryptBlock(iv, encryptedIv);

    const TCipher cipher(kDataBasePassPhrase);
    for (std::size_t size = 1; size <= 8; ++size) {
        std::vector<std::uint8_t> zeros(size, 0);
        cipher.Encrypt(zeros);
        EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), encryptedIv.begin())) << size << " zero bytes";
    }

    // Another pass phrase is another key, and one cipher cannot read the other's data.
    const std::vector<std::uint8_t> plain = RandomBytes(29, 1);
    std::vector<std::uint8_t> ours = plain, theirs = plain;
    cipher.Encrypt(ours);
    TCipher("k#Rw:9m!Tq&Zp)Lc^v<E>x*Gs+2$hY%N").Encrypt(theirs);
    EXPECT_NE(ours, theirs);
    TCipher("").Decrypt(ours);
    EXPECT_NE(ours, plain);
}

TEST(Cipher, ChainsBlocksAndXorsTheTailWithTheLastCiphertextBlock) {
    const TCipher cipher(kDataBasePassPhrase);
    const Blowfish blowfish(Sha1::Of(kDataBasePassPhrase));

    // Equal plaintext blocks give different ciphertext blocks (chained, not block by block).
    std::vector<std::uint8_t> repeated(32, 0x5A);
    cipher.Encrypt(repeated);
    for (std::size_t block = 1; block < 4; ++block) {
        EXPECT_FALSE(std::equal(repeated.begin(), repeated.begin() + 8, repeated.begin() + 8 * block)) << block;
    }

    // The tail of n = 1..7 bytes is the plaintext XORed with the start of the encryption of the
    // last whole ciphertext block.
    for (std::size_t tail = 1; tail <= 7; ++tail) {
        const std::vector<std::uint8_t> plain = RandomBytes(24 + tail, static_cast<std::uint32_t>(100 + tail));
        std::vector<std::uint8_t> data = plain;
        cipher.Encrypt(data);
        Blowfish::Block lastBlock, keyStream;
        std::copy(data.begin() + 16, data.begin() + 24, lastBlock.begin());
        blowfish.EncryptBlock(lastBlock, keyStream);
        for (std::size_t i = 0; i < tail; ++i) {
            EXPECT_EQ(data[24 + i], plain[24 + i] ^ keyStream[i]) << "tail " << tail << ", byte " << i;
        }
        // Changing the tail's ciphertext changes only the tail's plaintext, byte for byte.
        data.back() ^= 0x01;
        cipher.Decrypt(data);
        EXPECT_TRUE(std::equal(data.begin(), data.end() - 1, plain.begin())) << tail;
        EXPECT_EQ(data.back(), plain.back() ^ 0x01) << tail;
    }
}

TEST(Cipher, OnePassEqualsPiecesOf8192BytesWithTheChainCarried) {
    const TCipher cipher(kDataBasePassPhrase);
    const Blowfish blowfish(Sha1::Of(kDataBasePassPhrase));
    Blowfish::Block iv{};
    blowfish.EncryptBlock(iv, iv);

    for (std::size_t size : {std::size_t{8192}, std::size_t{8192 * 3 + 5}, std::size_t{8192 * 2 + 4000}}) {
        const std::vector<std::uint8_t> plain = RandomBytes(size, static_cast<std::uint32_t>(size));
        std::vector<std::uint8_t> onePass = plain;
        cipher.Encrypt(onePass);

        std::vector<std::uint8_t> pieces = plain;
        const std::size_t whole = size - size % 8;
        Blowfish::Block chain = iv;
        for (std::size_t offset = 0; offset < whole; offset += 8192) {
            blowfish.EncryptCbc(std::span(pieces).subspan(offset, std::min<std::size_t>(8192, whole - offset)), chain);
        }
        Blowfish::Block keyStream;
        blowfish.EncryptBlock(chain, keyStream);
        for (std::size_t i = whole; i < size; ++i) pieces[i] ^= keyStream[i - whole];
        EXPECT_EQ(onePass, pieces) << size << " bytes";

        // A leading run of whole blocks encrypts the same on its own.
        std::vector<std::uint8_t> head(plain.begin(), plain.begin() + 8192);
        cipher.Encrypt(head);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), onePass.begin())) << size << " bytes";
    }
}

}  // namespace
}  // namespace sentrel
