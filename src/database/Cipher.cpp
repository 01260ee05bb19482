#include "database/Cipher.h"

#include "database/Sha1.h"

namespace sentrel {

namespace {

// A tail of n = 1..7 bytes is XORed with the first n bytes of the encryption of the last whole
// ciphertext block (of the initial vector when there is none). Both directions see the same
// ciphertext block there, so decryption is the same XOR.
void XorTail(const Blowfish& blowfish, const Blowfish::Block& chain, std::span<std::uint8_t> tail) {
    Blowfish::Block keyStream;
    blowfish.EncryptBlock(chain, keyStream);
    for (std::size_t i = 0; i < tail.size(); ++i) tail[i] ^= keyStream[i];
}

}  // namespace

TCipher::TCipher(std::string_view passPhrase) : blowfish_(Sha1::Of(passPhrase)) {
    iv_.fill(0);
    blowfish_.EncryptBlock(iv_, iv_);
}

void TCipher::Encrypt(std::span<std::uint8_t> data) const {
    const std::size_t whole = data.size() - data.size() % Blowfish::kBlockSize;
    Blowfish::Block chain = iv_;
    blowfish_.EncryptCbc(data.first(whole), chain);
    if (whole < data.size()) XorTail(blowfish_, chain, data.subspan(whole));
}

void TCipher::Decrypt(std::span<std::uint8_t> data) const {
    const std::size_t whole = data.size() - data.size() % Blowfish::kBlockSize;
    Blowfish::Block chain = iv_;
    blowfish_.DecryptCbc(data.first(whole), chain);
    if (whole < data.size()) XorTail(blowfish_, chain, data.subspan(whole));
}

}  // namespace sentrel
