#include "database/CngSignatureVerifierWin.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "database/CngHandlesWin.h"
#include "database/Sha256.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

void Check(NTSTATUS status, const char* call) {
    if (!Succeeded(status)) platform::ThrowWin32Error(call, static_cast<DWORD>(status));
}

}  // namespace

struct CngSignatureVerifier::Handles {
    UniqueCngAlgorithm Ecdsa;
    UniqueCngKey Key;
};

CngSignatureVerifier::CngSignatureVerifier(const TEcPublicKey& key) : handles_(std::make_unique<Handles>()) {
    Check(::BCryptOpenAlgorithmProvider(handles_->Ecdsa.put(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider(ECDSA_P256)");
    std::vector<std::uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
    BCRYPT_ECCKEY_BLOB header{};
    header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    header.cbKey = 32;
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, key.data(), key.size());
    Check(::BCryptImportKeyPair(handles_->Ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, handles_->Key.put(), blob.data(),
                                static_cast<ULONG>(blob.size()), 0),
          "BCryptImportKeyPair");
}

CngSignatureVerifier::~CngSignatureVerifier() = default;

bool CngSignatureVerifier::Verify(std::span<const std::uint8_t> data,
                                  std::span<const std::uint8_t> derSignature) const {
    auto signature = RawSignatureFromDer(derSignature);
    if (!signature) return false;
    TSha256Digest digest;
    try {
        digest = Sha256Of(data);
    } catch (const std::exception&) {
        return false;
    }
    return Succeeded(::BCryptVerifySignature(handles_->Key.get(), nullptr, digest.data(),
                                             static_cast<ULONG>(digest.size()), signature->data(),
                                             static_cast<ULONG>(signature->size()), 0));
}

std::unique_ptr<CngSignatureVerifier> CngSignatureVerifier::ForBuiltInKey() {
    const auto key = PublicKeyFromPem(BuiltInUpdateKeyPem());
    if (!key) throw std::logic_error("the built-in update key is not a P-256 public key");
    return std::make_unique<CngSignatureVerifier>(*key);
}

}  // namespace sentrel
