#pragma once
// The outer layer of database.db and of every update file: Blowfish in CBC mode, keyed with the
// SHA-1 digest of a pass phrase. Nothing is appended: the ciphertext is exactly as long as the
// plaintext (a short tail is XORed with the encryption of the last whole ciphertext block).

#include <cstdint>
#include <span>
#include <string_view>

#include "database/Blowfish.h"

namespace sentrel {

// The pass phrase from which the program's database key is derived.
inline constexpr std::string_view kDataBasePassPhrase = "k#Rw:9m!Tq&Zp)Lc^v<E>x*Gs+2$hY%n";

class TCipher {
public:
    // Key: SHA-1 of the pass-phrase bytes (160 bits). Initial vector: the encryption of eight
    // zero bytes under that key.
    explicit TCipher(std::string_view passPhrase);

    // Encrypts or decrypts a whole buffer in place, as one pass over the data.
    void Encrypt(std::span<std::uint8_t> data) const;
    void Decrypt(std::span<std::uint8_t> data) const;

private:
    Blowfish blowfish_;
    Blowfish::Block iv_;
};

}  // namespace sentrel
