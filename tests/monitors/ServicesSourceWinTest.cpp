// The services source: the instances Windows makes of a per-user service at every sign-in are no
// entries of their own; their template is, and so is a look-alike without a template. Windows'
// own services are no warning.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitors/ServicesSource.h"
#include "warnings/AutostartEntryData.h"
#include "warnings/Warning.h"
#include "platform/Registry.h"

namespace sentrel {
namespace {

constexpr const char* kServices = "SYSTEM\\CurrentControlSet\\Services\\";

void WriteService(const std::string& name, DWORD type) {
    platform::RegistryKey key = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, kServices + name);
    key.WriteDword("Type", type);
    key.WriteDword("Start", SERVICE_DEMAND_START);
    key.WriteString("ImagePath", "C:\\e2e\\" + name + ".exe");
}

TEST(ServicesSource, LeavesOutTheInstancesOfAPerUserServiceButNotTheirTemplate) {
    const std::vector<std::string> names = {"E2EUserSvc", "E2EUserSvc_3f9a1", "E2ELookAlike_1"};
    WriteService(names[0], 0x50);  // a per-user service template (own process)
    WriteService(names[1], 0xD0);  // its instance of this sign-in
    WriteService(names[2], 0xD0);  // an "instance" of no template
    auto source = MakeServicesSource({{.kind = AutostartPointKind::Services,
                                       .root = RegistryRoot::LocalMachine,
                                       .path = "HKLM\\SYSTEM\\CurrentControlSet\\Services",
                                       .name = "the services of the system"}});
    std::optional<std::vector<AutostartEntry>> entries;
    for (int pass = 0; pass < 200 && !entries; ++pass) entries = source->Read(0);  // a pass reads for a while
    for (const std::string& name : names) platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, kServices + name);
    ASSERT_TRUE(entries);
    const auto listed = [&](const std::string& name) {
        return std::any_of(entries->begin(), entries->end(), [&](const AutostartEntry& entry) { return entry.item == name; });
    };
    EXPECT_TRUE(listed(names[0]));
    EXPECT_FALSE(listed(names[1]));
    EXPECT_TRUE(listed(names[2]));
}

// A service of Windows itself (its program signed by Microsoft, it and its library right in the
// system folders) comes with Windows' updates: logged, no warning. Anything else about it is asked.
TEST(ServicesSource, WindowsOwnServicesAreNoWarning) {
    auto source = MakeServicesSource({{.kind = AutostartPointKind::Services,
                                       .root = RegistryRoot::LocalMachine,
                                       .path = "HKLM\\SYSTEM\\CurrentControlSet\\Services",
                                       .name = "the services of the system"}});
    const auto warned = [&](const std::string& signer, const std::string& command, const std::string& dll) {
        AutostartFinding finding{AutostartChange::Added, {"Svc", command, ServiceEntryRaw({2, "Svc", dll})}, {}, signer};
        return source->MakeWarning(0, finding, false) != nullptr;
    };
    const std::string host = "%SystemRoot%\\System32\\svchost.exe -k netsvcs";
    EXPECT_FALSE(warned("Microsoft Windows", host, "%SystemRoot%\\System32\\wuaueng.dll"));
    EXPECT_FALSE(warned("Microsoft Windows Publisher", "\\SystemRoot\\System32\\drivers\\disk.sys", ""));
    EXPECT_TRUE(warned("Microsoft Windows", host, "C:\\Users\\u\\AppData\\evil.dll"));
    EXPECT_TRUE(warned("Example Ltd", host, ""));
    EXPECT_TRUE(warned("", host, ""));
    EXPECT_TRUE(warned("Microsoft Windows", "C:\\Windows\\System32\\Tasks\\x.exe", ""));
    EXPECT_TRUE(warned("MicrosoftX", host, ""));
}

}  // namespace
}  // namespace sentrel
