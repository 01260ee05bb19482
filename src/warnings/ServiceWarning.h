#pragma once
// The warning of a service that appeared in the services key since the shield last looked
// (monitors/ServicesSource.h).

#include <memory>
#include <string>
#include <string_view>

#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {

// Name is the service's name (its key), DisplayName the name the Services list shows, Command its
// ImagePath as stored, ServiceDll the library a shared host runs for it (else empty) and
// StartType the key's Start value (2 automatic, 3 on demand, 4 disabled).
class ServiceWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "ServiceWarning";

    ServiceWarning(std::string pointId, std::string serviceName, std::string displayName, std::string command,
                   std::string serviceDll, unsigned startType);
    // True for a ServiceWarning of the same service running the same command.
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string DisplayName;
    std::string Command;
    std::string ServiceDll;
    unsigned StartType;
    bool KnownProgram = false;
};


// When a service of that Start value runs, as a sentence ("It starts every time Windows starts.").
std::string ServiceStartWords(unsigned startType);

namespace texts {
WarningTexts ServiceTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
