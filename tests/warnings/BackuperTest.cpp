#include "warnings/Backuper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "support/TempFolder.h"
#include "warnings/FolderTree.h"

namespace sentrel {
namespace {

using namespace std::string_literals;
using test::TempFolder;
using test::WriteTextFile;

std::string Backups(const TempFolder& program) {
    return program / "backups.ini";
}

std::string RecordFolderOf(const TempFolder& program, const std::string& code) {
    return program / ("backuped" + std::string(1, kPathSeparator) + code);
}

std::vector<std::string> SectionNames(const TBackuper& store) {
    std::vector<std::string> names;
    for (int i = 0; i < store.GetCount(); ++i) names.push_back(store.GetSectionName(i));
    return names;
}

TEST(BackuperTest, NumbersRecordsByCodeAndIndexOnDisk) {
    TempFolder program;
    {
        TBackuper store(program.Path());
        EXPECT_TRUE(FolderExists(program / "backuped"));
        EXPECT_FALSE(FileExists(Backups(program)));
        EXPECT_EQ(store.GetCount(), 0);
        EXPECT_EQ(store.GetLastCode(), 0);

        const NewBackupResult first = store.NewBackup("TFileWarning", "Program a.dll was deleted from system folder");
        EXPECT_EQ(first.code, "0");
        EXPECT_EQ(first.folderPath, RecordFolderOf(program, "0") + kPathSeparator);
        EXPECT_EQ(ReadFileText(Backups(program)),
                  "[Count]\r\nCount=1\r\nLastCode=1\r\n[0]\r\nType=TFileWarning\r\n"
                  "Desc=Program a.dll was deleted from system folder\r\n");
        EXPECT_EQ(store.NewBackup("TCookieWarning", "Restore tracking cookie b.txt").code, "1");
        EXPECT_EQ(store.NewBackup("TFolderWarning", "c").code, "2");
        for (const char* code : {"0", "1", "2"}) EXPECT_TRUE(FolderExists(RecordFolderOf(program, code))) << code;
        WriteTextFile(RecordFolderOf(program, "1") + kPathSeparator + "b.txt", "cookie");

        store.DeleteBackup(1);
        EXPECT_EQ(store.GetCount(), 2);
        EXPECT_EQ(store.GetLastCode(), 3);
        EXPECT_EQ(SectionNames(store), (std::vector<std::string>{"0", "2"}));
        EXPECT_EQ(store.GetString(1, "Type"), "TFolderWarning");
        EXPECT_FALSE(FolderExists(RecordFolderOf(program, "1")));
        EXPECT_TRUE(FolderExists(RecordFolderOf(program, "0")));
        EXPECT_TRUE(FolderExists(RecordFolderOf(program, "2")));
    }
    // The records outlive the store; deleting the first moves the others down, and codes go on.
    TBackuper store(program.Path());
    store.DeleteBackup(0);
    EXPECT_EQ(store.GetCount(), 1);
    EXPECT_EQ(store.GetLastCode(), 3);
    EXPECT_EQ(store.GetSectionName(0), "2");
    EXPECT_EQ(store.NewBackup("TProcessWarning", "d").code, "3");
    EXPECT_EQ(SectionNames(store), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(store.GetString(1, "Desc"), "d");
}

TEST(BackuperTest, KeysGoIntoTheNewestRecordAndReadBackExactly) {
    TempFolder program;
    TBackuper store(program.Path());
    EXPECT_THROW(store.SetString("FilePath", "x"), std::logic_error);  // no record yet
    store.NewBackup("TFileWarning", "a");
    store.NewBackup("TFileWarning", "b");
    store.DeleteBackup(0);
    store.NewBackup("TAutorunAddWarning", "c");  // code 2, index 1: not section "1"

    const std::vector<std::string> texts = {
        "",          "C:\\WINDOWS\\system32\\a b.dll", "  blanks around\t", "\"quoted\"", "'single'",
        "\"C:\\Program Files\\x.exe\" -min", "a=b;c", ";not a comment", "[not a section]", "Отчёт 报告 😀.exe",
        std::string(5000, 'x'), "\"", "\""};
    for (std::size_t i = 0; i < texts.size(); ++i) store.SetString("Text" + std::to_string(i), texts[i]);
    for (const int value : {0, -1, 1, INT_MIN, INT_MAX, static_cast<int>(0x80000001u)}) {
        store.SetInteger("RootKey", value);
        EXPECT_EQ(store.GetInteger(1, "RootKey"), value);
    }
    store.SetValues(std::vector<BackupValue>{BackupString("Key", "Software\\Run"), BackupInteger("Number", 7)});

    const TBackuper reopened(program.Path());
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(reopened.GetString(1, "Text" + std::to_string(i)), texts[i]);
    EXPECT_EQ(reopened.GetString(1, "Key"), "Software\\Run");
    EXPECT_EQ(reopened.GetInteger(1, "Number"), 7);
    EXPECT_EQ(reopened.GetString(0, "Key"), "");
    EXPECT_EQ(reopened.GetString(1, "Missing"), "");
    EXPECT_EQ(reopened.GetInteger(1, "Missing"), 0);
    EXPECT_EQ(reopened.GetInteger(1, "Text1"), 0);  // not a number

    // A line break cannot be stored in a key; in "Desc" (a line of the list) it becomes a blank.
    const std::string before = ReadFileText(Backups(program));
    EXPECT_THROW(store.SetString("Value", "a\r\n[Count]\r\nCount=0"), std::invalid_argument);
    EXPECT_EQ(ReadFileText(Backups(program)), before);
    store.NewBackup("TRegistyWarning", "Registry entry x\r\ny was deleted");
    EXPECT_EQ(store.GetString(2, "Desc"), "Registry entry x  y was deleted");

    store.DeleteBackup(2);  // the newest is gone: its keys cannot be written any more
    EXPECT_THROW(store.SetString("FilePath", "x"), std::logic_error);
    EXPECT_EQ(store.GetCount(), 2);
}

TEST(BackuperTest, AReservedRecordKeepsItsCodeUntilItIsWrittenOrGivenUp) {
    TempFolder program;
    TBackuper store(program.Path());
    const NewBackupResult reserved = store.ReserveRecord();
    const NewBackupResult given = store.ReserveRecord();
    const NewBackupResult meanwhile = store.NewBackup("TFileWarning", "a");
    EXPECT_EQ((std::set<std::string>{reserved.code, given.code, meanwhile.code}.size()), 3u);

    // Written last, with its folder key and the act's keys.
    store.CommitRecord(reserved, "TRegistyWarning", "Registry key x was deleted",
                       std::vector<BackupValue>{BackupString("View", "32")});
    ASSERT_EQ(store.GetCount(), 2);
    EXPECT_EQ(store.GetSectionName(1), reserved.code);
    EXPECT_EQ(store.GetString(1, "BackupFolder"), reserved.code);
    EXPECT_EQ(store.GetString(1, "View"), "32");
    store.ReleaseRecord(given);
    EXPECT_FALSE(FolderExists(given.folderPath.substr(0, given.folderPath.size() - 1)));
    EXPECT_NE(store.NewBackup("TFileWarning", "b").code, reserved.code);
}

TEST(BackuperTest, IndexesOutsideTheRecordsFail) {
    TempFolder program;
    TBackuper store(program.Path());
    store.NewBackup("TCookieWarning", "a");
    const std::string before = ReadFileText(Backups(program));
    EXPECT_THROW(store.GetSectionName(1), std::out_of_range);
    EXPECT_THROW(store.GetSectionName(-1), std::out_of_range);
    EXPECT_THROW(store.GetString(1, "Desc"), std::out_of_range);
    EXPECT_THROW(store.DeleteBackup(1), std::out_of_range);
    EXPECT_EQ(ReadFileText(Backups(program)), before);
    EXPECT_THROW(store.RecordFolder("..\\.."), std::invalid_argument);
}

TEST(BackuperTest, DeletesTheWholeFolderTreeAndGoesOnWhenTheFolderIsGone) {
    TempFolder program;
    TBackuper store(program.Path());
    const std::string folder = store.NewBackup("TFolderWarning", "a").folderPath;
    const std::string sub = folder + "sub" + kPathSeparator;
    CreateFolders(sub + "deeper");
    for (const std::string& file : {folder + "top.txt", sub + "mid.txt", sub + "deeper" + kPathSeparator + "low.txt"}) {
        WriteTextFile(file, "x");
        std::filesystem::permissions(file, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                               std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
    }
    store.NewBackup("TFolderWarning", "b");
    store.DeleteBackup(0);
    EXPECT_FALSE(FolderExists(RecordFolderOf(program, "0")));
    EXPECT_EQ(SectionNames(store), (std::vector<std::string>{"1"}));

    // The record's folder removed by hand: the record goes all the same.
    ASSERT_TRUE(DeleteFolderTree(RecordFolderOf(program, "1")));
    store.DeleteBackup(0);
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(ReadFileText(Backups(program)), "[Count]\r\nCount=0\r\nLastCode=2\r\n");
    EXPECT_TRUE(FolderExists(program / "backuped"));
}

TEST(BackuperTest, RecountsAtStartUp) {
    struct Case {
        const char* text;
        int count;
        int lastCode;
    };
    const Case cases[] = {
        {"[Count]\r\nCount=7\r\nLastCode=2\r\n[0]\r\nType=A\r\n[1]\r\nType=B\r\n", 2, 2},
        {"[Count]\r\nCount=0\r\nLastCode=9\r\n[4]\r\n[8]\r\n[5]\r\n", 3, 9},
        {"[Count]\r\nCount=abc\r\nLastCode=xyz\r\n[0]\r\nType=A\r\n", 1, 1},
        {"[3]\r\nType=A\r\n[Count]\r\nCount=2\r\n", 1, 4},                   // "Count" not first, no LastCode
        {"[Count]\r\nCount=1\r\nLastCode=0\r\n[0]\r\nFilePath=keep\r\n", 1, 1},  // LastCode names a live record
        {"[Count]\r\nCount=2\r\nLastCode=2\r\n[0]\r\n[0]\r\n[..]\r\n[]\r\n[x]\r\n[99999999999]\r\n", 1, 2},
    };
    for (const Case& c : cases) {
        TempFolder program;
        WriteTextFile(Backups(program), c.text);
        const TBackuper store(program.Path());
        EXPECT_EQ(store.GetCount(), c.count) << c.text;
        EXPECT_EQ(store.GetLastCode(), c.lastCode) << c.text;
        EXPECT_EQ(static_cast<int>(SectionNames(store).size()), c.count) << c.text;
    }
    // A file that agrees is left byte for byte, and no file is made where there was none.
    TempFolder program;
    const std::string sound = "; kept\n[Count]\nCount=1\nLastCode=5\n[4]\nType=A\n";
    WriteTextFile(Backups(program), sound);
    TBackuper{program.Path()};
    EXPECT_EQ(ReadFileText(Backups(program)), sound);
    TempFolder empty;
    TBackuper{empty.Path()};
    EXPECT_FALSE(FileExists(Backups(empty)));
}

TEST(BackuperTest, DamagedFilesNeitherCrashNorLeadOutsideTheStore) {
    const std::string texts[] = {
        "\0\xff\xfe[\r\r]=\n\n[Count\nCount==\n[0]]\n=\n"s,
        "\xEF\xBB\xBF[Count]\rCount=1\rLastCode=1\r[0]\rType=A\r",
        "[Count]\r\nCount=1\r\nLastCode=2147483647\r\n[0]\r\n",
        "[Count]\r\nCount=5\r\nLastCode=0\r\n[..]\r\nType=A\r\n[]\r\n[0]\r\nType=B\r\nFilePath=keep\r\n",
    };
    for (const std::string& text : texts) {
        TempFolder program;
        WriteTextFile(program / "victim.txt", "must stay");
        WriteTextFile(Backups(program), text);
        TBackuper store(program.Path());
        for (int i = 0; i < store.GetCount(); ++i) store.GetString(i, "Desc");
        try {
            const NewBackupResult made = store.NewBackup("TFileWarning", "new");
            EXPECT_EQ(store.GetSectionName(store.GetCount() - 1), made.code);
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), "The backup store has no backup code left");
        }
        while (store.GetCount() > 0) store.DeleteBackup(0);
        EXPECT_EQ(ReadFileText(program / "victim.txt"), "must stay");
        EXPECT_TRUE(FolderExists(program / "backuped"));
    }
    // A hand-edited record keeps its keys; a folder left behind is not given to a new record.
    TempFolder program;
    WriteTextFile(Backups(program), texts[3]);
    CreateFolders(RecordFolderOf(program, "1"));
    WriteTextFile(RecordFolderOf(program, "1") + kPathSeparator + "old.dll", "old");
    TBackuper store(program.Path());
    EXPECT_EQ(store.NewBackup("TFileWarning", "new").code, "2");
    EXPECT_EQ(store.GetString(0, "FilePath"), "keep");
    EXPECT_EQ(ReadFileText(RecordFolderOf(program, "1") + kPathSeparator + "old.dll"), "old");
}

TEST(BackuperTest, OneOddCodeNeverBlocksLaterRecords) {
    // A section or "LastCode" at the very top of the codes, or far above what any store reaches,
    // is not followed: new records take sane codes and never one that is live.
    const std::string texts[] = {
        "[Count]\r\nCount=1\r\nLastCode=0\r\n[2147483647]\r\nType=A\r\n",
        "[Count]\r\nCount=0\r\nLastCode=2147483647\r\n",
        "[Count]\r\nCount=2\r\nLastCode=2147483646\r\n[0]\r\nType=A\r\n[2147483646]\r\nType=B\r\n",
        "[Count]\r\nCount=1\r\nLastCode=1500000000\r\n[1499999999]\r\nType=A\r\n",
    };
    for (const std::string& text : texts) {
        TempFolder program;
        WriteTextFile(Backups(program), text);
        TBackuper store(program.Path());
        const std::vector<std::string> before = SectionNames(store);
        std::vector<std::string> made;
        for (int i = 0; i < 3; ++i) {
            const NewBackupResult record = store.NewBackup("TCookieWarning", "c");
            EXPECT_LT(std::stoll(record.code), 1000) << text;
            EXPECT_EQ(std::find(before.begin(), before.end(), record.code), before.end()) << text;
            EXPECT_EQ(std::find(made.begin(), made.end(), record.code), made.end()) << text;
            store.SetString("File", "f" + std::to_string(i));
            EXPECT_EQ(store.GetString(store.GetCount() - 1, "File"), "f" + std::to_string(i)) << text;
            made.push_back(record.code);
        }
        EXPECT_EQ(store.GetCount(), static_cast<int>(before.size()) + 3) << text;
        // The odd record itself stays readable and deletable.
        for (int i = 0; i < static_cast<int>(before.size()); ++i) EXPECT_EQ(store.GetSectionName(i), before[i]);
    }
}

TEST(BackuperTest, AFailedWriteLeavesNoRecordBehind) {
    TempFolder program;
    CreateFolders(Backups(program));  // a folder where the file should be: it cannot be written
    TBackuper store(program.Path());
    EXPECT_THROW(store.NewBackup("TFileWarning", "a"), FileError);
    EXPECT_FALSE(FolderExists(RecordFolderOf(program, "0")));

    TempFolder other;
    WriteTextFile(other / "backuped", "a file where the folder should be");
    TBackuper blocked(other.Path());
    EXPECT_THROW(blocked.NewBackup("TFileWarning", "a"), FileError);
    EXPECT_FALSE(FileExists(Backups(other)));
}

TEST(BackuperTest, OneStoreIsSafeFromSeveralThreads) {
    TempFolder program;
    TBackuper store(program.Path());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&store] {
            for (int i = 0; i < 10; ++i) store.NewBackup("TCookieWarning", "c");
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(store.GetCount(), 40);
    EXPECT_EQ(store.GetLastCode(), 40);
    EXPECT_EQ(SectionNames(store).size(), 40u);
}

}  // namespace
}  // namespace sentrel
