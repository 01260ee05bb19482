#include "app/AdminTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include <stdexcept>

#include "common/Files.h"
#include "platform/WideText.h"

namespace sentrel::admin {

namespace {

// The accounts that may write where the part lives.
bool IsTrustedAccount(PSID sid) {
    if (sid == nullptr || !IsValidSid(sid)) return false;
    for (const WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid})
        if (IsWellKnownSid(sid, type)) return true;
    // NT SERVICE\TrustedInstaller, which owns what Windows installs.
    PSID installer = nullptr;
    if (!ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &installer))
        return false;
    const bool same = EqualSid(sid, installer) != FALSE;
    LocalFree(installer);
    return same;
}

ACCESS_MASK CountingRights(Guarded guarded) {
    constexpr ACCESS_MASK kAlways = WRITE_DAC | WRITE_OWNER | GENERIC_ALL | FILE_DELETE_CHILD;
    switch (guarded) {
    case Guarded::Folder: return kAlways | DELETE | GENERIC_WRITE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
    case Guarded::Ancestor: return kAlways | DELETE;
    case Guarded::File: return kAlways | DELETE | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
    }
    return kAlways;
}

[[noreturn]] void Refuse(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + " " + why + "; the administrator part works only where no one but an "
                             "administrator can make changes");
}

void CheckOne(const std::string& path, Guarded guarded, bool checkRules) {
    const std::wstring wide = platform::WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) Refuse(path, "cannot be read");
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) Refuse(path, "is a link");
    if (!checkRules) return;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD result = GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT,
                                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                               nullptr, nullptr, nullptr, &descriptor);
    if (result != ERROR_SUCCESS) Refuse(path, "has rules that cannot be read (error " + std::to_string(result) + ")");
    const bool others = LetsOthersWrite(descriptor, guarded);
    LocalFree(descriptor);
    if (others) Refuse(path, "can be changed by users who are no administrators");
}

}  // namespace

bool LetsOthersWrite(PSECURITY_DESCRIPTOR descriptor, Guarded guarded) {
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) || !IsTrustedAccount(owner)) return true;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr) return true;
    const ACCESS_MASK counting = CountingRights(guarded);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) return true;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is made inside, not for the object
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;  // a kind of rule not weighed: refuse
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & counting) != 0 && !IsTrustedAccount(sid)) return true;
    }
    return false;
}

void CheckAdministratorsOnly(const std::string& path, bool file, bool checkRules) {
    CheckOne(path, file ? Guarded::File : Guarded::Folder, checkRules);
    // Every folder above it, up to the drive's root (which users may add folders to, but whose
    // folders they may not take away).
    std::string folder = path;
    for (;;) {
        while (!folder.empty() && folder.back() == '\\') folder.pop_back();
        const std::size_t last = folder.rfind('\\');
        if (last == std::string::npos || last < 2) break;
        folder.resize(last);
        const bool root = folder.size() <= 2;  // "C:"
        CheckOne(root ? folder + "\\" : folder, Guarded::Ancestor, checkRules);
        if (root) break;
    }
}

}  // namespace sentrel::admin
