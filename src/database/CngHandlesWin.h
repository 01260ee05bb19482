#pragma once
// Owners of the CNG (bcrypt.dll) handles the database's Windows adapters use.

#include <windows.h>
#include <bcrypt.h>

#include "platform/UniqueHandle.h"

namespace sentrel {

inline void CloseCngAlgorithm(BCRYPT_ALG_HANDLE h) noexcept {
    ::BCryptCloseAlgorithmProvider(h, 0);
}
inline void DestroyCngKey(BCRYPT_KEY_HANDLE h) noexcept {
    ::BCryptDestroyKey(h);
}
inline void DestroyCngHash(BCRYPT_HASH_HANDLE h) noexcept {
    ::BCryptDestroyHash(h);
}
using UniqueCngAlgorithm = platform::UniqueResource<platform::NullIsEmpty<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>>;
using UniqueCngKey = platform::UniqueResource<platform::NullIsEmpty<BCRYPT_KEY_HANDLE, DestroyCngKey>>;
using UniqueCngHash = platform::UniqueResource<platform::NullIsEmpty<BCRYPT_HASH_HANDLE, DestroyCngHash>>;

}  // namespace sentrel
