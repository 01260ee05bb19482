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

}  // namespace
}  // namespace sentrel
