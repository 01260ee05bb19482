// The block of a new browser extension and its undo, under Wine against the real registry, with
// the browsers' policy keys in a throw-away key under HKCU.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"
#include "warnings/BrowserExtensionWarning.h"
#include "warnings/RemedyFixture.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {
namespace {

constexpr const char* kId = "bcdefghijklmnopabcdefghijklmnopa";

class BrowserExtensionRemedyTest : public test::RemedyTest {
protected:
    BrowserExtensionRemedyTest() : base_("Software\\SentrelBrowserTest" + std::to_string(GetCurrentProcessId())) {
        platform::DeleteKeyTree(HKEY_CURRENT_USER, base_);
        platform::RegistryKey::Create(HKEY_CURRENT_USER, base_);
    }
    ~BrowserExtensionRemedyTest() override { platform::DeleteKeyTree(HKEY_CURRENT_USER, base_); }

    std::optional<std::string> Read(const std::string& key, const std::string& name) {
        const auto opened = platform::RegistryKey::Open(HKEY_CURRENT_USER, key);
        return opened ? opened->ReadString(name) : std::nullopt;
    }

    std::string base_;
};

TEST_F(BrowserExtensionRemedyTest, AChromiumBlockTakesTheNextFreeNumberAndUndoTakesOutOnlyIt) {
    const std::string policy = base_ + "\\Chrome";
    const std::string blocklist = policy + "\\ExtensionInstallBlocklist";
    TBrowserExtensionWarning warning("Google Chrome", "Person 1", "Meteo", kId, policy, false);

    // No policy key yet: the fix makes it, the undo takes away what it made.
    Fix(warning);
    EXPECT_EQ(Read(blocklist, "1"), kId);
    ExpectRecord(warning, {{"ValueName", "1"}, {"CreatedKey", policy}});
    Undo(TBrowserExtensionWarning::kClassName);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, policy));
    EXPECT_TRUE(platform::RegistryKey::Open(HKEY_CURRENT_USER, base_));

    // The administrator's own entries stay, before and after.
    platform::RegistryKey::Create(HKEY_CURRENT_USER, blocklist).WriteString("1", "other");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, blocklist).WriteString("3", "third");
    Fix(warning);
    EXPECT_EQ(Read(blocklist, "2"), kId);
    EXPECT_THROW(Fix(warning), ThreatGoneError) << "blocked already";
    EXPECT_EQ(backuper_.GetCount(), 1);
    Undo(TBrowserExtensionWarning::kClassName);
    EXPECT_FALSE(Read(blocklist, "2"));
    EXPECT_EQ(Read(blocklist, "1"), "other");
    EXPECT_EQ(Read(blocklist, "3"), "third");
}

TEST_F(BrowserExtensionRemedyTest, AFirefoxBlockIsUndoneExactlyOrAloneWhenTheValueChangedSince) {
    const std::string policy = base_ + "\\Firefox";
    const std::string before = "{\"*\": {\"installation_mode\": \"allowed\"},\n \"" + std::string(kId) +
                               "\": {\"installation_mode\": \"allowed\"}}";
    platform::RegistryKey::Create(HKEY_CURRENT_USER, policy).WriteString("ExtensionSettings", before);
    TBrowserExtensionWarning warning("Firefox", "default-release", "Meteo", kId, policy, true);

    Fix(warning);
    const std::string blocked = Read(policy, "ExtensionSettings").value_or("");
    EXPECT_NE(blocked.find("\"blocked\""), std::string::npos) << blocked;
    EXPECT_NE(blocked.find("\"*\""), std::string::npos) << blocked;
    Undo(TBrowserExtensionWarning::kClassName);
    EXPECT_EQ(Read(policy, "ExtensionSettings"), before) << "unchanged since the fix: the old text comes back";

    // Someone added an entry after the fix: only the id's entry goes back to what it was.
    Fix(warning);
    std::string changed = Read(policy, "ExtensionSettings").value_or("");
    changed.insert(1, "\"late@example\": {\"installation_mode\": \"blocked\"}, ");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, policy).WriteString("ExtensionSettings", changed);
    Undo(TBrowserExtensionWarning::kClassName);
    const std::string after = Read(policy, "ExtensionSettings").value_or("");
    EXPECT_NE(after.find("late@example"), std::string::npos) << after;
    ASSERT_NE(after.find(kId), std::string::npos) << after;
    EXPECT_EQ(after.find("\"blocked\"", after.find(kId)), std::string::npos) << after;
}

}  // namespace
}  // namespace sentrel
