#include "database/Sha256.h"

#include <openssl/evp.h>

#include "database/DataBaseError.h"

namespace sentrel {

TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes) {
    TSha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != digest.size())
        throw DataBaseError("the SHA-256 digest could not be computed");
    return digest;
}

}  // namespace sentrel
