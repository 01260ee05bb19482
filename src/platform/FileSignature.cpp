#include "platform/FileSignature.h"

#include <windows.h>
// In this order: each needs the one before (the build leaves wincrypt.h out of windows.h).
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>

#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"

namespace sentrel::platform {

namespace {

// What WinVerifyTrust read of the signature: its signer's simple display name, and whether the
// chain it built ends at a root the system trusts.
struct SignerRead {
    std::string name;
    bool chainTrusted = false;
};

SignerRead ReadSigner(HANDLE state) {
    CRYPT_PROVIDER_DATA* data = WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* signer = data ? WTHelperGetProvSignerFromChain(data, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
    SignerRead read;
    constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                 CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_EXPLICIT_DISTRUST |
                                 CERT_TRUST_IS_REVOKED;
    read.chainTrusted = signer->pChainContext && (signer->pChainContext->TrustStatus.dwErrorStatus & kUntrusted) == 0;
    wchar_t name[256] = {};
    const DWORD length = CertGetNameStringW(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                                            name, static_cast<DWORD>(std::size(name)));
    if (length > 1) read.name = Utf8FromWide(std::wstring_view(name, length - 1));
    return read;
}

// WinVerifyTrust for a file or a catalog member: trusted only where it says so and the chain it
// built ends at a trusted root (Wine's check accepts any root; Windows' refuses an unknown one
// itself). Its state is always closed again.
FileSignature Verify(WINTRUST_DATA& trust, bool catalog, LONG& result) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    const SignerRead signer = trust.hWVTStateData ? ReadSigner(trust.hWVTStateData) : SignerRead{};
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    const bool trusted = result == ERROR_SUCCESS && signer.chainTrusted;
    return {trusted ? SignatureState::Trusted : SignatureState::Invalid, signer.name, catalog};
}

bool MeansNoSignature(LONG result) {
    return result == TRUST_E_NOSIGNATURE || result == TRUST_E_SUBJECT_FORM_UNKNOWN ||
           result == TRUST_E_PROVIDER_UNKNOWN || result == static_cast<LONG>(CRYPT_E_FILE_ERROR);
}

// The SHA-256 forms of the catalog calls (Windows 8 and later; the import library has them not).
using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*, const CERT_STRONG_SIGN_PARA*, DWORD);
using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

template <class Function>
Function CatalogCall(const char* name) {
    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    return wintrust ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(wintrust, name))) : nullptr;
}

// The file as a system catalog that lists its hash signs it (by its SHA-256, else its SHA-1);
// NotSigned when none does or the system keeps no catalogs.
FileSignature CheckCatalogs(const std::wstring& path, HANDLE file) {
    static const auto acquire2 = CatalogCall<AcquireContext2>("CryptCATAdminAcquireContext2");
    static const auto hash2 = CatalogCall<CalcHash2>("CryptCATAdminCalcHashFromFileHandle2");
    const bool sha256 = acquire2 && hash2;
    HCATADMIN admin = nullptr;
    if (sha256 ? !acquire2(&admin, nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)
               : !CryptCATAdminAcquireContext(&admin, nullptr, 0))
        return {SignatureState::NotSigned, {}, false};
    const auto calculate = [&](DWORD* size, BYTE* hash) {
        return sha256 ? hash2(admin, file, size, hash, 0) : CryptCATAdminCalcHashFromFileHandle(file, size, hash, 0);
    };
    FileSignature found{SignatureState::NotSigned, {}, false};
    DWORD size = 0;
    calculate(&size, nullptr);
    std::vector<BYTE> hash(size);
    if (size != 0 && calculate(&size, hash.data())) {
        HCATINFO catalog = CryptCATAdminEnumCatalogFromHash(admin, hash.data(), size, 0, nullptr);
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        if (catalog && CryptCATCatalogInfoFromContext(catalog, &info, 0)) {
            std::wstring tag;
            for (const BYTE byte : hash) {
                constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
                tag += kDigits[byte >> 4];
                tag += kDigits[byte & 15];
            }
            WINTRUST_CATALOG_INFO member{};
            member.cbStruct = sizeof member;
            member.pcwszCatalogFilePath = info.wszCatalogFile;
            member.pcwszMemberFilePath = path.c_str();
            member.pcwszMemberTag = tag.c_str();
            member.hMemberFile = file;
            member.pbCalculatedFileHash = hash.data();
            member.cbCalculatedFileHash = size;
            WINTRUST_DATA trust{};
            trust.dwUnionChoice = WTD_CHOICE_CATALOG;
            trust.pCatalog = &member;
            LONG result = 0;
            found = Verify(trust, true, result);
        }
        if (catalog) CryptCATAdminReleaseCatalogContext(admin, catalog, 0);
    }
    CryptCATAdminReleaseContext(admin, 0);
    return found;
}

}  // namespace

FileSignature CheckFileSignature(const std::string& path) {
    const std::wstring widePath = WideFromUtf8(path);
    const UniqueFile file(CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = widePath.c_str();
    fileInfo.hFile = file.get();
    WINTRUST_DATA trust{};
    trust.dwUnionChoice = WTD_CHOICE_FILE;
    trust.pFile = &fileInfo;
    LONG result = 0;
    const FileSignature own = Verify(trust, false, result);
    return MeansNoSignature(result) ? CheckCatalogs(widePath, file.get()) : own;
}

}  // namespace sentrel::platform
