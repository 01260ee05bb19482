#include "database/UpdateSignature.h"

#include <algorithm>
#include <vector>

#include "common/Files.h"

namespace sentrel {

namespace {

// SubjectPublicKeyInfo of an uncompressed P-256 key: SEQUENCE { SEQUENCE { id-ecPublicKey,
// prime256v1 }, BIT STRING { 04 X Y } }; everything but X and Y is fixed.
constexpr std::uint8_t kP256KeyPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                           0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                           0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t bits = 0;
    int count = 0;
    bool padding = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        const int value = Base64Value(c);
        if (value < 0 || padding) return std::nullopt;
        bits = bits << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
            bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
            bytes.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1) return std::nullopt;
    if (count == 2) bytes.push_back(static_cast<std::uint8_t>(bits >> 4));
    if (count == 3) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> 10));
        bytes.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return bytes;
}

// One DER INTEGER of at most 32 bytes of magnitude, written right-aligned into `out`.
bool ReadDerInteger(std::span<const std::uint8_t> der, std::size_t& position, std::uint8_t* out) {
    if (position + 2 > der.size() || der[position] != 0x02) return false;
    std::size_t length = der[position + 1];
    position += 2;
    if (length == 0 || length > 33 || position + length > der.size()) return false;
    const std::uint8_t* value = der.data() + position;
    position += length;
    if (value[0] & 0x80) return false;                                    // negative
    if (length > 1 && value[0] == 0 && !(value[1] & 0x80)) return false;  // not minimal
    if (value[0] == 0) {
        ++value;
        --length;
    }
    if (length > 32) return false;
    std::fill(out, out + 32, std::uint8_t{0});
    std::copy(value, value + length, out + (32 - length));
    return true;
}

}  // namespace

std::optional<TEcPublicKey> PublicKeyFromPem(std::string_view pem) {
    constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
    constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";
    const std::size_t begin = pem.find(kBegin);
    if (begin == std::string_view::npos) return std::nullopt;
    const std::size_t body = begin + kBegin.size();
    const std::size_t end = pem.find(kEnd, body);
    if (end == std::string_view::npos) return std::nullopt;
    const auto der = DecodeBase64(pem.substr(body, end - body));
    if (!der || der->size() != sizeof kP256KeyPrefix + 64 ||
        !std::equal(std::begin(kP256KeyPrefix), std::end(kP256KeyPrefix), der->begin()))
        return std::nullopt;
    TEcPublicKey key;
    std::copy(der->begin() + sizeof kP256KeyPrefix, der->end(), key.begin());
    return key;
}

std::optional<TRawSignature> RawSignatureFromDer(std::span<const std::uint8_t> der) {
    if (der.size() < 8 || der[0] != 0x30 || der[1] & 0x80 || der[1] != der.size() - 2) return std::nullopt;
    TRawSignature raw{};
    std::size_t position = 2;
    if (!ReadDerInteger(der, position, raw.data()) || !ReadDerInteger(der, position, raw.data() + 32))
        return std::nullopt;
    if (position != der.size()) return std::nullopt;
    return raw;
}

std::vector<std::uint8_t> ReadSignedUpdate(const std::string& updatePath, const TSignatureVerifier& verifier) {
    const std::string name = FileNamePart(updatePath);
    const std::string signaturePath = updatePath + std::string(kSignatureSuffix);
    auto tooLarge = [&](std::int64_t size) {
        return DataBaseError("The file \"" + name + "\" is too large to be an update (" + std::to_string(size) +
                             " bytes), so it was not applied.");
    };
    // The size is checked before the file is read, and again after (it may have grown).
    const std::int64_t size = FileSize(updatePath);
    if (size > kUpdateFileSizeLimit) throw tooLarge(size);
    std::vector<std::uint8_t> update;
    try {
        update = ReadFileBytes(updatePath);
    } catch (const FileError& error) {
        throw DataBaseError(error.what());
    }
    if (static_cast<std::int64_t>(update.size()) > kUpdateFileSizeLimit)
        throw tooLarge(static_cast<std::int64_t>(update.size()));
    if (!FileExists(signaturePath))
        throw UpdateSignatureError("The update \"" + name + "\" is not signed (" + name +
                                   std::string(kSignatureSuffix) + " is missing), so it was not applied.");
    const std::int64_t signatureSize = FileSize(signaturePath);
    std::vector<std::uint8_t> signature;
    try {
        if (signatureSize < 0 || signatureSize > static_cast<std::int64_t>(kMaxSignatureFileSize))
            throw FileError("not a signature");
        signature = ReadFileBytes(signaturePath);
    } catch (const FileError&) {
        throw UpdateSignatureError("The signature of the update \"" + name +
                                   "\" cannot be read, so it was not applied.");
    }
    if (signature.size() > kMaxSignatureFileSize || !verifier.Verify(update, signature))
        throw UpdateSignatureError("The update \"" + name +
                                   "\" is not signed by the maker of Sentrel (a damaged or forged file), so it was "
                                   "not applied.");
    return update;
}

}  // namespace sentrel
