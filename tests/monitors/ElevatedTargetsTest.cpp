// What the elevated copy accepts from its command line and from a record or request a program of
// the user could have written.
#include <gtest/gtest.h>

#include <stdexcept>

#include "monitors/ElevatedTargets.h"
#include "warnings/ElevatedActs.h"

namespace sentrel {
namespace {

std::optional<ElevatedAct> Parse(std::vector<std::string> arguments) {
    return ParseElevatedCommandLine(arguments);
}

TEST(ElevatedCopy, AcceptsOnlyASwitchAndABackupCode) {
    const auto fix = Parse({"/ElevatedFix", "12"});
    ASSERT_TRUE(fix);
    EXPECT_FALSE(fix->undo);
    EXPECT_EQ(fix->code, "12");
    EXPECT_TRUE(Parse({"/ElevatedUndo", "2147483647"})->undo);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {}, {"/ElevatedFix"}, {"/ElevatedFix", ""}, {"/ElevatedFix", "12", "13"}, {"/ElevatedFix", "-1"},
             {"/ElevatedFix", "1 2"}, {"/ElevatedFix", "..\\..\\x"}, {"/ElevatedFix", "2147483648"},
             {"/elevatedfix", "12"}, {"12", "/ElevatedFix"}})
        EXPECT_FALSE(Parse(bad)) << (bad.empty() ? "(none)" : bad.front() + " " + (bad.size() > 1 ? bad[1] : ""));
    // A line that starts with a switch is the copy's even when bad: never a second shield.
    EXPECT_TRUE(IsElevatedCommandLine(std::vector<std::string>{"/ElevatedUndo", "x"}));
    EXPECT_FALSE(IsElevatedCommandLine(std::vector<std::string>{"/minimized"}));
}

constexpr const char* kTable =
    "values  | HKLM\\SOFTWARE\\Policies\\Run | | the policy Run list for all users\n"
    "values  | HKCU\\Software\\Policies\\Run | | the policy Run list\n"
    "value   | HKLM\\SOFTWARE\\Winlogon | Shell | the Winlogon shell\n"
    "subkeys | HKLM\\SOFTWARE\\IFEO | Debugger | the debuggers of programs\n";

BackupRecord Registry(const std::string& root, const std::string& key, const std::string& item, bool subKey) {
    BackupRecord record{.code = "7", .folderPath = "backuped/7/"};
    record.keys = {{"RootKey", root}, {"Key", key}, {"Value", item}, {"SubKey", subKey ? "1" : ""}};
    return record;
}

class ElevatedTargetsTest : public ::testing::Test {
protected:
    ElevatedTargetsTest() {
        targets_.points = ParseAutostartPoints(kTable, [](const std::string& line) { FAIL() << line; });
        targets_.commonStartupFolders = {"C:\\ProgramData\\Start Menu\\Startup"};
        targets_.readFile = [this](const std::string& path) {
            if (path != "backuped/7/backup.reg") throw std::runtime_error("no such file");
            return backupReg_;
        };
    }

    bool Allowed(std::string_view kind, const BackupRecord& keys, bool undo = false) const {
        try {
            CheckElevatedTarget(kind, keys, undo, targets_);
            return true;
        } catch (const ElevatedRefusal&) {
            return false;
        }
    }

    ElevatedTargets targets_;
    std::string backupReg_;
};

// As records keep them: the root's handle value as a signed number.
const std::string kHklm = std::to_string(static_cast<int>(RegistryRoot::LocalMachine));
const std::string kHkcu = std::to_string(static_cast<int>(RegistryRoot::CurrentUser));

TEST_F(ElevatedTargetsTest, RegistryChangesOnlyAtTheTablesMachinePoints) {
    EXPECT_TRUE(Allowed("AutostartPointWarning", Registry(kHklm, "software\\policies\\run", "Bad", false)));
    EXPECT_TRUE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\Winlogon", "shell", false)));
    EXPECT_TRUE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\IFEO", "notepad.exe", true)));
    // Another value of a one-value point, a key not in the table, a user point, a subkey of a
    // values point, a subkey name that climbs or goes deeper.
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\Winlogon", "Userinit", false)));
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\Microsoft", "x", false)));
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHkcu, "Software\\Policies\\Run", "Bad", false)));
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\Policies\\Run", "Bad", true)));
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\IFEO", "..", true)));
    EXPECT_FALSE(Allowed("AutostartPointWarning", Registry(kHklm, "SOFTWARE\\IFEO", "a\\b", true)));
    EXPECT_FALSE(Allowed("TFileWarning", Registry(kHklm, "SOFTWARE\\Policies\\Run", "Bad", false)));
}

TEST_F(ElevatedTargetsTest, ASubkeysUndoImportsNothingButThatSubkey) {
    const BackupRecord record = Registry(kHklm, "SOFTWARE\\IFEO", "notepad.exe", true);
    backupReg_ = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\IFEO\\notepad.exe]\r\n"
                 "\"Debugger\"=\"x.exe\"\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\IFEO\\notepad.exe\\Sub]\r\n";
    EXPECT_TRUE(Allowed("AutostartPointWarning", record, true));
    EXPECT_TRUE(Allowed("AutostartPointWarning", record, false));  // the fix exports it itself
    for (const char* foreign : {"[HKEY_LOCAL_MACHINE\\SOFTWARE\\IFEO\\notepad.exe2]",
                                "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\x]",
                                "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\IFEO]"}) {
        const std::string saved = backupReg_;
        backupReg_ += std::string(foreign) + "\r\n";
        EXPECT_FALSE(Allowed("AutostartPointWarning", record, true)) << foreign;
        backupReg_ = saved;
    }
    backupReg_ = "Windows Registry Editor Version 5.00\r\n";
    EXPECT_FALSE(Allowed("AutostartPointWarning", record, true));
}

TEST_F(ElevatedTargetsTest, FilesOfTheCommonStartupFolderAndWellFormedTasksOnly) {
    BackupRecord file;
    file.keys = {{"FilePath", "c:\\programdata\\start menu\\startup\\run.lnk"}};
    EXPECT_TRUE(Allowed("StartupFileWarning", file));
    for (const char* path : {"C:\\ProgramData\\Start Menu\\Startup\\..", "C:\\Windows\\System32\\run.lnk",
                             "C:\\ProgramData\\Start Menu\\Startup\\Sub\\run.lnk"}) {
        file.keys["FilePath"] = path;
        EXPECT_FALSE(Allowed("StartupFileWarning", file)) << path;
    }
    BackupRecord task;
    task.keys = {{"Task", "\\Folder\\Task name"}};
    EXPECT_TRUE(Allowed("ScheduledTaskWarning", task));
    for (const char* path : {"", "\\", "Task", "\\Folder\\..\\Task", "\\Folder\\\\Task", "\\Folder/Task"}) {
        task.keys["Task"] = path;
        EXPECT_FALSE(Allowed("ScheduledTaskWarning", task)) << path;
    }
}

TEST_F(ElevatedTargetsTest, AServiceByItsPlainNameAndAnUndoImportingOnlyItsKey) {
    BackupRecord fix;
    fix.keys = {{"Name", "EvilSvc"}};
    EXPECT_TRUE(Allowed("ServiceWarning", fix));
    for (const char* name : {"", "..", "a\\b", "a/b"}) {
        fix.keys["Name"] = name;
        EXPECT_FALSE(Allowed("ServiceWarning", fix)) << name;
    }
    BackupRecord undo{.code = "7", .folderPath = "backuped/7/"};
    undo.keys = {{"Service", "EvilSvc"}};
    backupReg_ = "Windows Registry Editor Version 5.00\r\n\r\n"
                 "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EvilSvc]\r\n\"ImagePath\"=\"x.exe\"\r\n"
                 "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EvilSvc\\Parameters]\r\n";
    EXPECT_TRUE(Allowed("ServiceWarning", undo, true));
    backupReg_ += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Other]\r\n";
    EXPECT_FALSE(Allowed("ServiceWarning", undo, true));
}

}  // namespace
}  // namespace sentrel
