#include "app/AdminTrust.h"

#include <gtest/gtest.h>

#include <sddl.h>

namespace sentrel::admin {
namespace {

// The descriptor of a security description string (SDDL).
bool OthersWrite(const wchar_t* sddl, Guarded guarded) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        << GetLastError();
    const bool others = LetsOthersWrite(descriptor, guarded);
    LocalFree(descriptor);
    return others;
}

TEST(AdminTrust, OnlyTheSystemAndAdministratorsMayChangeThePartsPlaces) {
    // As Program Files is, and as the part's store is made.
    const wchar_t* programFiles =
        L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
        L"D:P(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;;0x1301bf;;;SY)"
        L"(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)";
    EXPECT_FALSE(OthersWrite(programFiles, Guarded::Folder));
    EXPECT_FALSE(OthersWrite(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", Guarded::Folder));
    // A drive's root: users may add folders to it, not take them away.
    const wchar_t* root = L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;;0x4;;;AU)(A;OICIIO;SDGXGWGR;;;AU)";
    EXPECT_FALSE(OthersWrite(root, Guarded::Ancestor));
    EXPECT_TRUE(OthersWrite(root, Guarded::Folder));

    EXPECT_TRUE(OthersWrite(L"O:BAD:(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", Guarded::Folder));    // users modify
    EXPECT_TRUE(OthersWrite(L"O:BAD:(A;;FA;;;BA)(A;;0x2;;;S-1-5-21-1-2-3-1001)", Guarded::File));  // one user writes
    EXPECT_TRUE(OthersWrite(L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", Guarded::File));               // a user owns it
    EXPECT_TRUE(OthersWrite(L"O:BAD:(A;;WD;;;WD)", Guarded::Ancestor));                             // anyone rewrites rules
    EXPECT_TRUE(OthersWrite(L"O:BA", Guarded::Folder));                                             // no rules at all
    // A null DACL lets everyone in (made by hand: Wine reads "NO_ACCESS_CONTROL" as an empty one).
    SECURITY_DESCRIPTOR open{};
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&open, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    EXPECT_TRUE(LetsOthersWrite(&open, Guarded::File));
    // A denial takes nothing away from what the rest allow, and grants nothing either.
    EXPECT_FALSE(OthersWrite(L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BA)", Guarded::Folder));
}

}  // namespace
}  // namespace sentrel::admin
