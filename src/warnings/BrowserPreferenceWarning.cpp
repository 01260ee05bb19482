#include "warnings/BrowserPreferenceWarning.h"

#include <utility>

#include "common/SafeDisplayText.h"

namespace sentrel {

BrowserPreferenceWarning::BrowserPreferenceWarning(std::string browser, std::string profile, std::string profileFolder,
                                                   std::string preference, std::string value, std::string file,
                                                   FirefoxPrefKind kind)
    : TWarning(ShieldWarningKind(kClassName), preference),
      Browser(std::move(browser)),
      Profile(std::move(profile)),
      ProfileFolder(std::move(profileFolder)),
      Preference(std::move(preference)),
      Value(std::move(value)),
      File(std::move(file)),
      PrefKind(kind) {}

bool BrowserPreferenceWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const BrowserPreferenceWarning*>(&other);
    return same && same->ProfileFolder == ProfileFolder && same->Preference == Preference && same->Value == Value;
}

namespace texts {
namespace {

// What the preference decides, in words, as the subject of a sentence.
std::string Subject(const BrowserPreferenceWarning& warning) {
    switch (warning.PrefKind) {
    case FirefoxPrefKind::HomePage:
        return warning.Preference == "browser.newtab.url" ? "The new tab page" : "The home page";
    case FirefoxPrefKind::StartupMode: return "What " + ShownName(warning.Browser) + " shows at start";
    case FirefoxPrefKind::SearchEngine: return "The search engine";
    case FirefoxPrefKind::Proxy: return "The proxy setting";
    case FirefoxPrefKind::Other: break;
    }
    return "The setting";
}

// The value as the user reads it: browser.startup.page's numbers with their meaning.
std::string ShownValue(const BrowserPreferenceWarning& warning) {
    if (warning.PrefKind != FirefoxPrefKind::StartupMode) return ShownPath(warning.Value);
    if (warning.Value == "0") return "0 (a blank page)";
    if (warning.Value == "1") return "1 (the home page)";
    if (warning.Value == "3") return "3 (the pages of the last session)";
    return ShownName(warning.Value);
}

}  // namespace

WarningTexts BrowserPreferenceTexts(const TWarning& found) {
    const auto& warning = WarningAs<BrowserPreferenceWarning>(found);
    std::string subject = Subject(warning);
    const std::string browser = ShownName(warning.Browser);
    const std::string profile = ShownName(warning.Profile);
    const std::string preference = ShownName(warning.Preference);
    const std::string file = ShownPath(warning.File);
    // "What Firefox shows at start" names the browser already.
    const std::string of = warning.PrefKind == FirefoxPrefKind::StartupMode ? "" : " of " + browser;
    const std::string where = subject + of + " (profile " + profile + ")";
    return {.title = "Browser setting is changed",
            .description = where + " was set to " + ShownValue(warning) + " by the line " + preference + " of " +
                           file + ". Click Shield me to remove the line or Ignore to permit it.",
            .picture = "garbage",
            .backupLine = "Line " + preference + " (" + ShownPath(warning.Value) +
                          ") was removed from the preferences of " + browser + ", profile " + profile,
            .identity = file};
}

}  // namespace texts
}  // namespace sentrel
