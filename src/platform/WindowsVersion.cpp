#include "platform/WindowsVersion.h"

#include <vector>

#include <windows.h>

#include "platform/WideText.h"

namespace sentrel::platform {
namespace {

using Platform = WindowsVersionFacts::Platform;

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

WindowsVersionClass ClassifyNt(const WindowsVersionFacts& facts) {
    using V = WindowsVersionClass;
    const bool workstation = facts.workstation;
    switch (facts.major) {
    case 3:
        if (facts.minor == 10) return V::Nt31;
        if (facts.minor == 50) return V::Nt35;
        if (facts.minor == 51) return V::Nt351;
        return V::Unrecognised;
    case 4:
        return V::Nt40;
    case 5:
        if (facts.minor == 0) return V::Windows2000;
        if (facts.minor == 1) return V::WindowsXp;
        if (facts.minor == 2) {
            if (facts.serverR2) return V::Server2003R2;
            if (!facts.nativeX86 && workstation) return V::WindowsXpX64;
            return V::Server2003;
        }
        return V::LaterNt;
    case 6:
        switch (facts.minor) {
        case 0: return workstation ? V::Vista : V::Server2008;
        case 1: return workstation ? V::Windows7 : V::Server2008R2;
        case 2: return workstation ? V::Windows8 : V::Server2012;
        case 3: return workstation ? V::Windows81 : V::Server2012R2;
        default: return V::LaterNt;
        }
    case 10:
        if (facts.minor != 0) return V::LaterNt;
        if (!workstation) return V::Server2016;
        // Windows 11 kept the 10.0 version; its builds start at 22000.
        return facts.build >= 22000 ? V::Windows11 : V::Windows10;
    default:
        return facts.major > 6 ? V::LaterNt : V::Unrecognised;
    }
}

WindowsVersionClass Classify9x(const WindowsVersionFacts& facts) {
    using V = WindowsVersionClass;
    const std::string servicePack = Trimmed(facts.servicePack);
    if (facts.minor <= 9) return servicePack == "B" || servicePack == "C" ? V::Windows95Osr2 : V::Windows95;
    if (facts.minor <= 89) {
        if (facts.kernelVersionHigh == 0x4005A) return V::WindowsMe;
        return servicePack == "A" ? V::Windows98Se : V::Windows98;
    }
    if (facts.minor == 90) return V::WindowsMe;
    return V::Unrecognised;
}

// The high half of kernel32.dll's file version (4.90 = 0x4005A on Windows ME); 0 when unknown.
std::uint32_t KernelVersionHigh() {
    std::wstring path(32768, L'\0');  // the system folder may be long, and in any script
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const DWORD length = kernel ? GetModuleFileNameW(kernel, path.data(), static_cast<DWORD>(path.size())) : 0;
    if (length == 0 || length >= path.size()) return 0;
    path.resize(length);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return 0;
    std::vector<char> info(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data())) return 0;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed) return 0;
    return fixed->dwFileVersionMS;
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

}  // namespace

WindowsVersionClass ClassifyWindowsVersion(const WindowsVersionFacts& facts) {
    switch (facts.platform) {
    case Platform::Nt: return ClassifyNt(facts);
    case Platform::Windows9x: return Classify9x(facts);
    case Platform::Win32s: return WindowsVersionClass::Unrecognised;
    }
    return WindowsVersionClass::Unrecognised;
}

WindowsVersionFacts ReadWindowsVersionFacts() {
    WindowsVersionFacts facts;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
                                           GetProcAddress(ntdll, "RtlGetVersion")))
                                     : nullptr;
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        facts.platform = Platform::Nt;
        facts.major = info.dwMajorVersion;
        facts.minor = info.dwMinorVersion;
        facts.build = info.dwBuildNumber;
        facts.servicePack = Utf8FromWideField(info.szCSDVersion);
        facts.workstation = info.wProductType == VER_NT_WORKSTATION;
    } else {
        // The 9x family (and NT before RtlGetVersion): the version as GetVersionExA gives it.
        OSVERSIONINFOEXA infoA = {};
        infoA.dwOSVersionInfoSize = sizeof infoA;
        bool extended = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&infoA)) != 0;
        if (!extended) {
            infoA = {};
            infoA.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
            if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&infoA))) {
                facts.platform = Platform::Win32s;
                return facts;
            }
        }
        facts.platform = infoA.dwPlatformId == VER_PLATFORM_WIN32_NT        ? Platform::Nt
                         : infoA.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? Platform::Windows9x
                                                                            : Platform::Win32s;
        facts.major = infoA.dwMajorVersion;
        facts.minor = infoA.dwMinorVersion;
        facts.build = infoA.dwBuildNumber & 0xFFFF;
        facts.servicePack = infoA.szCSDVersion;
        facts.workstation = !extended || infoA.wProductType == VER_NT_WORKSTATION;
        if (facts.platform == Platform::Windows9x) facts.kernelVersionHigh = KernelVersionHigh();
    }
    if (facts.platform == Platform::Nt) {
        facts.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
        SYSTEM_INFO system = {};
        GetNativeSystemInfo(&system);
        facts.nativeX86 = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL;
    }
    return facts;
}

WindowsVersionClass CurrentWindowsVersion() {
    return ClassifyWindowsVersion(ReadWindowsVersionFacts());
}

const char* WindowsVersionName(WindowsVersionClass version) {
    using V = WindowsVersionClass;
    switch (version) {
    case V::Unrecognised: return "unrecognised";
    case V::Windows95: return "Windows 95";
    case V::Windows95Osr2: return "Windows 95 OSR2";
    case V::Windows98: return "Windows 98";
    case V::Windows98Se: return "Windows 98 SE";
    case V::WindowsMe: return "Windows ME";
    case V::Nt31: return "NT 3.1";
    case V::Nt35: return "NT 3.5";
    case V::Nt351: return "NT 3.51";
    case V::Nt40: return "NT 4.0";
    case V::Windows2000: return "Windows 2000";
    case V::WindowsXp: return "Windows XP";
    case V::Server2003: return "Server 2003";
    case V::WindowsXpX64: return "XP x64";
    case V::Server2003R2: return "Server 2003 R2";
    case V::Vista: return "Vista";
    case V::Server2008: return "Server 2008";
    case V::Windows7: return "Windows 7";
    case V::Server2008R2: return "Server 2008 R2";
    case V::Windows8: return "Windows 8";
    case V::Server2012: return "Server 2012";
    case V::Windows81: return "Windows 8.1";
    case V::Server2012R2: return "Server 2012 R2";
    case V::Windows10: return "Windows 10";
    case V::Server2016: return "Server 2016 or later";
    case V::Windows11: return "Windows 11";
    case V::LaterNt: return "later NT";
    }
    return "unrecognised";
}

}  // namespace sentrel::platform
