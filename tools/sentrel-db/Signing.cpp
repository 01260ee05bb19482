#include "Signing.h"

#include <sys/stat.h>

#include <openssl/bio.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "DataBaseFiles.h"
#include "common/Files.h"

namespace sentrel::dbtool {

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using UniqueBio = std::unique_ptr<BIO, BioFree>;
using UniquePkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using UniqueMdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

UniqueBio MemoryBio(const std::string& text) {
    return UniqueBio(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return std::string(data, static_cast<std::size_t>(size));
}

bool IsP256(EVP_PKEY* key) {
    if (key == nullptr || !EVP_PKEY_is_a(key, "EC")) return false;
    char group[64] = {};
    std::size_t length = 0;
    return EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
           std::string(group) == "prime256v1";
}

std::span<const std::uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void GenerateKeyPair(const std::string& privatePath, const std::string& publicPath) {
    if (FileExists(privatePath)) throw ToolError("\"" + privatePath + "\" exists; a private key is never overwritten");
    UniquePkey key(EVP_EC_gen("P-256"));
    if (!key) throw ToolError("OpenSSL could not make a P-256 key");
    UniqueBio privateBio(BIO_new(BIO_s_mem()));
    UniqueBio publicBio(BIO_new(BIO_s_mem()));
    if (!privateBio || !publicBio ||
        PEM_write_bio_PrivateKey(privateBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
        PEM_write_bio_PUBKEY(publicBio.get(), key.get()) != 1)
        throw ToolError("OpenSSL could not write the key pair");
    try {
        const std::string privateText = BioText(privateBio.get());
        const std::string temporary = TemporarySibling(privatePath);
        const mode_t mask = ::umask(0077);
        try {
            WriteFileBytes(temporary, AsBytes(privateText));
        } catch (...) {
            ::umask(mask);
            RemoveFile(temporary);
            throw;
        }
        ::umask(mask);
        MoveFileOver(temporary, privatePath);
        WriteFileAtomically(publicPath, BioText(publicBio.get()));
    } catch (const FileError& error) {
        throw ToolError(error.what());
    }
}

std::vector<std::uint8_t> SignBytes(const std::string& privatePem, std::span<const std::uint8_t> data) {
    const UniqueBio bio = MemoryBio(privatePem);
    UniquePkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!IsP256(key.get())) throw ToolError("the private key is not a P-256 (prime256v1) key in PEM");
    UniqueMdCtx context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, data.data(), data.size()) != 1)
        throw ToolError("OpenSSL could not sign");
    std::vector<std::uint8_t> signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, data.data(), data.size()) != 1)
        throw ToolError("OpenSSL could not sign");
    signature.resize(length);
    return signature;
}

struct TOpenSslVerifier::Key {
    UniquePkey Value;
};

TOpenSslVerifier::TOpenSslVerifier(const std::string& publicPem) : key_(std::make_unique<Key>()) {
    const UniqueBio bio = MemoryBio(publicPem);
    key_->Value.reset(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!IsP256(key_->Value.get())) throw ToolError("the public key is not a P-256 (prime256v1) key in PEM");
}

TOpenSslVerifier::~TOpenSslVerifier() = default;

bool TOpenSslVerifier::Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> derSignature) const {
    // The program takes only strict DER; so does the maker's check.
    if (!RawSignatureFromDer(derSignature)) return false;
    UniqueMdCtx context(EVP_MD_CTX_new());
    return context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->Value.get()) == 1 &&
           EVP_DigestVerify(context.get(), derSignature.data(), derSignature.size(), data.data(), data.size()) == 1;
}

}  // namespace sentrel::dbtool
