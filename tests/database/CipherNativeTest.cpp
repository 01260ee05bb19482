// Our SHA-1, Blowfish and database cipher against OpenSSL on random keys and data.

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "database/Blowfish.h"
#include "database/Cipher.h"
#include "database/Sha1.h"

namespace sentrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string OpenSslError(const char* call) {
    std::string text = call;
    text += " failed";
    if (unsigned long code = ERR_get_error(); code != 0) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        text += ": ";
        text += reason;
    }
    return text;
}

// Blowfish lives in OpenSSL 3's legacy provider; "default" must be loaded beside it, since
// loading any provider by hand stops the default one from loading on its own.
class Providers {
public:
    Providers() {
        legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
        if (legacy_ == nullptr) {
            reason_ = OpenSslError("OSSL_PROVIDER_load(legacy)");
            return;
        }
        default_ = OSSL_PROVIDER_load(nullptr, "default");
        if (default_ == nullptr) reason_ = OpenSslError("OSSL_PROVIDER_load(default)");
    }
    ~Providers() {
        if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
        if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    }
    bool Loaded() const { return reason_.empty(); }
    const std::string& Reason() const { return reason_; }

    static const Providers& Get() {
        static const Providers providers;
        return providers;
    }

private:
    OSSL_PROVIDER* legacy_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
    std::string reason_;
};

struct CipherDeleter {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// Runs OpenSSL's Blowfish ("BF-ECB" or "BF-CBC", no padding) over whole blocks.
Bytes OpenSslBlowfish(const char* mode, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& data) {
    const std::unique_ptr<EVP_CIPHER, CipherDeleter> cipher(EVP_CIPHER_fetch(nullptr, mode, nullptr));
    if (!cipher) throw std::runtime_error(OpenSslError("EVP_CIPHER_fetch"));
    const std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter> context(EVP_CIPHER_CTX_new());
    if (!context) throw std::runtime_error(OpenSslError("EVP_CIPHER_CTX_new"));
    if (EVP_CipherInit_ex2(context.get(), cipher.get(), nullptr, nullptr, encrypt ? 1 : 0, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_key_length(context.get(), static_cast<int>(key.size())) != 1 ||
        EVP_CipherInit_ex2(context.get(), nullptr, key.data(), iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0,
                           nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
        throw std::runtime_error(OpenSslError("setting up OpenSSL's Blowfish"));
    }
    Bytes out(data.size() + 8);
    int written = 0, finalWritten = 0;
    if (EVP_CipherUpdate(context.get(), out.data(), &written, data.data(), static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), out.data() + written, &finalWritten) != 1) {
        throw std::runtime_error(OpenSslError("OpenSSL's Blowfish"));
    }
    out.resize(static_cast<std::size_t>(written + finalWritten));
    return out;
}

Bytes OpenSslSha1(const Bytes& data) {
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &size, EVP_sha1(), nullptr) != 1) {
        throw std::runtime_error(OpenSslError("EVP_Digest(SHA-1)"));
    }
    digest.resize(size);
    return digest;
}

Bytes RandomBytes(std::mt19937& random, std::size_t size) {
    Bytes bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::size_t RandomSize(std::mt19937& random, std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random);
}

class BlowfishAgainstOpenSsl : public testing::Test {
protected:
    void SetUp() override {
        if (!Providers::Get().Loaded()) {
            GTEST_SKIP() << "OpenSSL's legacy provider, which holds Blowfish, cannot be loaded ("
                         << Providers::Get().Reason() << ")";
        }
    }
};

TEST(Sha1AgainstOpenSsl, DigestsOfRandomInputsAgree) {
    std::mt19937 random(180);
    std::vector<std::size_t> sizes;
    for (std::size_t size = 0; size <= 300; ++size) sizes.push_back(size);
    for (int i = 0; i < 20; ++i) sizes.push_back(RandomSize(random, 301, 200000));
    for (std::size_t size : sizes) {
        const Bytes data = RandomBytes(random, size);
        const Bytes expected = OpenSslSha1(data);
        const Sha1::Digest whole = Sha1::Of(data);
        EXPECT_EQ(Bytes(whole.begin(), whole.end()), expected) << size << " bytes";

        // The same data fed in random pieces.
        Sha1 sha;
        for (std::size_t offset = 0; offset < size;) {
            const std::size_t piece = std::min(size - offset, RandomSize(random, 0, 150));
            sha.Update(std::span(data).subspan(offset, piece));
            offset += piece;
        }
        const Sha1::Digest pieces = sha.Final();
        EXPECT_EQ(Bytes(pieces.begin(), pieces.end()), expected) << size << " bytes in pieces";
    }
}

TEST_F(BlowfishAgainstOpenSsl, BlocksAgreeForEveryKeyLength) {
    std::mt19937 random(1993);
    for (std::size_t keySize = Blowfish::kMinKeySize; keySize <= Blowfish::kMaxKeySize; ++keySize) {
        const Bytes key = RandomBytes(random, keySize);
        const Bytes plain = RandomBytes(random, 8 * 4);
        const Bytes expected = OpenSslBlowfish("BF-ECB", true, key, {}, plain);

        const Blowfish blowfish(key);
        Bytes data = plain;
        for (std::size_t offset = 0; offset < data.size(); offset += 8) {
            const std::span<std::uint8_t, 8> block(data.data() + offset, 8);
            blowfish.EncryptBlock(block, block);
        }
        EXPECT_EQ(data, expected) << "key length " << keySize;
        for (std::size_t offset = 0; offset < data.size(); offset += 8) {
            const std::span<std::uint8_t, 8> block(data.data() + offset, 8);
            blowfish.DecryptBlock(block, block);
        }
        EXPECT_EQ(data, plain) << "key length " << keySize;
    }
}

TEST_F(BlowfishAgainstOpenSsl, CbcAgreesOnRandomKeysAndData) {
    std::mt19937 random(64);
    for (int round = 0; round < 60; ++round) {
        const Bytes key = RandomBytes(random, round == 0 ? 20 : RandomSize(random, 4, 56));
        const Bytes iv = RandomBytes(random, 8);
        const Bytes plain = RandomBytes(random, 8 * RandomSize(random, 0, round < 5 ? 200000 : 3000));
        const Bytes expected = OpenSslBlowfish("BF-CBC", true, key, iv, plain);

        const Blowfish blowfish(key);
        Bytes data = plain;
        Blowfish::Block chain;
        std::copy(iv.begin(), iv.end(), chain.begin());
        blowfish.EncryptCbc(data, chain);
        ASSERT_EQ(data, expected) << "round " << round << ", " << plain.size() << " bytes";
        if (!data.empty()) {
            EXPECT_TRUE(std::equal(chain.begin(), chain.end(), data.end() - 8)) << "round " << round;
        }

        std::copy(iv.begin(), iv.end(), chain.begin());
        blowfish.DecryptCbc(data, chain);
        EXPECT_EQ(data, plain) << "round " << round;
        EXPECT_EQ(OpenSslBlowfish("BF-CBC", false, key, iv, expected), plain) << "round " << round;
    }
}

// The database cipher built from OpenSSL's parts: SHA-1 key, IV = ECB of eight zero bytes,
// CBC over the whole blocks, the tail XORed with the ECB of the last whole ciphertext block.
Bytes ReferenceEncrypt(std::string_view passPhrase, const Bytes& plain) {
    const Bytes key = OpenSslSha1(Bytes(passPhrase.begin(), passPhrase.end()));
    const Bytes iv = OpenSslBlowfish("BF-ECB", true, key, {}, Bytes(8, 0));
    const std::size_t whole = plain.size() - plain.size() % 8;
    Bytes out = OpenSslBlowfish("BF-CBC", true, key, iv, Bytes(plain.begin(), plain.begin() + whole));
    const Bytes last = whole == 0 ? iv : Bytes(out.end() - 8, out.end());
    const Bytes keyStream = OpenSslBlowfish("BF-ECB", true, key, {}, last);
    for (std::size_t i = whole; i < plain.size(); ++i) out.push_back(plain[i] ^ keyStream[i - whole]);
    return out;
}

TEST_F(BlowfishAgainstOpenSsl, DatabaseCipherMatchesTheReferenceIncludingShortTails) {
    std::mt19937 random(8192);
    std::vector<std::string> passPhrases = {std::string(kDataBasePassPhrase), "", "x"};
    for (int i = 0; i < 4; ++i) {
        std::string phrase(RandomSize(random, 1, 64), ' ');
        for (char& c : phrase) c = static_cast<char>(RandomSize(random, 32, 126));
        passPhrases.push_back(phrase);
    }
    std::vector<std::size_t> sizes;
    for (std::size_t size = 0; size <= 40; ++size) sizes.push_back(size);
    for (std::size_t size : {8191u, 8192u, 8193u, 8192u * 2 + 7u, 123457u}) sizes.push_back(size);

    for (const std::string& phrase : passPhrases) {
        const TCipher cipher(phrase);
        for (std::size_t size : sizes) {
            const Bytes plain = RandomBytes(random, size);
            Bytes data = plain;
            cipher.Encrypt(data);
            ASSERT_EQ(data, ReferenceEncrypt(phrase, plain))
                << "pass phrase \"" << phrase << "\", " << size << " bytes";
            cipher.Decrypt(data);
            EXPECT_EQ(data, plain) << "pass phrase \"" << phrase << "\", " << size << " bytes";
        }
    }
}

}  // namespace
}  // namespace sentrel
