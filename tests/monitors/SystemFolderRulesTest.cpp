// Which removals below the Windows folder are a critical change.
#include <gtest/gtest.h>

#include <string>

#include "monitors/SystemFolderRules.h"

namespace sentrel {
namespace {

TEST(SystemFolderRules, OnlyWhatWindowsNeedsToStartOrProtectsIsCritical) {
    const auto protectedHosts = [](const std::string& path) { return path.ends_with("\\etc\\hosts") || path.ends_with("Temp\\p.dll"); };
    const auto critical = [&](const char* path) { return IsCriticalSystemRemoval("C:\\Windows\\", path, protectedHosts); };
    for (const char* path : {"C:\\Windows\\evil.dll", "c:\\windows\\System32\\KERNEL32.DLL",
                             "C:\\Windows\\SysWOW64\\drivers\\x.sys", "C:\\Windows\\System32\\drivers\\etc\\hosts"})
        EXPECT_TRUE(critical(path)) << path;
    for (const char* path : {"C:\\Windows\\Temp\\p.dll", "C:\\Windows\\SoftwareDistribution\\Download\\a.exe",
                             "C:\\Windows\\System32\\config\\systemprofile\\AppData\\x.dll", "C:\\Windows\\notes.txt",
                             "C:\\Windows\\System32\\wbem\\x.dll", "C:\\Windows\\System32\\drivers\\x\\y.sys",
                             "C:\\Windows", "C:\\WindowsApps\\a.exe", "D:\\a.exe", "C:\\Windows\\Logs\\CBS\\x.exe"})
        EXPECT_FALSE(critical(path)) << path;
}

// Windows' own tasks are below its folder of tasks and run only what lies right in its folders;
// one of that name running anything from elsewhere is no longer its own.
TEST(SystemFolderRules, WindowsOwnTasksRunOnlyWhatIsRightInItsFolders) {
    const auto own = [](std::string_view path, std::vector<std::string> programs) {
        return IsWindowsOwnTask("C:\\Windows\\", path, programs);
    };
    EXPECT_TRUE(own("\\Microsoft\\Windows\\Defrag\\ScheduledDefrag", {"%windir%\\system32\\defrag.exe"}));
    EXPECT_TRUE(own("\\microsoft\\windows\\X\\Y", {"C:\\WINDOWS\\SysWOW64\\a.exe", "%SystemRoot%\\b.exe"}));
    EXPECT_TRUE(own("\\Microsoft\\Windows\\Shell\\CreateObjectTask", {}));  // a COM handler alone
    EXPECT_FALSE(own("\\Microsoft\\WindowsUpdate", {"%windir%\\system32\\a.exe"}));
    EXPECT_FALSE(own("\\Updater", {"%windir%\\system32\\a.exe"}));
    EXPECT_FALSE(own("\\Microsoft\\Windows\\X", {"%windir%\\system32\\a.exe", "C:\\Users\\u\\a.exe"}));
    EXPECT_FALSE(own("\\Microsoft\\Windows\\X", {"C:\\Windows\\Temp\\a.exe"}));
    EXPECT_FALSE(own("\\Microsoft\\Windows\\X", {"C:\\Windows\\System32\\Tasks\\a.exe"}));
    EXPECT_FALSE(own("\\Microsoft\\Windows\\X", {"a.exe"}));
    EXPECT_FALSE(own("\\Microsoft\\Windows\\X", {"C:\\Windowsx\\a.exe"}));
}

}  // namespace
}  // namespace sentrel
