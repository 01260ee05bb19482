#pragma once
// The warning of a watched Firefox preference (home page, what Firefox shows at start, search
// engine, proxy) that a line of a profile's user.js or prefs.js set since the shield last looked
// (monitors/FirefoxPreferencesSource.h).

#include <string>
#include <string_view>

#include "browsers/FirefoxPrefs.h"
#include "warnings/Warning.h"

namespace sentrel {

// Profile is the profile's name as Firefox shows it and ProfileFolder its folder; Preference
// the preference's name, Value its new value and File the name of the file whose line gives it
// ("user.js" wins over "prefs.js"). PointId is the autostart point the fix and the undo hold.
class BrowserPreferenceWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "BrowserPreferenceWarning";

    BrowserPreferenceWarning(std::string browser, std::string profile, std::string profileFolder,
                             std::string preference, std::string value, std::string file, FirefoxPrefKind kind);
    // True for a BrowserPreferenceWarning of the same profile folder, preference and value.
    bool AreEqual(const TWarning& other) const override;

    std::string Browser;
    std::string Profile;
    std::string ProfileFolder;
    std::string Preference;
    std::string Value;
    std::string File;
    FirefoxPrefKind PrefKind;
    std::string PointId;
};

namespace texts {
WarningTexts BrowserPreferenceTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
