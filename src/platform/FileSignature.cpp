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

// The SHA-256 forms of the catalog calls (Windows 8 and later; the import library has them not).
using AcquireContext2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*, const CERT_STRONG_SIGN_PARA*, DWORD);
using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);

// The calls of the trust and certificate libraries, loaded at the first check: a shield that
// checks nothing does not carry them.
struct TrustCalls {
    decltype(&WinVerifyTrust) verify = nullptr;
    decltype(&WTHelperProvDataFromStateData) providerData = nullptr;
    decltype(&WTHelperGetProvSignerFromChain) signerOfChain = nullptr;
    decltype(&CertGetNameStringW) certificateName = nullptr;
    decltype(&CryptCATAdminAcquireContext) acquire = nullptr;
    AcquireContext2 acquire2 = nullptr;  // absent before Windows 8: SHA-1 catalogs then
    decltype(&CryptCATAdminCalcHashFromFileHandle) hash = nullptr;
    CalcHash2 hash2 = nullptr;
    decltype(&CryptCATAdminEnumCatalogFromHash) catalogOfHash = nullptr;
    decltype(&CryptCATCatalogInfoFromContext) catalogInfo = nullptr;
    decltype(&CryptCATAdminReleaseCatalogContext) releaseCatalog = nullptr;
    decltype(&CryptCATAdminReleaseContext) releaseAdmin = nullptr;

    bool Complete() const {
        return verify && providerData && signerOfChain && certificateName && acquire && hash && catalogOfHash &&
               catalogInfo && releaseCatalog && releaseAdmin;
    }
};

template <class Function>
void Resolve(HMODULE module, const char* name, Function& function) {
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// Loaded once for the process (from the system folder only) and kept.
const TrustCalls& Calls() {
    static const TrustCalls calls = [] {
        TrustCalls loaded;
        const HMODULE wintrust = LoadLibraryExW(L"wintrust.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE crypt32 = LoadLibraryExW(L"crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        Resolve(wintrust, "WinVerifyTrust", loaded.verify);
        Resolve(wintrust, "WTHelperProvDataFromStateData", loaded.providerData);
        Resolve(wintrust, "WTHelperGetProvSignerFromChain", loaded.signerOfChain);
        Resolve(crypt32, "CertGetNameStringW", loaded.certificateName);
        Resolve(wintrust, "CryptCATAdminAcquireContext", loaded.acquire);
        Resolve(wintrust, "CryptCATAdminAcquireContext2", loaded.acquire2);
        Resolve(wintrust, "CryptCATAdminCalcHashFromFileHandle", loaded.hash);
        Resolve(wintrust, "CryptCATAdminCalcHashFromFileHandle2", loaded.hash2);
        Resolve(wintrust, "CryptCATAdminEnumCatalogFromHash", loaded.catalogOfHash);
        Resolve(wintrust, "CryptCATCatalogInfoFromContext", loaded.catalogInfo);
        Resolve(wintrust, "CryptCATAdminReleaseCatalogContext", loaded.releaseCatalog);
        Resolve(wintrust, "CryptCATAdminReleaseContext", loaded.releaseAdmin);
        return loaded;
    }();
    return calls;
}

// What WinVerifyTrust read of the signature: its signer's simple display name, and whether the
// chain it built ends at a root the system trusts.
struct SignerRead {
    std::string name;
    bool chainTrusted = false;
};

SignerRead ReadSigner(HANDLE state) {
    CRYPT_PROVIDER_DATA* data = Calls().providerData(state);
    CRYPT_PROVIDER_SGNR* signer = data ? Calls().signerOfChain(data, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain || !signer->pasCertChain[0].pCert) return {};
    SignerRead read;
    constexpr DWORD kUntrusted = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                                 CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_EXPLICIT_DISTRUST |
                                 CERT_TRUST_IS_REVOKED;
    read.chainTrusted = signer->pChainContext && (signer->pChainContext->TrustStatus.dwErrorStatus & kUntrusted) == 0;
    wchar_t name[256] = {};
    const DWORD length = Calls().certificateName(signer->pasCertChain[0].pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
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
    result = Calls().verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    const SignerRead signer = trust.hWVTStateData ? ReadSigner(trust.hWVTStateData) : SignerRead{};
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    Calls().verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &trust);
    const bool trusted = result == ERROR_SUCCESS && signer.chainTrusted;
    return {trusted ? SignatureState::Trusted : SignatureState::Invalid, signer.name, catalog};
}

bool MeansNoSignature(LONG result) {
    return result == TRUST_E_NOSIGNATURE || result == TRUST_E_SUBJECT_FORM_UNKNOWN ||
           result == TRUST_E_PROVIDER_UNKNOWN || result == static_cast<LONG>(CRYPT_E_FILE_ERROR);
}

// The file as a system catalog that lists its hash signs it (by its SHA-256, else its SHA-1);
// NotSigned when none does or the system keeps no catalogs.
FileSignature CheckCatalogs(const std::wstring& path, HANDLE file) {
    const TrustCalls& calls = Calls();
    const bool sha256 = calls.acquire2 && calls.hash2;
    HCATADMIN admin = nullptr;
    if (sha256 ? !calls.acquire2(&admin, nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)
               : !calls.acquire(&admin, nullptr, 0))
        return {SignatureState::NotSigned, {}, false};
    const auto calculate = [&](DWORD* size, BYTE* hash) {
        return sha256 ? calls.hash2(admin, file, size, hash, 0) : calls.hash(file, size, hash, 0);
    };
    FileSignature found{SignatureState::NotSigned, {}, false};
    DWORD size = 0;
    calculate(&size, nullptr);
    std::vector<BYTE> hash(size);
    if (size != 0 && calculate(&size, hash.data())) {
        HCATINFO catalog = calls.catalogOfHash(admin, hash.data(), size, 0, nullptr);
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        if (catalog && calls.catalogInfo(catalog, &info, 0)) {
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
        if (catalog) calls.releaseCatalog(admin, catalog, 0);
    }
    calls.releaseAdmin(admin, 0);
    return found;
}

}  // namespace

FileSignature CheckFileSignature(const std::string& path) {
    if (!Calls().Complete()) return {};  // no trust library: nothing can be told
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
