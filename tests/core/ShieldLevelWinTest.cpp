#include "core/ShieldLevel.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <windows.h>
#include <sddl.h>

#include "config/OptionKeys.h"
#include "config/Options.h"
#include "core/ColorList.h"
#include "core/Dispatcher.h"
#include "core/Scheduler.h"
#include "core/WarningQueue.h"
#include "monitors/FileMonitor.h"
#include "database/MappedFileAccessWin.h"
#include "platform/Registry.h"
#include "database/ShellFoldersWin.h"
#include "support/ProbeWarning.h"
#include "support/MessagePump.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

using test::PumpUntil;
using test::TempFolder;

// The user's Run key as the test found it, put back afterwards: the tests change the shield's
// own entry in it.
class RunValueGuard {
public:
    RunValueGuard() {
        key_ = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKeyPath);
        saved_ = key_.ReadValue(kRunValueName);
        key_.DeleteValue(kRunValueName);
    }
    ~RunValueGuard() {
        key_.DeleteValue(kRunValueName);
        if (saved_) key_.WriteValue(kRunValueName, saved_->type, saved_->data);
    }
    std::optional<std::string> Read() const { return key_.ReadString(kRunValueName); }
    void Write(const std::string& data) { key_.WriteString(kRunValueName, data); }

private:
    platform::RegistryKey key_;
    std::optional<platform::RegistryValue> saved_;
};

class ShieldLevelTest : public ::testing::Test {
protected:
    ShieldLevelTest() {
        WriteDefaultOptions(options_);
        scheduler_.SetMonitors({{"ProcessTimer", 500, "Processes", {}}, {"RegChangeTimer", 4500, "RegChange", {}}});
    }

    RunValueGuard run_;
    TempFolder program_;
    TempFolder watched_;
    TOptions options_{"options.ini", program_.Path()};
    Scheduler scheduler_;
    WarningQueue queue_;
    TFileChangesTracker tracker_{watched_.Path(),
                                 []() -> const TThreatTables& { throw std::logic_error("no lookup expected"); },
                                 queue_,
                                 TLookupSystem{SystemFileAccess(), MacroFolders(), program_.Path()}};
    TShieldLevel level_{{options_, tracker_, scheduler_, "C:\\Program Files\\Sentrel 4\\Sentrel4.exe"}};
};

TEST_F(ShieldLevelTest, EachLevelRunsTheMonitorsItsSwitchesName) {
    using S = MonitorSwitches;
    EXPECT_EQ(level_.Apply(1), (S{{true, true, false, true, true, false, true}}));  // Medium, first-start switches
    EXPECT_TRUE(tracker_.Active());
    EXPECT_TRUE(scheduler_.IsTimerEnabled("RegChangeTimer"));
    EXPECT_FALSE(scheduler_.IsTimerEnabled("ProcessTimer"));
    EXPECT_EQ(options_.ReadInteger(kShieldKey, -1), 1);

    EXPECT_EQ(level_.Apply(0), (S{{true, false, false, false, false, false, true}}));  // Low
    EXPECT_EQ(level_.Apply(2), (S{{true, true, true, true, true, true, true}}));     // High

    // Custom reads the switches as the file holds them now; a missing key is off.
    options_.WriteBool("CustomSysDir", false);
    options_.WriteBool("CustomCookies", false);
    EXPECT_EQ(level_.Apply(3), (S{{false, true, true, true, true, false, true}}));
    EXPECT_FALSE(tracker_.Active());

    // Disabled stops every monitor.
    level_.Apply(2);
    EXPECT_EQ(level_.Apply(4), S{});
    EXPECT_FALSE(tracker_.Active());
    for (const MonitorEntry& monitor : scheduler_.Monitors())
        EXPECT_FALSE(scheduler_.IsTimerEnabled(monitor.name)) << monitor.name;
    EXPECT_EQ(level_.CurrentLevel(), 4);

    // An unknown level is recorded and switches nothing.
    level_.Apply(2);
    EXPECT_EQ(level_.Apply(9), std::nullopt);
    EXPECT_TRUE(tracker_.Active());
    EXPECT_EQ(options_.ReadInteger(kShieldKey, -1), 9);
}

TEST_F(ShieldLevelTest, TheRunEntryFollowsTheAutorunOption) {
    options_.WriteBool(kAutorunKey, true);
    level_.Apply(1);
    EXPECT_EQ(run_.Read(), "C:\\Program Files\\Sentrel 4\\Sentrel4.exe");

    // An entry naming another path is the user's: it stays.
    run_.Write("D:\\Sentrel\\Sentrel4.exe");
    level_.Apply(1);
    EXPECT_EQ(run_.Read(), "D:\\Sentrel\\Sentrel4.exe");

    options_.WriteBool(kAutorunKey, false);
    level_.Apply(4);
    EXPECT_EQ(run_.Read(), std::nullopt);
}

TEST_F(ShieldLevelTest, ARunKeyThatRefusesWritingDoesNotStopTheLevel) {
    // This process's HKEY_CURRENT_USER becomes a throw-away key whose Run key may only be read.
    const std::string fakeUser = "Software\\SentrelTest\\RefusingUser";
    platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\SentrelTest").DeleteTree("RefusingUser");
    const platform::RegistryKey root = platform::RegistryKey::Create(HKEY_CURRENT_USER, fakeUser);
    {
        HKEY created = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root.Get(), kRunKeyPath, 0, nullptr, 0, KEY_READ | WRITE_DAC, nullptr, &created,
                                  nullptr),
                  ERROR_SUCCESS);
        const platform::RegistryKey runKey{platform::UniqueHkey(created)};
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                                         &readOnly, nullptr));
        const LONG set = RegSetKeySecurity(runKey.Get(), DACL_SECURITY_INFORMATION, readOnly);
        LocalFree(readOnly);
        ASSERT_EQ(set, ERROR_SUCCESS);
    }
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root.Get()), ERROR_SUCCESS);
    bool refused = false;
    try {
        platform::RegistryKey::Open(HKEY_CURRENT_USER, kRunKeyPath, platform::RegistryAccess::ReadWrite);
    } catch (const std::exception&) {
        refused = true;
    }
    options_.WriteBool(kAutorunKey, true);
    bool applied = true;
    try {
        level_.Apply(2);
    } catch (const std::exception&) {
        applied = false;
    }
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, "Software\\SentrelTest").DeleteTree("RefusingUser");
    if (!refused) GTEST_SKIP() << "this system does not refuse writing to a key whose DACL only allows reading";
    EXPECT_TRUE(applied) << "the level raised";
    EXPECT_TRUE(tracker_.Active());
}

TEST_F(ShieldLevelTest, DisabledStillDispatchesWhatIsQueued) {
    TBackuper backuper(program_.Path());
    TColorList whiteList(program_ / "white_list.txt");
    TColorList blackList(program_ / "black_list.txt");
    options_.WriteInteger(kWhatDoKey, 1);
    TDispatcher dispatcher({queue_, whiteList, blackList, options_, backuper, [](const AlertTexts&) {}});
    scheduler_.SetMainTimerTick([&] { dispatcher.MainTimerTimer(); });
    scheduler_.SetTimerEnabled(kMainTimerName, true);

    test::ProbeWarning::fixes = 0;
    queue_.QueueWarning(std::make_unique<test::ProbeWarning>("first"));
    queue_.QueueWarning(std::make_unique<test::ProbeWarning>("second"));
    level_.Apply(2);
    level_.Apply(4);
    // Disabled: every monitor stopped, the dispatcher still running.
    for (const MonitorEntry& monitor : scheduler_.Monitors())
        EXPECT_FALSE(scheduler_.IsTimerEnabled(monitor.name)) << monitor.name;
    EXPECT_TRUE(scheduler_.IsTimerEnabled(kMainTimerName));
    EXPECT_TRUE(PumpUntil([&] { return queue_.Empty(); }, 5000));
    EXPECT_EQ(test::ProbeWarning::fixes, 2);
}

}  // namespace
}  // namespace sentrel
