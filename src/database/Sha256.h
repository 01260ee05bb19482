#pragma once
// SHA-256 (FIPS 180-4), computed by the system: CNG in the program (Sha256Win.cpp), OpenSSL's
// libcrypto in the native build and the maker's tools (Sha256Posix.cpp). An update names the
// database it was made from and the one it makes by these digests (database/Patch.h).

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace sentrel {

using TSha256Digest = std::array<std::uint8_t, 32>;

// The digest of `bytes`. DataBaseError when the system cannot compute it.
TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes);

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const TSha256Digest& digest);

}  // namespace sentrel
