#include "warnings/RootKeysWin.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(RootKeysWin, ConvertsToAndFromThePredefinedHandles) {
    const std::pair<RegistryRoot, HKEY> roots[] = {
        {RegistryRoot::ClassesRoot, HKEY_CLASSES_ROOT},   {RegistryRoot::CurrentUser, HKEY_CURRENT_USER},
        {RegistryRoot::LocalMachine, HKEY_LOCAL_MACHINE}, {RegistryRoot::Users, HKEY_USERS},
        {RegistryRoot::PerformanceData, HKEY_PERFORMANCE_DATA}, {RegistryRoot::CurrentConfig, HKEY_CURRENT_CONFIG},
        {RegistryRoot::DynData, HKEY_DYN_DATA},
    };
    for (const auto& [root, hkey] : roots) {
        EXPECT_EQ(ToHkey(root), hkey) << RootKeyName(root);
        EXPECT_EQ(FromHkey(hkey), root) << RootKeyName(root);
    }

    // The converted handle is one the system takes.
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(ToHkey(RegistryRoot::CurrentUser), "Software", 0, KEY_READ, &software), ERROR_SUCCESS);
    RegCloseKey(software);
}

}  // namespace
}  // namespace sentrel
