#pragma once
// The Windows version class: an ordered classification of the running Windows that chooses
// between the NT strategies (process status functions, change records) and the older ones
// (tool-help walking, snapshots). Every class from NT 3.1 onwards is the NT family, including
// every Windows after Server 2008 and NT versions newer than this list knows.

#include <cstdint>
#include <string>

namespace sentrel::platform {

enum class WindowsVersionClass {
    Unrecognised,
    Windows95,
    Windows95Osr2,
    Windows98,
    Windows98Se,
    WindowsMe,
    Nt31,
    Nt35,
    Nt351,
    Nt40,
    Windows2000,
    WindowsXp,
    Server2003,
    WindowsXpX64,
    Server2003R2,
    Vista,
    Server2008,
    Windows7,
    Server2008R2,
    Windows8,
    Server2012,
    Windows81,
    Server2012R2,
    Windows10,
    Server2016,  // and the later servers of the 10.0 kernel (2019, 2022, 2025)
    Windows11,
    LaterNt,  // an NT version newer than every class above
};

// What the classification reads from the system.
struct WindowsVersionFacts {
    enum class Platform { Win32s, Windows9x, Nt };
    Platform platform = Platform::Nt;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::string servicePack;          // the service-pack text (szCSDVersion)
    bool workstation = true;          // product type VER_NT_WORKSTATION
    bool serverR2 = false;            // GetSystemMetrics(SM_SERVERR2) != 0
    bool nativeX86 = true;            // native processor architecture is x86
    std::uint32_t kernelVersionHigh = 0;  // high half of kernel32.dll's file version (9x only)
};

WindowsVersionClass ClassifyWindowsVersion(const WindowsVersionFacts& facts);

// The facts of the running Windows: the true version from RtlGetVersion (which, unlike
// GetVersionExA, is not capped by the manifest's compatibility list), GetVersionExA where ntdll
// lacks it (the 9x family).
WindowsVersionFacts ReadWindowsVersionFacts();

// The class of the running Windows.
WindowsVersionClass CurrentWindowsVersion();

constexpr bool IsNtFamily(WindowsVersionClass version) {
    return version >= WindowsVersionClass::Nt31;
}

// "Windows XP", "Server 2008", "unrecognised", ...
const char* WindowsVersionName(WindowsVersionClass version);

}  // namespace sentrel::platform
