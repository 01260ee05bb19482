// Every file the program rewrites survives its writer being killed at any point: a child process
// rewrites the file in a loop, is ended with SIGKILL after a random while, and the file then
// reads back as one of the two versions the child alternates between, never torn or empty, with
// at most the one temporary file of the last write beside it (the next write takes it over).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "config/IniText.h"
#include "config/Options.h"
#include "core/ColorList.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/LookupTables.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"

namespace sentrel {
namespace {

using test::TempFolder;

constexpr int kKills = 40;

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// Runs `writeVersion(i)` for i = 0, 1, 2, ... in a child until it is killed at a random moment,
// `kKills` times; after each kill `check` must accept the file and the folder must hold only
// `allowed` names (the target's temporary file among them).
void KillWriterRepeatedly(const std::function<void(int)>& writeVersion, const std::function<void()>& check,
                          const std::string& folder, const std::set<std::string>& allowed) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) writeVersion(i);
        }
        // The kill point is what is random here; the test waits for no condition.
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";
        SCOPED_TRACE("kill " + std::to_string(kill));
        check();
        for (const std::string& name : FilesIn(folder)) EXPECT_TRUE(allowed.contains(name)) << name;
    }
}

TEST(KillProofFiles, OptionsListsAndBackupsReadBackWholeAfterEveryKill) {
    {
        TempFolder program;
        TOptions options("options.ini", program.Path());
        ASSERT_TRUE(options.WriteInteger("ShieldLevel", 0));
        KillWriterRepeatedly([&](int i) { options.WriteInteger("ShieldLevel", i % 2); },
                             [&] {
                                 const std::string text = ReadFileText(program / "options.ini");
                                 EXPECT_TRUE(text == "[Options]\r\nShieldLevel=0\r\n" ||
                                             text == "[Options]\r\nShieldLevel=1\r\n")
                                     << text;
                             },
                             program.Path(), {"options.ini", "options.ini.tmp"});
    }
    {
        TempFolder program;
        const std::vector<std::string> versions[2] = {{"Tracking cookie a"}, {"Tracking cookie b", "Folder c"}};
        TColorList list(program / "black_list.txt");
        list.AddAllAndSave(versions[0]);
        KillWriterRepeatedly(
            [&](int i) {
                list.Clear();
                list.AddAllAndSave(versions[i % 2]);
            },
            [&] {
                const TColorList read(program / "black_list.txt");
                EXPECT_TRUE(read.Entries() == versions[0] || read.Entries() == versions[1]);
            },
            program.Path(), {"black_list.txt", "black_list.txt.tmp"});
    }
    {
        TempFolder program;
        TBackuper store(program.Path());
        store.NewBackup("TCookieWarning", "Restore tracking cookie a");
        KillWriterRepeatedly(
            [&](int) {
                // A record left by the writer killed before is cleared first.
                while (store.GetCount() > 1) store.DeleteBackup(1);
                store.NewBackup("TCookieWarning", "Restore tracking cookie b");
                store.SetString("File", "b");
                store.DeleteBackup(1);
            },
            [&] {
                const std::string text = ReadFileText(program / "backups.ini");
                const IniText ini = IniText::Parse(text);
                ASSERT_FALSE(text.empty());
                EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
                const TBackuper read(program.Path());
                EXPECT_GE(read.GetCount(), 1);
                EXPECT_LE(read.GetCount(), 2);
                EXPECT_EQ(read.GetString(0, "Desc"), "Restore tracking cookie a");
                EXPECT_EQ(ini.Get("Count", "Count"), std::to_string(read.GetCount()));
            },
            program.Path(), {"backups.ini", "backups.ini.tmp", "backuped"});
    }
}

TEST(KillProofFiles, TheDatabaseLoadsAfterEveryKill) {
    TempFolder program;
    const std::string path = program / "database.db";
    const auto save = [&](int version) {
        TDataBase dataBase(path, false, std::string(kDataBasePassPhrase));
        std::vector<std::string> names;
        for (int row = 0; row < 200 + version * 300; ++row) names.push_back("file" + std::to_string(row) + ".dll");
        dataBase.AddTable(test::MakeTable("PrimaryFiles", {{"FILE_NAME", names}}));
        dataBase.Save();
    };
    save(0);
    KillWriterRepeatedly([&](int i) { save(i % 2); },
                         [&] {
                             TDataBase read(path, true, std::string(kDataBasePassPhrase));
                             const TTable* table = read.FindTable("PrimaryFiles");
                             ASSERT_NE(table, nullptr);
                             EXPECT_TRUE(table->RowCount() == 200 || table->RowCount() == 500) << table->RowCount();
                         },
                         // The save's working files have fixed names: one killed save leaves
                         // them, the next takes them over, so they never pile up.
                         program.Path(),
                         {"database.db", "database.db.tmp", "db", "db_decrypted.dat", "db_unpacked.dat",
                          "db_unpacked.dat_decrypted.dat"});
}

}  // namespace
}  // namespace sentrel
