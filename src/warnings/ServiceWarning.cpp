#include "warnings/ServiceWarning.h"

#include <stdexcept>
#include <utility>

#include "common/SafeDisplayText.h"

namespace sentrel {

ServiceWarning::ServiceWarning(std::string pointId, std::string serviceName, std::string displayName,
                               std::string command, std::string serviceDll, unsigned startType)
    : TWarning(ShieldWarningKind(kClassName), std::move(serviceName)),
      PointId(std::move(pointId)),
      DisplayName(std::move(displayName)),
      Command(std::move(command)),
      ServiceDll(std::move(serviceDll)),
      StartType(startType) {}

bool ServiceWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const ServiceWarning*>(&other);
    return same && same->Name == Name && same->Command == Command;
}



std::string ServiceStartWords(unsigned startType) {
    switch (startType) {
    case 0:
    case 1:
    case 2: return "It starts every time Windows starts.";
    case 4: return "It is disabled for now.";
    default: return "It starts when a program asks for it.";
    }
}

namespace texts {

namespace {
// The key of a service as the registry editor shows it.
const std::string kServicesKeyShown = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\";
}  // namespace

WarningTexts ServiceTexts(const TWarning& found) {
    const auto& warning = WarningAs<ServiceWarning>(found);
    const std::string name = ShownName(warning.Name);
    // "Name (Display name)", the display name left out when it says nothing more.
    const std::string named = warning.DisplayName.empty() || warning.DisplayName == warning.Name
                                  ? name
                                  : name + " (" + ShownName(warning.DisplayName) + ")";
    const std::string runs =
        (warning.Command.empty() ? std::string() : ", which runs " + ShownPath(warning.Command)) +
        (warning.ServiceDll.empty() ? std::string() : " with " + ShownPath(warning.ServiceDll));
    const std::string starts = " " + ServiceStartWords(warning.StartType);
    const std::string backupLine = "Service " + name + " was removed";
    const std::string key = ShownPath(kServicesKeyShown + warning.Name);
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is installed as the service " + named + runs + "." + starts,
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = key};
    }
    return {.title = "New service",
            .description = "A service was added to the system: " + named + runs + "." + starts +
                           " Click Shield me to remove it or Ignore to permit it.",
            .picture = "what",
            .backupLine = backupLine,
            .identity = key};
}

}  // namespace texts
}  // namespace sentrel
