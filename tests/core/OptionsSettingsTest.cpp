#include "core/OptionsSettings.h"

#include <gtest/gtest.h>

#include "config/OptionKeys.h"
#include "config/Options.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;

class OptionsSettingsTest : public ::testing::Test {
protected:
    OptionsSettingsTest() { WriteDefaultOptions(options_); }

    int Read(const char* key) const { return options_.ReadInteger(key, -7); }

    TempFolder folder_;
    TOptions options_{"options.ini", folder_.Path()};
};

TEST(OptionsSettings, CloseActionRowsFollowTheirOwnTable) {
    EXPECT_EQ(CloseActionRow(2), 0);
    EXPECT_EQ(CloseActionRow(1), 1);
    EXPECT_EQ(CloseActionRow(3), 2);
    EXPECT_EQ(CloseActionRow(0), std::nullopt);
    EXPECT_EQ(CloseActionRow(4), std::nullopt);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(CloseActionRow(CloseActionValue(row)), row);
}

TEST_F(OptionsSettingsTest, ReadingShowsTheStoredValuesAndTheSwitchesOfTheRow) {
    options_.WriteInteger("WhatDo", 1);
    options_.WriteInteger("RemindPeriod", 9);
    options_.WriteInteger("CloseAction", 3);
    options_.WriteInteger("CookiesAction", 2);
    options_.WriteBool("RunMinimized", true);
    const OptionsDialogSettings settings = ReadDialogSettings(options_, 0, {});
    EXPECT_EQ(settings.whatDo, 1);
    EXPECT_EQ(settings.remindPeriod, 9);
    EXPECT_EQ(settings.closeAction, 2);
    EXPECT_EQ(settings.actions[5], 2);
    EXPECT_TRUE(settings.runMinimized);
    EXPECT_EQ(settings.switches, ReadMonitorSwitches(options_, SecurityLevel::Low));
    EXPECT_EQ(ReadDialogSettings(options_, 2, {}).switches, ReadMonitorSwitches(options_, SecurityLevel::High));

    // A stored value without a row: the close group keeps its selection, other groups show none;
    // no level row keeps the check boxes as they are.
    options_.WriteInteger("CloseAction", 7);
    options_.WriteInteger("WhatDo", 5);
    OptionsDialogSettings current;
    current.closeAction = 1;
    current.switches.Set("Cookies", true);
    const OptionsDialogSettings kept = ReadDialogSettings(options_, std::nullopt, current);
    EXPECT_EQ(kept.closeAction, 1);
    EXPECT_EQ(kept.whatDo, std::nullopt);
    EXPECT_EQ(kept.switches, current.switches);
}

TEST_F(OptionsSettingsTest, WritingStoresSwitchesOnlyForTheCustomRow) {
    OptionsDialogSettings settings = ReadDialogSettings(options_, 2, {});
    settings.closeAction = 0;
    settings.actions[1] = 1;
    settings.switches = MonitorSwitches{};
    settings.switches.Set("Cookies", true);

    WriteDialogSettings(options_, settings, 2);
    EXPECT_EQ(Read("CloseAction"), 2);
    EXPECT_EQ(Read("AutorunAction"), 1);
    EXPECT_EQ(Read("Shield"), 2);
    EXPECT_TRUE(options_.ReadBool("HighSysDir", false)) << "the High switches are never written";
    EXPECT_TRUE(options_.ReadBool("CustomSysDir", false));

    WriteDialogSettings(options_, settings, kCustomRow);
    EXPECT_EQ(Read("Shield"), 3);
    EXPECT_EQ(ReadMonitorSwitches(options_, SecurityLevel::Custom), settings.switches);

    // No row selected (the dialog opened at Disabled): "Shield" stays, a group without a row
    // leaves its key.
    options_.WriteInteger("Shield", 4);
    settings.whatDo = std::nullopt;
    options_.WriteInteger("WhatDo", 2);
    settings.closeAction = 2;
    WriteDialogSettings(options_, settings, std::nullopt);
    EXPECT_EQ(Read("Shield"), 4);
    EXPECT_EQ(Read("WhatDo"), 2);
    EXPECT_EQ(Read("CloseAction"), 3);
}

TEST(OptionsSettings, MergingKeepsTheUsersEditsAndTheStoresOtherChanges) {
    OptionsDialogSettings shown;
    shown.whatDo = 0;
    shown.closeAction = 1;
    shown.actions = {0, 0, 0, 0, 0, 0};
    OptionsDialogSettings edited = shown;
    edited.whatDo = 2;                 // the user's
    edited.switches.Set("Cookies", true);  // the user's
    OptionsDialogSettings stored = shown;
    stored.actions[1] = 2;             // an alert's "with all such threats"
    stored.closeAction = 2;            // the close dialog's
    stored.whatDo = 1;                 // changed on both sides: the user's edit wins
    stored.switches.Set("Folders", true);  // the switches go as one: the user's

    const OptionsDialogSettings merged = MergeDialogSettings(shown, edited, stored);
    EXPECT_EQ(merged.whatDo, 2);
    EXPECT_EQ(merged.actions[1], 2);
    EXPECT_EQ(merged.closeAction, 2);
    EXPECT_EQ(merged.switches, edited.switches);
    EXPECT_EQ(MergeDialogSettings(shown, shown, stored), stored) << "nothing edited: all the store's";
}

TEST_F(OptionsSettingsTest, WritingSaysWhenTheFileCannotBeWritten) {
    TOptions blocked{"options.ini", folder_ / "no such folder"};
    EXPECT_FALSE(WriteDialogSettings(blocked, ReadDialogSettings(options_, 2, {}), 2));
    EXPECT_TRUE(WriteDialogSettings(options_, ReadDialogSettings(options_, 2, {}), 2));
}

}  // namespace
}  // namespace sentrel
