#pragma once
// Update signatures checked with the system's CNG (bcrypt.dll): ECDSA P-256 over SHA-256, the
// maker's public key imported once. The program builds one from BuiltInUpdateKeyPem().

#include <memory>

#include "database/UpdateSignature.h"

namespace sentrel {

class CngSignatureVerifier : public TSignatureVerifier {
public:
    // Throws Win32Error when CNG cannot take the key.
    explicit CngSignatureVerifier(const TEcPublicKey& key);
    ~CngSignatureVerifier() override;
    CngSignatureVerifier(const CngSignatureVerifier&) = delete;
    CngSignatureVerifier& operator=(const CngSignatureVerifier&) = delete;

    // SHA-256 of the data (Sha256Of), then BCryptVerifySignature; a malformed signature or
    // any CNG failure is false.
    bool Verify(std::span<const std::uint8_t> data, std::span<const std::uint8_t> derSignature) const override;

    // The verifier for the maker's key built into the program.
    static std::unique_ptr<CngSignatureVerifier> ForBuiltInKey();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

}  // namespace sentrel
