#include "database/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "database/CngHandlesWin.h"
#include "database/DataBaseError.h"

namespace sentrel {

namespace {

void Check(NTSTATUS status, const char* call) {
    if (status >= 0) return;
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    throw DataBaseError(std::string("the SHA-256 digest could not be computed (") + call + " failed with " + code +
                        ")");
}

}  // namespace

TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes) {
    UniqueCngAlgorithm algorithm;
    Check(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider(SHA256)");
    UniqueCngHash hash;
    Check(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    // BCryptHashData takes at most a ULONG at a time.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
        const std::size_t length = std::min(kPiece, bytes.size() - done);
        Check(::BCryptHashData(hash.get(), const_cast<PUCHAR>(bytes.data() + done), static_cast<ULONG>(length), 0),
              "BCryptHashData");
    }
    TSha256Digest digest{};
    Check(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");
    return digest;
}

}  // namespace sentrel
