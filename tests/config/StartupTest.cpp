#include "config/Startup.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "common/Files.h"
#include "config/IniText.h"
#include "config/OptionKeys.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;

TEST(Startup, AFirstStartSeedsOptionsAndCountsTheKnownThreats) {
    TempFolder program;
    TempFolder user;
    const std::string appData = user / "Roaming" + kPathSeparator + "Data";  // parents missing too
    std::vector<std::string> steps;
    const auto options = RunOptionsStartup(
        program.Path(), appData,
        {.createBackupStore = [&] { steps.push_back("backup store"); },
         .openDatabase =
             [&] {
                 // The database opens before options.ini is seeded.
                 steps.push_back(FileExists(program / "options.ini") ? "database after seeding" : "database");
                 return true;
             },
         .tableRowCounts = [] { return std::vector<int>{100, 0, 23456, 7}; }});
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(steps, (std::vector<std::string>{"backup store", "database"}));
    EXPECT_EQ(ProgramFolder(), program.Path());
    EXPECT_EQ(options->FileName(), program / "options.ini");
    EXPECT_EQ(TOptions(kOptionsFileName).FileName(), program / "options.ini");
    EXPECT_TRUE(FolderExists(appData + kPathSeparator + ".SentrelSettings"));
    EXPECT_EQ(SettingsFolder(appData), appData + kPathSeparator + ".SentrelSettings" + kPathSeparator);

    const IniText ini = IniText::Parse(ReadFileText(options->FileName()));
    const std::vector<std::string> keys = ini.KeyNames("Options");
    ASSERT_EQ(keys.size(), 67u);
    EXPECT_EQ(keys.front(), "FirstRun");
    EXPECT_EQ(keys.back(), "ServicesAction");
    EXPECT_EQ(ini.Get("Options", "FirstRun"), "1");
    EXPECT_EQ(ini.Get("Options", "Shield"), "1");
    EXPECT_EQ(ini.Get("Options", "CloseAction"), "3");
    EXPECT_EQ(ini.Get("Options", "KnownSpywares"), "23563");
    EXPECT_EQ(ini.Get("Options", "DBNumber"), std::nullopt);
    // "LastUpdate" holds the start's date-time in the user's format.
    EXPECT_NE(options->ReadDateTime("LastUpdate", -1.0), -1.0);
}

TEST(Startup, AFreshInstallsFileIsSeededAroundItsDataBaseNumber) {
    TempFolder program;
    TempFolder fresh;
    const TDateTime now = 46000.5;
    TOptions freshOptions("options.ini", fresh.Path());
    ASSERT_TRUE(SeedOptions(freshOptions, now));
    const IniText freshIni = IniText::Parse(ReadFileText(freshOptions.FileName()));

    // A fresh install: the installer wrote the number of the database it shipped, nothing else.
    WriteTextFile(program / "options.ini", "[Options]\r\nDBNumber=7\r\n");
    TOptions options("options.ini", program.Path());
    EXPECT_TRUE(SeedOptions(options, now));
    const IniText ini = IniText::Parse(ReadFileText(options.FileName()));
    EXPECT_EQ(ini.KeyNames("Options").size(), freshIni.KeyNames("Options").size() + 1);
    for (const std::string& key : freshIni.KeyNames("Options"))
        EXPECT_EQ(ini.Get("Options", key), freshIni.Get("Options", key)) << key;
    EXPECT_EQ(ini.Get("Options", "DBNumber"), "7");
    EXPECT_TRUE(options.ReadBool("FirstRun", false)) << "the first start must still be recognised";

    // A file that holds every key, some changed by the user (or empty), is left as it is.
    options.WriteBool("FirstRun", false);
    options.WriteInteger("Shield", 2);
    ASSERT_TRUE(options.WriteValues(std::vector<OptionWrite>{{"WhatDo", ""}}));
    const std::string full = ReadFileText(options.FileName());
    EXPECT_FALSE(SeedOptions(options, now + 3));
    EXPECT_EQ(ReadFileText(options.FileName()), full);
}

TEST(Startup, AnExistingFileIsNotSeededButRecounted) {
    TempFolder program;
    TempFolder user;
    WriteTextFile(program / "options.ini", "[Options]\r\nShield=2\r\nKnownSpywares=5\r\n");
    const auto options = RunOptionsStartup(program.Path(), user.Path(),
                                           {.tableRowCounts = [] { return std::vector<int>{10, 20}; }});
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(ReadFileText(program / "options.ini"), "[Options]\r\nShield=2\r\nKnownSpywares=30\r\n");
    // Missing keys read as each reader's own default.
    EXPECT_EQ(options->ReadInteger("WhatDo", 1), 1);
    EXPECT_EQ(options->ReadInteger("WhatDo", 0), 0);
}

TEST(Startup, ADatabaseThatCannotBeOpenedEndsStartUpBeforeSeeding) {
    TempFolder program;
    TempFolder user;
    bool counted = false;
    const auto options = RunOptionsStartup(program.Path(), user.Path(),
                                           {.openDatabase = [] { return false; },
                                            .tableRowCounts =
                                                [&] {
                                                    counted = true;
                                                    return std::vector<int>{};
                                                }});
    EXPECT_EQ(options, nullptr);
    EXPECT_FALSE(counted);
    EXPECT_FALSE(FileExists(program / "options.ini"));
    EXPECT_TRUE(FolderExists(SettingsFolder(user.Path())));
}

TEST(Startup, TheThreatCountIsTheSumOfTheTables) {
    TempFolder program;
    TOptions options("options.ini", program.Path());
    RecountKnownSpywares(options, std::vector<int>{});
    EXPECT_EQ(options.ReadInteger("KnownSpywares", -1), 0);
    const int big = std::numeric_limits<int>::max() - 1;
    RecountKnownSpywares(options, std::vector<int>{big, 5, 7});
    EXPECT_EQ(options.ReadInteger("KnownSpywares", -1), std::numeric_limits<int>::max());
}

TEST(Startup, ASettingsFolderThatCannotBeCreatedDoesNotStopTheProgram) {
    TempFolder user;
    WriteTextFile(user / "file", "");
    EXPECT_FALSE(CreateSettingsFolder(user / "file"));
    EXPECT_TRUE(CreateSettingsFolder(user.Path()));
    EXPECT_TRUE(CreateSettingsFolder(user.Path()));  // already there
}

}  // namespace
}  // namespace sentrel
