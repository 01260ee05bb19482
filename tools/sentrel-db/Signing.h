#pragma once
// The maker's side of update signatures, on OpenSSL: key pairs, signing and checking. The
// program checks with the system's CNG (database/CngSignatureVerifierWin.h); both read the same
// FILE.sig (DER ECDSA P-256 over SHA-256).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "database/UpdateSignature.h"

namespace sentrel::dbtool {

// Writes a new P-256 key pair: the private key (PKCS#8 PEM, readable by its owner only) and the
// public key (PEM SubjectPublicKeyInfo, the form data/keys/ holds). An existing private key file
// is never overwritten (ToolError).
void GenerateKeyPair(const std::string& privatePath, const std::string& publicPath);

// The DER signature of `data` with the P-256 private key in `privatePem`; ToolError for a key
// that is not one.
std::vector<std::uint8_t> SignBytes(const std::string& privatePem, std::span<const std::uint8_t> data);

// Checks signatures against one public key (PEM); ToolError for a key that is not a P-256 one.
class TOpenSslVerifier : public TSignatureVerifier {
public:
    explicit TOpenSslVerifier(const std::string& publicPem);
    ~TOpenSslVerifier() override;
    bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> derSignature) const override;

private:
    struct Key;
    std::unique_ptr<Key> key_;
};

}  // namespace sentrel::dbtool
