#pragma once
// The services Windows starts, read from the services key of the registry
// (HKLM\SYSTEM\CurrentControlSet\Services), one subkey each. The key is read rather than the
// service control manager: it also holds the services written there directly, which the manager
// learns of only at the next start of Windows (an installer that ends before a restart), it is
// the same unit a backup of a service saves and restores, any user may read it, and reading it
// costs no call to another process per service.

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace sentrel::platform {

struct ServiceEntry {
    std::string name;         // the subkey's name
    std::string displayName;  // a "@file,-id" reference read from its file where it can be
    std::string imagePath;    // the ImagePath as stored (environment variables not expanded)
    std::string serviceDll;   // Parameters\ServiceDll of a service a shared host runs, else empty
    DWORD type = 0;           // SERVICE_WIN32_OWN_PROCESS, SERVICE_WIN32_SHARE_PROCESS, ...
    DWORD startType = SERVICE_DEMAND_START;  // Start: SERVICE_AUTO_START ... SERVICE_DISABLED
};

// The services that run programs (Win32 services; drivers are left out), in the key's order.
// A subkey the user may not read is left out; a missing services key gives an empty list.
std::vector<ServiceEntry> ListServices();

// The same in slices, for a pass spread over ticks: the names of every subkey of the services
// key (drivers included), then one service each; std::nullopt for a driver, a key that names no
// service, one the user may not read or one gone meanwhile.
std::vector<std::string> ServiceKeyNames();
std::optional<ServiceEntry> ReadService(const std::string& name);

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

}  // namespace sentrel::platform
