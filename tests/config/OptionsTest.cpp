#include "config/Options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "common/StoredText.h"
#include "config/IniText.h"
#include "config/OptionKeys.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;

TDateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return EncodeDateTime({year, month, day, hour, minute, second, 0}).value();
}

DateTimeFormat EnglishUs() {
    return DateTimeFormat{};  // M/d/yyyy h:mm:ss tt
}

DateTimeFormat German() {
    DateTimeFormat format;
    format.shortDate = "dd.MM.yyyy";
    format.longTime = "HH:mm:ss";
    format.amDesignator.clear();
    format.pmDesignator.clear();
    return format;
}

// The key names of section "Options" in file order.
std::vector<std::string> KeysInFile(const std::string& path) {
    return IniText::Parse(ReadFileText(path)).KeyNames("Options");
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(Options, ReadsTheCallersDefaultForMissingEmptyOrUnparsableValues) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    EXPECT_EQ(options.FileName(), folder / "options.ini");

    // No file at all.
    EXPECT_EQ(options.ReadInteger("Shield", 3), 3);
    EXPECT_TRUE(options.ReadBool("FirstRun", true));
    EXPECT_EQ(options.ReadDateTime("LastUpdate", 123.5), 123.5);
    EXPECT_FALSE(FileExists(options.FileName()));

    WriteTextFile(options.FileName(),
                  "[Other]\r\nWhatDo=2\r\n"
                  "[Options]\r\n"
                  "Autorun=yes\r\nShield=0x2\r\nHex=0X1f\r\nAllBits=0xFFFFFFFF\r\nTooWide=0x100000000\r\n"
                  "Negative=-5\r\nPlus=+7\r\nEmpty=\r\nTrailing=12abc\r\nHuge=99999999999\r\nLowest=-2147483648\r\n"
                  "Highest=2147483647\r\nAbove=2147483648\r\nBareHex=0x\r\nTwo=2\r\nZero=0\r\nDate=\r\n"
                  "BadDate=yes\r\n");
    EXPECT_FALSE(options.ReadBool("Autorun", false));
    EXPECT_TRUE(options.ReadBool("Autorun", true));
    EXPECT_EQ(options.ReadInteger("Shield", 0), 2);
    EXPECT_EQ(options.ReadInteger("Hex", 0), 31);
    EXPECT_EQ(options.ReadInteger("AllBits", 0), -1);
    EXPECT_EQ(options.ReadInteger("TooWide", 4), 4);
    EXPECT_EQ(options.ReadInteger("Negative", 0), -5);
    EXPECT_EQ(options.ReadInteger("Plus", 0), 7);
    EXPECT_EQ(options.ReadInteger("Empty", 6), 6);
    EXPECT_EQ(options.ReadInteger("Trailing", 6), 6);
    EXPECT_EQ(options.ReadInteger("Huge", 6), 6);
    EXPECT_EQ(options.ReadInteger("Lowest", 6), -2147483647 - 1);
    EXPECT_EQ(options.ReadInteger("Highest", 6), 2147483647);
    EXPECT_EQ(options.ReadInteger("Above", 6), 6);
    EXPECT_EQ(options.ReadInteger("BareHex", 6), 6);
    EXPECT_EQ(options.ReadInteger("WhatDo", 1), 1);  // only section "Options" counts
    EXPECT_TRUE(options.ReadBool("Two", false));
    EXPECT_FALSE(options.ReadBool("Zero", true));
    EXPECT_EQ(options.ReadDateTime("Date", 9.0), 9.0);
    EXPECT_EQ(options.ReadDateTime("BadDate", 9.0), 9.0);
}

TEST(Options, ReadsAndWritesAFileSavedAsUnicode) {
    TempFolder folder;
    const auto unicode = [](std::u16string_view text) {
        std::string bytes = "\xFF\xFE";
        for (const char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        return bytes;
    };
    WriteTextFile(folder / "options.ini", unicode(u"[Options]\r\nLowAutorun=1\r\nShieldLevel=2\r\n"));
    TOptions options("options.ini", folder.Path());
    EXPECT_TRUE(options.ReadBool("LowAutorun", false));
    EXPECT_EQ(options.ReadInteger("ShieldLevel", 0), 2);
    EXPECT_TRUE(options.WriteInteger("ShieldLevel", 3));
    EXPECT_TRUE(options.WriteBool("LowCookies", true));
    EXPECT_EQ(ReadFileText(folder / "options.ini"),
              unicode(u"[Options]\r\nLowAutorun=1\r\nShieldLevel=3\r\nLowCookies=1\r\n"));
    EXPECT_EQ(options.ReadInteger("ShieldLevel", 0), 3);
}

TEST(Options, SurvivesAGarbageFile) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::string garbage(random() % 400, '\0');
        for (char& c : garbage) c = static_cast<char>(random() % 256);
        WriteTextFile(options.FileName(), garbage);
        EXPECT_EQ(options.ReadInteger("Shield", 42), 42);
        EXPECT_EQ(options.ReadDateTime("LastUpdate", 1.5), 1.5);
        ASSERT_TRUE(options.WriteInteger("Shield", round));
        EXPECT_EQ(options.ReadInteger("Shield", 42), round);
        // The garbage is still there around the new key (now in UTF-8, when it was not).
        EXPECT_NE(ReadFileText(options.FileName()).find(Utf8FromStoredText(garbage)), std::string::npos);
    }
}

TEST(Options, WritesKeepOtherLinesAndAppendNewKeysAtTheEndOfTheSection) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    WriteTextFile(options.FileName(),
                  "; settings\r\n[Options]\r\nFirstRun=1\r\n  shield = 1 \r\nCloseAction=3\r\n\r\n[Other]\nX=y\n");
    ASSERT_TRUE(options.WriteInteger("Shield", 2));
    ASSERT_TRUE(options.WriteBool("MinimizeWarning", false));
    ASSERT_TRUE(options.WriteInteger("DBNumber", -12));
    EXPECT_EQ(ReadFileText(options.FileName()),
              "; settings\r\n[Options]\r\nFirstRun=1\r\nshield=2\r\nCloseAction=3\r\nMinimizeWarning=0\r\n"
              "DBNumber=-12\r\n\r\n[Other]\nX=y\n");
    // No temporary file is left beside it.
    EXPECT_EQ(FilesIn(folder.Path()), std::vector<std::string>{"options.ini"});
}

TEST(Options, AWriteIsSeenByTheNextReadOfAnyStore) {
    TempFolder folder;
    TOptions first("options.ini", folder.Path());
    TOptions second("options.ini", folder.Path());
    first.SetDateTimeFormat(EnglishUs());
    second.SetDateTimeFormat(EnglishUs());

    ASSERT_TRUE(first.WriteInteger("DBNumber", 17));
    EXPECT_EQ(first.ReadInteger("DBNumber", 1), 17);
    EXPECT_EQ(second.ReadInteger("DBNumber", 1), 17);
    ASSERT_TRUE(second.WriteBool("RunMinimized", true));
    EXPECT_TRUE(first.ReadBool("RunMinimized", false));
    const TDateTime when = At(2024, 3, 9, 18, 30, 15);
    ASSERT_TRUE(first.WriteDateTime("LastUpdate", when));
    EXPECT_EQ(second.ReadDateTime("LastUpdate", 0.0), when);
    EXPECT_EQ(IniText::Parse(ReadFileText(first.FileName())).Get("Options", "LastUpdate"), "3/9/2024 6:30:15 PM");
    ASSERT_TRUE(first.WriteDateTime("LastRemind", At(2024, 3, 9)));
    EXPECT_EQ(IniText::Parse(ReadFileText(first.FileName())).Get("Options", "LastRemind"), "3/9/2024");
    EXPECT_EQ(second.ReadDateTime("LastRemind", 0.0), At(2024, 3, 9));

    // A file deleted while running reads as defaults until the next write creates it again.
    ASSERT_TRUE(RemoveFile(first.FileName()));
    EXPECT_EQ(second.ReadInteger("DBNumber", 1), 1);
    ASSERT_TRUE(second.WriteInteger("DBNumber", 18));
    EXPECT_EQ(ReadFileText(first.FileName()), "[Options]\r\nDBNumber=18\r\n");

    // Out-of-range date-times are the caller's mistake, not a value to store.
    EXPECT_THROW(first.WriteDateTime("LastUpdate", 1e12), std::out_of_range);
    EXPECT_EQ(first.ReadInteger("DBNumber", 1), 18);
}

TEST(Options, ADateWrittenUnderOneLocaleReadsAsTheDefaultUnderAnother) {
    TempFolder folder;
    TOptions american("options.ini", folder.Path());
    TOptions german("options.ini", folder.Path());
    american.SetDateTimeFormat(EnglishUs());
    german.SetDateTimeFormat(German());
    const TDateTime now = At(2024, 12, 31, 15, 4, 5);
    const TDateTime fallback = At(2025, 1, 1, 8);

    ASSERT_TRUE(american.WriteDateTime("LastUpdate", At(2024, 12, 31, 9, 8, 7)));
    EXPECT_EQ(german.ReadDateTime("LastUpdate", fallback), fallback);
    ASSERT_TRUE(german.WriteDateTime("LastRemind", now));
    EXPECT_EQ(american.ReadDateTime("LastRemind", fallback), fallback);
    EXPECT_EQ(german.ReadDateTime("LastRemind", fallback), now);
    EXPECT_EQ(IniText::Parse(ReadFileText(german.FileName())).Get("Options", "LastRemind"), "31.12.2024 15:04:05");
}

TEST(Options, DefaultsHoldEveryKeyInTableOrderWithItsFirstStartValue) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    options.SetDateTimeFormat(EnglishUs());
    const TDateTime now = At(2024, 5, 6, 7, 8, 9);
    ASSERT_TRUE(WriteDefaultOptions(options, now));

    const std::string text = ReadFileText(options.FileName());
    ASSERT_TRUE(text.starts_with("[Options]\r\nFirstRun=1\r\nShield=1\r\nAutorun=1\r\nRunMinimized=1\r\n"
                                 "LastUpdate=5/6/2024 7:08:09 AM\r\nLastRemind=5/6/2024 7:08:09 AM\r\n"
                                 "RemindPeriod=1\r\nWhatDo=0\r\nLowSysDir=1\r\nLowAutorun=0\r\n"))
        << text;
    EXPECT_TRUE(text.ends_with("\r\nCustomCookies=1\r\nCustomFolders=1\r\nMinimizeWarning=1\r\nCloseAction=3\r\n"
                               "KnownSpywares=49752\r\nFilesAction=0\r\nAutorunAction=0\r\nProcessesAction=0\r\n"
                               "BrowserSettingsAction=0\r\nRegistryAction=0\r\nCookiesAction=0\r\nFoldersAction=0\r\n"
                               "AutostartAction=0\r\nStartupFilesAction=0\r\nScheduledTasksAction=0\r\n"
                               "BrowserExtensionsAction=0\r\nServicesAction=0\r\n"))
        << text;

    // 8 keys, 4 levels of 11 switches, 15 keys; "DBNumber" is not written.
    const std::vector<std::string> keys = KeysInFile(options.FileName());
    ASSERT_EQ(keys.size(), 67u);
    for (std::size_t level = 0; level < 4; ++level) {
        for (std::size_t monitor = 0; monitor < 11; ++monitor) {
            EXPECT_EQ(keys[8 + level * 11 + monitor],
                      std::string(kLevelWords[level]) + std::string(kMonitorWords[monitor]));
        }
    }
    EXPECT_EQ(options.ReadInteger("DBNumber", 1), 1);
    EXPECT_FALSE(options.ReadBool("MediumProcesses", true));
    EXPECT_TRUE(options.ReadBool("MediumKeyHooks", false));
    EXPECT_FALSE(options.ReadBool("CustomKeyHooks", true));
    EXPECT_FALSE(options.ReadBool("CustomMouseHooks", true));
    EXPECT_TRUE(options.ReadBool("HighDLL", false));
    EXPECT_FALSE(options.ReadBool("LowCookies", true));
    EXPECT_TRUE(options.ReadBool("LowEXE", false));
    EXPECT_EQ(options.ReadDateTime("LastRemind", 0.0), now);

    // The one write gives the same file as writing key by key.
    TOptions oneByOne("key-by-key.ini", folder.Path());
    oneByOne.SetDateTimeFormat(EnglishUs());
    for (const OptionKey& key : kOptionKeys) {
        if (!key.writtenAtFirstStart) continue;
        switch (key.kind) {
            case OptionKind::Boolean: oneByOne.WriteBool(key.name, key.firstStart != 0); break;
            case OptionKind::Integer: oneByOne.WriteInteger(key.name, key.firstStart); break;
            case OptionKind::DateTime: oneByOne.WriteDateTime(key.name, now); break;
        }
    }
    EXPECT_EQ(ReadFileText(oneByOne.FileName()), text);
}

TEST(Options, ConcurrentWritesToOneStoreLoseNothing) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    constexpr int kWrites = 60;
    std::thread worker([&] {
        for (int i = 1; i <= kWrites; ++i) options.WriteInteger("DBNumber", i);
    });
    for (int i = 1; i <= kWrites; ++i) options.WriteInteger("Shield", i);
    worker.join();
    EXPECT_EQ(options.ReadInteger("DBNumber", 0), kWrites);
    EXPECT_EQ(options.ReadInteger("Shield", 0), kWrites);
    EXPECT_EQ(KeysInFile(options.FileName()).size(), 2u);
}

TEST(Options, AFailedWriteIsNotReportedAndLeavesTheFile) {
    TempFolder folder;
    TOptions nowhere("options.ini", folder / "missing");
    EXPECT_FALSE(nowhere.WriteInteger("Shield", 2));
    EXPECT_EQ(nowhere.ReadInteger("Shield", 0), 0);

    // A folder where the file should be: it cannot be read or replaced.
    std::filesystem::create_directory(folder / "options.ini");
    TOptions blocked("options.ini", folder.Path());
    EXPECT_FALSE(blocked.WriteInteger("Shield", 2));
    EXPECT_EQ(blocked.ReadInteger("Shield", 5), 5);
    EXPECT_TRUE(FolderExists(folder / "options.ini"));
}

}  // namespace
}  // namespace sentrel
