#include "database/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <string>

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

// The system's cryptography library, loaded from the system folder when first needed rather than
// imported: a program that links this digest (the administrator part among them) then imports
// nothing at its start that Windows would look for in the program's own folder first.
struct Cng {
    decltype(&::BCryptOpenAlgorithmProvider) openAlgorithm = nullptr;
    decltype(&::BCryptCloseAlgorithmProvider) closeAlgorithm = nullptr;
    decltype(&::BCryptCreateHash) createHash = nullptr;
    decltype(&::BCryptHashData) hashData = nullptr;
    decltype(&::BCryptFinishHash) finishHash = nullptr;
    decltype(&::BCryptDestroyHash) destroyHash = nullptr;

    template <typename Function>
    static void Load(HMODULE library, const char* name, Function& function) {
        function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
        if (!function) throw DataBaseError(std::string("the SHA-256 digest could not be computed (no ") + name + ")");
    }

    static const Cng& Functions() {
        static const Cng cng = [] {
            const HMODULE library = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
            if (!library) throw DataBaseError("the SHA-256 digest could not be computed (bcrypt.dll is missing)");
            Cng loaded;
            Load(library, "BCryptOpenAlgorithmProvider", loaded.openAlgorithm);
            Load(library, "BCryptCloseAlgorithmProvider", loaded.closeAlgorithm);
            Load(library, "BCryptCreateHash", loaded.createHash);
            Load(library, "BCryptHashData", loaded.hashData);
            Load(library, "BCryptFinishHash", loaded.finishHash);
            Load(library, "BCryptDestroyHash", loaded.destroyHash);
            return loaded;
        }();
        return cng;
    }
};

}  // namespace

TSha256Digest Sha256Of(std::span<const std::uint8_t> bytes) {
    const Cng& cng = Cng::Functions();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    Check(cng.openAlgorithm(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0), "BCryptOpenAlgorithmProvider(SHA256)");
    BCRYPT_HASH_HANDLE hash = nullptr;
    struct Release {
        const Cng& cng;
        BCRYPT_ALG_HANDLE& algorithm;
        BCRYPT_HASH_HANDLE& hash;
        ~Release() {
            if (hash) cng.destroyHash(hash);
            cng.closeAlgorithm(algorithm, 0);
        }
    } release{cng, algorithm, hash};
    Check(cng.createHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash");
    // BCryptHashData takes at most a ULONG at a time.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t done = 0; done < bytes.size(); done += kPiece) {
        const std::size_t length = std::min(kPiece, bytes.size() - done);
        Check(cng.hashData(hash, const_cast<PUCHAR>(bytes.data() + done), static_cast<ULONG>(length), 0),
              "BCryptHashData");
    }
    TSha256Digest digest{};
    Check(cng.finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");
    return digest;
}

}  // namespace sentrel
