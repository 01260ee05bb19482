#pragma once
// The warning of a browser extension (or Firefox add-on) that appeared in a profile since the
// shield last looked (monitors/BrowserExtensionsSource.h).

#include <string>
#include <string_view>

#include "warnings/Warning.h"

namespace sentrel {

// Browser is the browser's name ("Google Chrome", "Firefox"), Profile the profile's name as the
// browser shows it, ExtensionName the extension's name in its default language and Id its id.
// PolicyKey is the browser's policy key below HKEY_CURRENT_USER (SOFTWARE\Policies\...); Firefox
// says which of the two block lists the fix writes. PolicyPointId is the autostart point of the
// policy value the fix changes (empty: none is watched), held while the fix and the undo write.
// Folder is where the extension is installed (its folder, or a Firefox add-on's file), shown
// beside its id; it is no part of the warning's identity.
class BrowserExtensionWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "BrowserExtensionWarning";

    BrowserExtensionWarning(std::string browser, std::string profile, std::string extensionName, std::string id,
                             std::string policyKey, bool firefox);
    // True for a BrowserExtensionWarning of the same browser, profile and id.
    bool AreEqual(const TWarning& other) const override;

    std::string Browser;
    std::string Profile;
    std::string ExtensionName;
    std::string Id;
    std::string PolicyKey;
    bool Firefox;
    std::string PolicyPointId;
    std::string Folder;
};

namespace texts {
WarningTexts BrowserExtensionTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
