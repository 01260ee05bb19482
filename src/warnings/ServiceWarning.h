#pragma once
// The warning of a service that appeared in the services key since the shield last looked, or
// whose command changed (monitors/ServicesSource.h).

#include <memory>
#include <string>
#include <string_view>

#include "warnings/AutostartEntryData.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {

// Name is the service's name (its key), DisplayName the name the Services list shows, Command its
// ImagePath as stored, ServiceDll the library a shared host runs for it (else empty) and
// StartType the key's Start value (2 automatic, 3 on demand, 4 disabled). Changed: the service
// ran OldCommand with OldServiceDll before (its start type and names are no finding).
class ServiceWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "ServiceWarning";

    ServiceWarning(std::string pointId, std::string serviceName, std::string displayName, std::string command,
                   std::string serviceDll, unsigned startType);
    // True for a ServiceWarning of the same service running the same command (and, for a change,
    // having run the same before).
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string DisplayName;
    std::string Command;
    std::string ServiceDll;
    unsigned StartType;
    bool Changed = false;
    std::string OldCommand;
    std::string OldServiceDll;
    bool KnownProgram = false;
};

// The services key as the registry editor shows it, with its trailing backslash.
inline constexpr std::string_view kServicesKeyShown = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";

// What an administrator is to set back for a changed service, in plain words ("As an
// administrator, ...").
std::string ServiceSetBackAdvice(const ServiceWarning& warning);


// When a service of that Start value runs, as a sentence ("It starts every time Windows starts.").
std::string ServiceStartWords(unsigned startType);

namespace texts {
WarningTexts ServiceTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
