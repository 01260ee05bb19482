#include "platform/WindowsVersion.h"

#include <cstdio>

#include <windows.h>

#include <gtest/gtest.h>

namespace sentrel::platform {
namespace {

using V = WindowsVersionClass;
using Platform = WindowsVersionFacts::Platform;

WindowsVersionFacts Nt(std::uint32_t major, std::uint32_t minor, bool workstation = true, std::uint32_t build = 0) {
    WindowsVersionFacts facts;
    facts.platform = Platform::Nt;
    facts.major = major;
    facts.minor = minor;
    facts.workstation = workstation;
    facts.build = build;
    return facts;
}

WindowsVersionFacts Nine(std::uint32_t minor, const std::string& servicePack, std::uint32_t kernel = 0) {
    WindowsVersionFacts facts;
    facts.platform = Platform::Windows9x;
    facts.major = 4;
    facts.minor = minor;
    facts.servicePack = servicePack;
    facts.kernelVersionHigh = kernel;
    return facts;
}

TEST(WindowsVersion, ClassifiesTheNineXFamily) {
    EXPECT_EQ(ClassifyWindowsVersion(Nine(0, "")), V::Windows95);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(0, " B ")), V::Windows95Osr2);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(3, "C")), V::Windows95Osr2);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(9, "A")), V::Windows95);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(10, "")), V::Windows98);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(10, " A ")), V::Windows98Se);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(10, "A", 0x4005A)), V::WindowsMe);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(89, "")), V::Windows98);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(90, "")), V::WindowsMe);
    EXPECT_EQ(ClassifyWindowsVersion(Nine(91, "")), V::Unrecognised);
    WindowsVersionFacts win32s;
    win32s.platform = Platform::Win32s;
    EXPECT_EQ(ClassifyWindowsVersion(win32s), V::Unrecognised);
}

TEST(WindowsVersion, ClassifiesTheNtFamilyUpToServer2008) {
    EXPECT_EQ(ClassifyWindowsVersion(Nt(3, 10)), V::Nt31);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(3, 50)), V::Nt35);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(3, 51)), V::Nt351);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(3, 0)), V::Unrecognised);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(4, 0)), V::Nt40);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(5, 0)), V::Windows2000);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(5, 1)), V::WindowsXp);

    WindowsVersionFacts fivePointTwo = Nt(5, 2, false);
    EXPECT_EQ(ClassifyWindowsVersion(fivePointTwo), V::Server2003);
    fivePointTwo.nativeX86 = false;
    EXPECT_EQ(ClassifyWindowsVersion(fivePointTwo), V::Server2003);  // a 64-bit server
    fivePointTwo.workstation = true;
    EXPECT_EQ(ClassifyWindowsVersion(fivePointTwo), V::WindowsXpX64);
    fivePointTwo.serverR2 = true;
    EXPECT_EQ(ClassifyWindowsVersion(fivePointTwo), V::Server2003R2);

    EXPECT_EQ(ClassifyWindowsVersion(Nt(6, 0)), V::Vista);
    EXPECT_EQ(ClassifyWindowsVersion(Nt(6, 0, false)), V::Server2008);
}

TEST(WindowsVersion, ClassifiesLaterWindowsAsNtAfterServer2008) {
    const std::pair<WindowsVersionFacts, V> cases[] = {
        {Nt(6, 1), V::Windows7},           {Nt(6, 1, false), V::Server2008R2},
        {Nt(6, 2), V::Windows8},           {Nt(6, 2, false), V::Server2012},
        {Nt(6, 3), V::Windows81},          {Nt(6, 3, false), V::Server2012R2},
        {Nt(10, 0, true, 19045), V::Windows10}, {Nt(10, 0, false, 20348), V::Server2016},
        {Nt(10, 0, true, 22000), V::Windows11}, {Nt(10, 0, true, 26100), V::Windows11},
        {Nt(11, 0), V::LaterNt},           {Nt(6, 4), V::LaterNt},
    };
    for (const auto& [facts, expected] : cases) {
        const V version = ClassifyWindowsVersion(facts);
        EXPECT_EQ(version, expected) << facts.major << "." << facts.minor << " build " << facts.build;
        EXPECT_GT(version, V::Server2008) << WindowsVersionName(version);
        EXPECT_TRUE(IsNtFamily(version)) << WindowsVersionName(version);
        EXPECT_GE(version, V::Nt40) << WindowsVersionName(version);
    }
    // The order of the older classes is kept: the 9x family and unrecognised are not NT.
    EXPECT_FALSE(IsNtFamily(V::Unrecognised));
    EXPECT_FALSE(IsNtFamily(V::WindowsMe));
    EXPECT_TRUE(IsNtFamily(V::Nt31));
    EXPECT_STREQ(WindowsVersionName(V::Windows98Se), "Windows 98 SE");
    EXPECT_STREQ(WindowsVersionName(V::WindowsXpX64), "XP x64");
    EXPECT_STREQ(WindowsVersionName(V::Unrecognised), "unrecognised");
}

TEST(WindowsVersion, WineIsAnNtFamilyWindows) {
    const WindowsVersionFacts facts = ReadWindowsVersionFacts();
    const V version = CurrentWindowsVersion();
    std::printf("Running Windows: %u.%u build %u (%s), class \"%s\"\n", facts.major, facts.minor, facts.build,
                facts.workstation ? "workstation" : "server", WindowsVersionName(version));
    EXPECT_EQ(facts.platform, Platform::Nt);
    EXPECT_TRUE(IsNtFamily(version)) << WindowsVersionName(version);
    EXPECT_NE(version, V::Unrecognised);

    // The true version: RtlGetVersion is not capped by the manifest the way GetVersionExA is.
    OSVERSIONINFOA capped = {};
    capped.dwOSVersionInfoSize = sizeof capped;
    ASSERT_TRUE(GetVersionExA(&capped));
    EXPECT_GE(facts.major * 100 + facts.minor, capped.dwMajorVersion * 100 + capped.dwMinorVersion);
}

}  // namespace
}  // namespace sentrel::platform
