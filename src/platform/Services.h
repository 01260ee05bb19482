#pragma once
// The services Windows starts, read from the services key of the registry
// (HKLM\SYSTEM\CurrentControlSet\Services), one subkey each. The key is read rather than the
// service control manager: it also holds the services written there directly, which the manager
// learns of only at the next start of Windows (an installer that ends before a restart), it is
// the same unit a backup of a service saves and restores, any user may read it, and reading it
// costs no call to another process per service.

#include <cstdint>
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

// Every subkey of the services key with the time it was last written (as a FILETIME count): a
// reader keeps what it read of a subkey until that time changes.
struct ServiceKeyStamp {
    std::string name;
    std::uint64_t written = 0;
};
std::vector<ServiceKeyStamp> ServiceKeyStamps();
// The system time now, as the stamps count it.
std::uint64_t ServiceStampNow();
// The time the service's Parameters key was last written, counted as the stamps are; 0 when it
// has none. A shared host's library (ServiceDll) is named there, and writing it leaves the time
// of the service's own key as it was.
std::uint64_t ServiceParametersStamp(const std::string& name);

// What the service control manager needs to register a service again, as its key holds it.
struct ServiceConfig {
    std::string name;
    std::string displayName;  // as stored ("@file,-id" kept)
    std::string imagePath;
    std::string group;
    std::vector<std::string> dependencies;  // DependOnService (groups are "+" and their name)
    std::string account;                    // ObjectName; empty: LocalSystem
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::vector<std::string> valueNames;  // every value the key holds
};

// The configuration of the service `name` from its key; std::nullopt when there is no such key.
// Throws Win32Error when it cannot be read.
std::optional<ServiceConfig> ReadServiceConfig(const std::string& name);

// How RemoveService removed a service.
enum class ServiceRemoval {
    Deleted,        // the service control manager deleted it (stopped first when it ran)
    StillRunning,   // it would not stop within the time: deleted, Windows removes it once it stops
    NotRegistered,  // the manager does not know it (written to the key directly): nothing done
};
// Stops the service when it runs (waiting at most `stopWaitMs`) and deletes it through the
// service control manager. Throws Win32Error (ERROR_ACCESS_DENIED without the rights).
ServiceRemoval RemoveService(const std::string& name, unsigned stopWaitMs);
// Registers `config` with the service control manager (not started). Throws Win32Error
// (ERROR_SERVICE_EXISTS when the name is taken, ERROR_ACCESS_DENIED without the rights).
void CreateServiceFrom(const ServiceConfig& config);
// Has the service control manager run `imagePath` for the service from now on (it writes the
// key's ImagePath too, as an expandable string). False, with nothing changed, when the manager
// does not know the service (written to the key directly). Throws Win32Error
// (ERROR_ACCESS_DENIED without the rights).
bool ChangeServiceCommand(const std::string& name, const std::string& imagePath);
// After CreateServiceFrom and the service key written back as it was: removes the values a new
// registration writes whatever the service had (Type, Start, ImagePath, ...) that the service's
// key did not hold (config.valueNames). Throws Win32Error.
void DropRegistrationValues(const ServiceConfig& config);

inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

}  // namespace sentrel::platform
