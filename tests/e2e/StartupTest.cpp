// The life of the shield process, driven from outside as Windows and an administrator would:
// a first start in a fresh program folder, ending through WM_CLOSE (taskkill) and the end of the
// Windows session, a second instance, a start from another current folder, and a missing or
// damaged database.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "e2e/ShieldProcess.h"
#include "platform/ProgramFolder.h"
#include "warnings/FolderTree.h"

namespace sentrel::e2e {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The table names and row counts of a database file, read from a copy so that no working file
// appears beside the original.
std::vector<std::pair<std::string, int>> TablesOf(const std::string& databasePath) {
    test::TempFolder scratch;
    const std::string copy = scratch / "database.db";
    WriteFileBytes(copy, ReadFileBytes(databasePath));
    TDataBase database(copy, true, std::string(kDataBasePassPhrase));
    std::vector<std::pair<std::string, int>> tables;
    for (int i = 0; i < database.TableCount(); ++i)
        tables.emplace_back(database.GetTableByIndex(i)->Name(), database.GetTableByIndex(i)->RowCount());
    return tables;
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    platform::UniqueFind find(FindFirstFileA((folder + "*").c_str(), &found));
    if (!find) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.insert(name);
    } while (FindNextFileA(find.get(), &found));
    return names;
}

void EndWithTaskkill(const ShieldProcess& shield) {
    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
}

// The rows of the tables that hold threats: the rules of what looks dangerous and the public
// suffixes only help to judge one.
int KnownThreats(const std::vector<std::pair<std::string, int>>& tables) {
    int count = 0;
    for (const auto& [name, rows] : tables)
        if (name != "DangerRules" && name != "PublicSuffixes") count += rows;
    return count;
}

TEST(ShieldProcess, FirstStartSeedsTheOptionsAndTaskkillWritesTheDatabaseBack) {
    ProgramFolder folder;
    const auto shippedTables = TablesOf(folder / "database.db");
    const int knownSpywares = KnownThreats(shippedTables);
    ASSERT_GT(knownSpywares, 0);

    const std::string settingsFolder = platform::UserAppDataFolder() + "\\.SentrelSettings";
    RemoveDirectoryA(settingsFolder.c_str());
    const auto databaseWritten = SetLastWriteTimeBack(folder / "database.db");

    ShieldProcess shield(folder);
    ASSERT_NE(shield.WaitForWindow("TMainForm"), nullptr) << "the main window never appeared";

    // Every key of the key table, in table order, under [Options].
    const auto lines = Lines(ReadFileText(folder / "options.ini"));
    std::vector<std::string> expected{"[Options]"};
    for (const auto& key : kOptionKeys) {
        if (key.writtenAtFirstStart) expected.emplace_back(key.name);
    }
    ASSERT_EQ(lines.size(), expected.size());
    EXPECT_EQ(lines[0], "[Options]");
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), expected[i]);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KnownSpywares=" + std::to_string(knownSpywares)), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "FirstRun=1"), lines.end());
    EXPECT_TRUE(FolderExists(settingsFolder));

    EndWithTaskkill(shield);
    const auto exitCode = shield.WaitForExit();
    ASSERT_TRUE(exitCode.has_value()) << "the shield did not end on WM_CLOSE";
    EXPECT_EQ(*exitCode, 0u);
    EXPECT_GT(LastWriteTime(folder / "database.db"), databaseWritten) << "database.db was not written back";
    EXPECT_EQ(TablesOf(folder / "database.db"), shippedTables);
    // No working file is left behind.
    EXPECT_EQ(FilesIn(folder.Path()),
              (std::set<std::string>{"Sentrel4.exe", "backuped", "black_list.txt", "database.db", "options.ini",
                                     "white_list.txt"}));
}

TEST(ShieldProcess, StartedFromAnotherFolderItUsesTheFilesOfItsOwn) {
    ProgramFolder folder;
    const int knownSpywares = KnownThreats(TablesOf(folder / "database.db"));
    // Not the first start, and to the tray: the main window stays hidden only when these are read.
    test::WriteTextFile(folder / "options.ini", "[Options]\r\nFirstRun=0\r\nRunMinimized=1\r\nKnownSpywares=1\r\n");
    test::TempFolder elsewhere;

    ShieldProcess shield(folder, elsewhere.Path());
    ASSERT_TRUE(shield.WaitUntilStarted());
    EXPECT_FALSE(IsWindowVisible(shield.WaitForWindow("TMainForm"))) << "options.ini was not read";
    const auto lines = Lines(ReadFileText(folder / "options.ini"));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KnownSpywares=" + std::to_string(knownSpywares)), lines.end())
        << "the database was not loaded";
    EndWithTaskkill(shield);
    ASSERT_TRUE(shield.WaitForExit().has_value());
    EXPECT_TRUE(FilesIn(elsewhere.Path()).empty());
}

TEST(ShieldProcess, TheEndOfTheWindowsSessionWritesEverythingBack) {
    ProgramFolder folder;
    const auto databaseWritten = SetLastWriteTimeBack(folder / "database.db");
    ShieldProcess shield(folder);
    const HWND mainForm = shield.WaitForWindow("TMainForm");
    ASSERT_NE(mainForm, nullptr);

    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(mainForm, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                                    &answer));
    EXPECT_TRUE(answer) << "the shield must not block a log-off";
    SendMessageTimeoutA(mainForm, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer);
    // The database is on disk by the time WM_ENDSESSION returns: Windows may end the process then.
    EXPECT_GT(LastWriteTime(folder / "database.db"), databaseWritten);
    ASSERT_TRUE(shield.WaitForExit().has_value());
}

TEST(ShieldProcess, ASecondInstanceSaysSoAndEndsWithoutDisturbingTheFirst) {
    ProgramFolder folder;
    ShieldProcess first(folder);
    // Start-up writes options.ini (the stored level is recorded again); it must be over.
    ASSERT_TRUE(first.WaitUntilStarted());
    const auto optionsWritten = LastWriteTime(folder / "options.ini");
    const auto databaseWritten = SetLastWriteTimeBack(folder / "database.db");

    ShieldProcess second(folder);
    const HWND box = second.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "the second instance showed no message";
    EXPECT_EQ(MessageBoxText(box), "Only one instance of Sentrel can be run at the same time!");
    EXPECT_EQ(second.WaitForWindow("TMainForm", 0ms), nullptr);
    PressOk(box);
    ASSERT_TRUE(second.WaitForExit().has_value()) << "the second instance kept running";

    EXPECT_TRUE(first.IsRunning());
    EXPECT_NE(first.WaitForWindow("TMainForm", 0ms), nullptr);
    EXPECT_EQ(LastWriteTime(folder / "options.ini"), optionsWritten);
    EXPECT_EQ(LastWriteTime(folder / "database.db"), databaseWritten);

    EndWithTaskkill(first);
    EXPECT_TRUE(first.WaitForExit().has_value());
}

TEST(ShieldProcess, AMissingOrDamagedDatabaseIsReportedAndLeftAsItWas) {
    {
        ProgramFolder folder(false);
        ShieldProcess shield(folder);
        const HWND box = shield.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(MessageBoxText(box), "Unable to load database file");
        PressOk(box);
        const auto exitCode = shield.WaitForExit();
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_NE(*exitCode, 0u);
        EXPECT_FALSE(FileExists(folder / "database.db"));
    }
    {
        ProgramFolder folder(false);
        std::vector<std::uint8_t> garbage(5000);
        for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131 + 7);
        WriteFileBytes(folder / "database.db", garbage);

        ShieldProcess shield(folder);
        const HWND box = shield.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        const std::string text = MessageBoxText(box);
        EXPECT_NE(text.find("could not be loaded"), std::string::npos) << text;
        EXPECT_NE(text.find("database.db"), std::string::npos) << text;
        PressOk(box);
        const auto exitCode = shield.WaitForExit();
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_NE(*exitCode, 0u);

        EXPECT_EQ(ReadFileBytes(folder / "database.db"), garbage);
        // Nothing written: no options, no working files (the backup store, created before the
        // database is opened, has made its empty folder).
        EXPECT_EQ(FilesIn(folder.Path()), (std::set<std::string>{"Sentrel4.exe", "backuped", "database.db"}));
    }
}

TEST(ShieldProcess, WithoutTheUtf8CodePageItExplainsAndEndsBeforeTouchingAnything) {
    // The program's manifest (in the resource compiler's language) replaced by one without the
    // code page, as Windows before 10 version 1903 reads every manifest.
    ProgramFolder folder;
    std::string manifest = "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>";
    const HANDLE update = BeginUpdateResourceA((folder / "Sentrel4.exe").c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceA(update, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), manifest.data(),
                                static_cast<DWORD>(manifest.size())));
    ASSERT_TRUE(EndUpdateResourceA(update, FALSE));
    const std::string settingsFolder = platform::UserAppDataFolder() + "\\.SentrelSettings";
    ASSERT_TRUE(DeleteFolderTree(settingsFolder));  // with the log of an earlier test

    ShieldProcess shield(folder);
    const HWND box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "no message on a Windows without the UTF-8 code page";
    const std::string text = MessageBoxText(box);
    EXPECT_NE(text.find("Sentrel 4 needs Windows 10 version 1903 or later."), std::string::npos) << text;
    PressOk(box);
    const auto exitCode = shield.WaitForExit();
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 1u);
    // No settings, no log, no options, no backup store.
    EXPECT_FALSE(FolderExists(settingsFolder));
    EXPECT_EQ(FilesIn(folder.Path()), (std::set<std::string>{"Sentrel4.exe", "database.db"}));
}

}  // namespace
}  // namespace sentrel::e2e
