// The options store against the real Windows services: the user's locale pictures, the
// private-profile functions reading and writing the same files, and the settings folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Files.h"
#include "config/DateTimeFormat.h"
#include "config/IniText.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "config/StartupWin.h"
#include "config/SystemClock.h"
#include "platform/ProgramFolder.h"
#include "support/TempFolder.h"

namespace sentrel {
namespace {

using test::TempFolder;
using test::WriteTextFile;

SYSTEMTIME SystemTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    time.wDayOfWeek = static_cast<WORD>(DayOfWeek(year, month, day));
    return time;
}

// What Windows itself writes for the locale's short date and long time.
std::string WindowsDate(LCID locale, const SYSTEMTIME& time) {
    char buffer[256] = {};
    EXPECT_GT(GetDateFormatA(locale, 0, &time, nullptr, buffer, sizeof buffer), 0);
    return buffer;
}

std::string WindowsTime(LCID locale, const SYSTEMTIME& time) {
    char buffer[256] = {};
    EXPECT_GT(GetTimeFormatA(locale, 0, &time, nullptr, buffer, sizeof buffer), 0);
    return buffer;
}

TEST(OptionsWin, LocalePicturesWriteWhatWindowsWritesAndReadBack) {
    struct Moment {
        int year, month, day, hour, minute, second;
    };
    const std::vector<Moment> moments = {
        {2024, 1, 2, 15, 4, 5}, {2024, 12, 31, 0, 0, 1}, {2000, 2, 29, 12, 0, 0}, {1999, 7, 9, 9, 59, 59}};
    // The user's locale, then several others with different pictures.
    const std::vector<LCID> locales = {LOCALE_USER_DEFAULT, 0x0409, 0x0809, 0x0407, 0x040C, 0x0C0C, 0x0410,
                                       0x0413,              0x0419, 0x0411, 0x0412, 0x0804, 0x041F, 0x0416};
    for (const LCID locale : locales) {
        const DateTimeFormat format =
            locale == LOCALE_USER_DEFAULT ? UserDateTimeFormat() : LocaleDateTimeFormat(locale);
        for (const Moment& m : moments) {
            const SYSTEMTIME time = SystemTime(m.year, m.month, m.day, m.hour, m.minute, m.second);
            const TDateTime value = EncodeDateTime({m.year, m.month, m.day, m.hour, m.minute, m.second, 0}).value();
            const std::string context = "locale " + std::to_string(locale) + ", pictures \"" + format.shortDate +
                                        "\" \"" + format.longTime + "\"";
            EXPECT_EQ(FormatPicture(value, format.shortDate, format), WindowsDate(locale, time)) << context;
            EXPECT_EQ(FormatPicture(value, format.longTime, format), WindowsTime(locale, time)) << context;
            EXPECT_EQ(ParseDateTime(FormatDateTime(value, format), format), value) << context;
        }
    }
    // The clock agrees with the system's.
    SYSTEMTIME before{};
    GetLocalTime(&before);
    const TDateTime now = CurrentDateTime();
    const TDateTime systemNow = EncodeDateTime({before.wYear, before.wMonth, before.wDay, before.wHour,
                                                before.wMinute, before.wSecond, before.wMilliseconds})
                                    .value();
    EXPECT_NEAR(now, systemNow, 5.0 / 86400);
}

TEST(OptionsWin, TheProfileFunctionsAndTheStoreReadTheSameFile) {
    TempFolder folder;
    TOptions options("options.ini", folder.Path());
    ASSERT_TRUE(WriteDefaultOptions(options));
    const std::string path = options.FileName();

    // What the store wrote, Windows reads.
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Shield", -1, path.c_str()), 1);
    EXPECT_EQ(GetPrivateProfileIntA("options", "closeaction", -1, path.c_str()), 3);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "KnownSpywares", -1, path.c_str()), 49752);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "DBNumber", -1, path.c_str()), -1);
    char buffer[256] = {};
    GetPrivateProfileStringA("Options", "LastUpdate", "", buffer, sizeof buffer, path.c_str());
    EXPECT_EQ(ParseDateTime(buffer, UserDateTimeFormat()), options.ReadDateTime("LastUpdate", -1.0));
    EXPECT_NEAR(options.ReadDateTime("LastRemind", -1.0), CurrentDateTime(), 5.0 / 86400);

    // What Windows wrote, the store reads.
    ASSERT_TRUE(WritePrivateProfileStringA("Options", "Shield", "0x2", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Options", "Autorun", "yes", path.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Options", "NewKey", "-7", path.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // flushes; always "fails"
    EXPECT_EQ(options.ReadInteger("Shield", 0), 2);
    EXPECT_FALSE(options.ReadBool("Autorun", false));
    EXPECT_EQ(options.ReadInteger("NewKey", 0), -7);
    EXPECT_EQ(options.ReadInteger("CloseAction", 0), 3);
    ASSERT_TRUE(options.WriteInteger("Shield", 4));
    EXPECT_EQ(GetPrivateProfileIntA("Options", "Shield", -1, path.c_str()), 4);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "NewKey", 0, path.c_str()), -7);
}

TEST(OptionsWin, TheCodecReadsHandWrittenFilesAsWindowsDoes) {
    TempFolder folder;
    const std::vector<std::string> texts = {
        "[Options]\r\nShield=1\r\n",
        "  [ OPTIONS ]  \r\n  shield  =  2  \r\n",
        "[Options]\r\nShield=3\r\nShield=4\r\n",
        "[Options]\r\n; Shield=5\r\nShield=6\r\n",
        "[Other]\r\nShield=7\r\n[Options]\r\nA=1\r\n\r\nShield=8\r\n",
        "Shield=9\r\n[Options]\r\nShield=\"10\"\r\n",
        "[Options]\nShield=11",
        "[Options]\r\nShield = a = b \r\n",
        "[Options]\r\nShield=\r\n",
        "[Options]\r\nOther=1\r\n",
        "[Options]\r\nA=1\r\n[Options]\r\nShield=12\r\n",
        "[Options]\r\nShield='13'\r\n",
        "[Options]\r\nShield\r\nShield=14\r\n",
    };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // A file name per case: the profile functions may cache a file they have read.
        const std::string path = folder / ("case" + std::to_string(i) + ".ini");
        WriteTextFile(path, texts[i]);
        char buffer[256] = {};
        GetPrivateProfileStringA("Options", "Shield", "<missing>", buffer, sizeof buffer, path.c_str());
        EXPECT_EQ(IniText::Parse(texts[i]).Get("Options", "Shield").value_or("<missing>"), buffer) << texts[i];
    }
}

TEST(OptionsWin, StartUpCreatesTheSettingsFolderInTheUsersApplicationData) {
    const std::string appData = platform::UserAppDataFolder();
    ASSERT_TRUE(CreateSettingsFolder(appData));
    EXPECT_TRUE(FolderExists(appData + "\\.SentrelSettings"));
    EXPECT_EQ(SettingsFolder(appData), appData + "\\.SentrelSettings\\");

    TempFolder program;
    TempFolder user;
    const std::string nested = user / "Roaming\\Deeper";
    const auto options =
        RunOptionsStartup(program.Path(), nested, {.tableRowCounts = [] { return std::vector<int>{3, 4}; }});
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(FolderExists(nested + "\\.SentrelSettings"));
    EXPECT_EQ(GetPrivateProfileIntA("Options", "KnownSpywares", -1, (program / "options.ini").c_str()), 7);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "FirstRun", -1, (program / "options.ini").c_str()), 1);
}

}  // namespace
}  // namespace sentrel
