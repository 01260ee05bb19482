#include "warnings/BrowserExtensionWarning.h"

#include <utility>

#include "common/SafeDisplayText.h"

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
    const std::string id = ShownName(warning.Id);
    const std::string extension = ShownName(warning.ExtensionName) + " (" + id + ")";
    const std::string browser = ShownName(warning.Browser);
    // The id last and after a backslash: where the line is too long, the alert keeps the part after
    // the last backslash in sight (the end of a path), so no folder can push the id out of view.
    const std::string folder = warning.Folder.empty() ? "" : ShownPath(warning.Folder) + " \\ ";
    const std::string identity = folder + "(id " + id + ")";
    return {.title = "New browser extension",
            .description = "A new extension " + extension + " was installed in " + browser + ", profile " +
                           ShownName(warning.Profile) + ". Click Shield me to block it in " + browser +
                           " or Ignore to permit it.",
            .picture = "what",
            .backupLine = "Extension " + extension + " was blocked in " + browser,
            .identity = identity};
}

}  // namespace texts
}  // namespace sentrel
