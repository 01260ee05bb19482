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
    return same && same->Name == Name && same->Command == Command && same->ServiceDll == ServiceDll &&
           same->Changed == Changed && same->OldCommand == OldCommand && same->OldServiceDll == OldServiceDll;
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

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// What a service runs, quoted: its command, and the library a shared host runs for it.
std::string ShownRun(const std::string& command, const std::string& serviceDll) {
    return Quoted(ShownPath(command)) + (serviceDll.empty() ? std::string() : " with " + Quoted(ShownPath(serviceDll)));
}

}  // namespace

std::string ServiceSetBackAdvice(const ServiceWarning& warning) {
    const std::string key = ShownPath(std::string(kServicesKeyShown) + warning.Name);
    std::string advice = "As an administrator, set the value ImagePath of " + key + " back to " +
                         Quoted(ShownPath(warning.OldCommand));
    if (warning.OldServiceDll != warning.ServiceDll)
        advice += warning.OldServiceDll.empty() ? ", and delete the value ServiceDll of its Parameters key"
                                                : ", and the value ServiceDll of its Parameters key back to " +
                                                      Quoted(ShownPath(warning.OldServiceDll));
    return advice + ".";
}

namespace texts {

namespace {

WarningTexts ChangedServiceTexts(const ServiceWarning& warning, const std::string& named, const std::string& key) {
    const std::string before = ShownRun(warning.OldCommand, warning.OldServiceDll);
    const std::string now = ShownRun(warning.Command, warning.ServiceDll);
    const std::string starts = " " + ServiceStartWords(warning.StartType);
    const std::string backupLine = "Service " + ShownName(warning.Name) + " was put back to " + before;
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is installed as the service " + named + ", which starts " + now +
                               " now (it started " + before + " before)." + starts,
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = key};
    }
    return {.title = "Service is changed",
            .description = "The service " + named + " was changed: it started " + before + " before and starts " +
                           now + " now." + starts +
                           " Click Shield me to put its old command back or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = backupLine,
            .identity = key};
}

}  // namespace

WarningTexts ServiceTexts(const TWarning& found) {
    const auto& warning = WarningAs<ServiceWarning>(found);
    const std::string name = ShownName(warning.Name);
    // "Name (Display name)", the display name left out when it says nothing more.
    const std::string named = warning.DisplayName.empty() || warning.DisplayName == warning.Name
                                  ? name
                                  : name + " (" + ShownName(warning.DisplayName) + ")";
    const std::string key = ShownPath(std::string(kServicesKeyShown) + warning.Name);
    if (warning.Changed) return ChangedServiceTexts(warning, named, key);
    const std::string runs =
        (warning.Command.empty() ? std::string() : ", which runs " + ShownPath(warning.Command)) +
        (warning.ServiceDll.empty() ? std::string() : " with " + ShownPath(warning.ServiceDll));
    const std::string starts = " " + ServiceStartWords(warning.StartType);
    const std::string backupLine = "Service " + name + " was removed";
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
