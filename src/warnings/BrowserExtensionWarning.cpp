#include "warnings/BrowserExtensionWarning.h"

#include <utility>

namespace sentrel {

BrowserExtensionWarning::BrowserExtensionWarning(std::string browser, std::string profile,
                                                   std::string extensionName, std::string id, std::string policyKey,
                                                   bool firefox)
    : TWarning(ShieldWarningKind(kClassName), extensionName),
      Browser(std::move(browser)),
      Profile(std::move(profile)),
      ExtensionName(std::move(extensionName)),
      Id(std::move(id)),
      PolicyKey(std::move(policyKey)),
      Firefox(firefox) {}

bool BrowserExtensionWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const BrowserExtensionWarning*>(&other);
    return same && same->Browser == Browser && same->Profile == Profile && same->Id == Id;
}

namespace texts {

WarningTexts BrowserExtensionTexts(const TWarning& found) {
    const auto& warning = WarningAs<BrowserExtensionWarning>(found);
    const std::string extension = warning.ExtensionName + " (" + warning.Id + ")";
    return {.title = "New browser extension",
            .description = "A new extension " + extension + " was installed in " + warning.Browser + ", profile " +
                           warning.Profile + ". Click Shield me to block it in " + warning.Browser +
                           " or Ignore to permit it.",
            .picture = "what",
            .backupLine = "Extension " + extension + " was blocked in " + warning.Browser};
}

}  // namespace texts
}  // namespace sentrel
