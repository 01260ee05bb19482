#pragma once
// Signed update files. An update decides what the shield deletes, so the program applies only
// updates signed by the maker: ECDSA on the P-256 curve over the SHA-256 digest of the whole
// update file. The signature lives beside the file as FILE.sig, DER-encoded as OpenSSL writes
// it (so `openssl dgst -sha256 -verify` checks it too). The maker's public key is built into the
// program from data/keys/update_public.pem.
//
// Checking is behind TSignatureVerifier: the program uses the system's CNG
// (database/CngSignatureVerifierWin.h), the maker's tools and native tests use OpenSSL.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/DataBaseError.h"

namespace sentrel {

inline constexpr std::string_view kSignatureSuffix = ".sig";
// A DER ECDSA P-256 signature is at most 72 bytes; anything larger is not one.
inline constexpr std::size_t kMaxSignatureFileSize = 256;
// The largest update file the program reads (downloaded or local): an update is a patch of a
// database of a few megabytes, so anything near this is not one.
inline constexpr std::int64_t kUpdateFileSizeLimit = 64 * 1024 * 1024;

// An update without a valid signature; nothing was touched.
class UpdateSignatureError : public DataBaseError {
public:
    using DataBaseError::DataBaseError;
};

// A P-256 public key as its two coordinates, X then Y, 32 bytes each, big-endian.
using TEcPublicKey = std::array<std::uint8_t, 64>;
// A P-256 signature as r then s, 32 bytes each, big-endian (the form CNG takes).
using TRawSignature = std::array<std::uint8_t, 64>;

class TSignatureVerifier {
public:
    virtual ~TSignatureVerifier() = default;
    // True when `derSignature` is the maker's signature of `data`. A malformed signature is
    // false, never an error.
    virtual bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> derSignature) const = 0;
};

// The key of a PEM "PUBLIC KEY" block (SubjectPublicKeyInfo) of a P-256 key; std::nullopt for
// anything else.
std::optional<TEcPublicKey> PublicKeyFromPem(std::string_view pem);

// The DER SEQUENCE { INTEGER r, INTEGER s } of an ECDSA P-256 signature as r || s. Strict DER:
// std::nullopt for long forms, extra bytes, negative or oversized integers.
std::optional<TRawSignature> RawSignatureFromDer(std::span<const std::uint8_t> der);

// The maker's public key built into the program (SENTREL_UPDATE_PUBLIC_KEY,
// data/keys/update_public.pem unless a release names its own).
std::string_view BuiltInUpdateKeyPem();

// True when that key is the tree's public test key, whose private half is public too: such a
// development build accepts updates signed by anyone, and says so where a user sees it.
bool BuiltWithTestUpdateKey();

// Reads `updatePath` and `updatePath` + ".sig" and checks them. Returns the update file's bytes
// (the bytes that were checked, so that nothing can swap the file between check and use).
// Throws UpdateSignatureError with a message for the user when the signature is missing,
// unreadable or not the maker's, DataBaseError when the update file cannot be read or is larger
// than kUpdateFileSizeLimit (checked before anything is read).
std::vector<std::uint8_t> ReadSignedUpdate(const std::string& updatePath, const TSignatureVerifier& verifier);

}  // namespace sentrel
