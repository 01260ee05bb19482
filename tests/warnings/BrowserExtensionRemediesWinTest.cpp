// The block of a new browser extension and its undo against the real registry under Wine, the
// policy keys in a throw-away key: the administrator's own entries outlive fix and undo.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "warnings/BrowserExtensionWarning.h"
#include "warnings/RemedyFixture.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {
namespace {

constexpr const char* kId = "bcdefghijklmnopabcdefghijklmnopa";
constexpr const char* kAddonId = "meteo@example.com";

class BrowserExtensionRemedyTest : public test::RemedyTest {
protected:
    BrowserExtensionRemedyTest() { platform::DeleteKeyTree(HKEY_CURRENT_USER, base_); }
    ~BrowserExtensionRemedyTest() override { platform::DeleteKeyTree(HKEY_CURRENT_USER, base_); }
    std::optional<std::string> Read(const std::string& key, const std::string& name) {
        return platform::RegistryKey::Create(HKEY_CURRENT_USER, key).ReadString(name);
    }
    void Write(const std::string& key, const std::string& name, const std::string& text) {
        platform::RegistryKey::Create(HKEY_CURRENT_USER, key).WriteString(name, text);
    }
    const std::string base_ = "Software\\SentrelBrowserTest" + std::to_string(GetCurrentProcessId());
};

TEST_F(BrowserExtensionRemedyTest, TheUndoTakesOutOnlyItsOwnBlockEntry) {
    const std::string blocklist = base_ + "\\Chrome\\ExtensionInstallBlocklist";
    Write(blocklist, "1", "other");
    BrowserExtensionWarning chrome("Google Chrome", "Person 1", "Meteo", kId, base_ + "\\Chrome", false);
    Fix(chrome);
    EXPECT_EQ(Read(blocklist, "2"), kId);
    EXPECT_THROW(Fix(chrome), ThreatGoneError) << "blocked already";
    Undo(BrowserExtensionWarning::kClassName);
    EXPECT_FALSE(Read(blocklist, "2"));
    EXPECT_EQ(Read(blocklist, "1"), "other");
    // Blocked by a list of ids in the ExtensionSettings policy: nothing to do, no record.
    Write(base_ + "\\Chrome", "ExtensionSettings",
          "{\"zzzz, " + std::string(kId) + "\": {\"installation_mode\": \"blocked\"}}");
    EXPECT_THROW(Fix(chrome), ThreatGoneError);
    EXPECT_FALSE(Read(blocklist, "2"));

    // Firefox: the id's own earlier entry comes back, whether or not the value changed since.
    const std::string firefox = base_ + "\\Firefox";
    const std::string before = "{\"*\": {\"installation_mode\": \"allowed\"},\n \"" + std::string(kAddonId) +
                               "\": {\"installation_mode\": \"allowed\"}}";
    Write(firefox, "ExtensionSettings", before);
    BrowserExtensionWarning addon("Firefox", "default-release", "Meteo", kAddonId, firefox, true);
    Fix(addon);
    Undo(BrowserExtensionWarning::kClassName);
    EXPECT_EQ(Read(firefox, "ExtensionSettings"), before);
    Fix(addon);
    std::string changed = Read(firefox, "ExtensionSettings").value_or("");
    changed.insert(1, "\"late@example\": {\"installation_mode\": \"blocked\"}, ");
    Write(firefox, "ExtensionSettings", changed);
    Undo(BrowserExtensionWarning::kClassName);
    const std::string after = Read(firefox, "ExtensionSettings").value_or("");
    ASSERT_NE(after.find(kAddonId), std::string::npos) << after;
    EXPECT_NE(after.find("late@example"), std::string::npos) << after;
    EXPECT_EQ(after.find("\"blocked\"", after.find(kAddonId)), std::string::npos) << after;
}

TEST_F(BrowserExtensionRemedyTest, AnIdTheBrowserNeverGivesMakesNoBlockEntry) {
    EXPECT_THROW(Fix(BrowserExtensionWarning("Firefox", "p", "M", "*", base_ + "\\Firefox", true)), std::runtime_error);
    EXPECT_THROW(Fix(BrowserExtensionWarning("Chrome", "p", "M", kAddonId, base_, false)), std::runtime_error);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, base_));
    EXPECT_EQ(backuper_.GetCount(), 0);
}

}  // namespace
}  // namespace sentrel
