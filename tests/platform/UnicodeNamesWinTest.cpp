// Names in Cyrillic, CJK and an emoji through the platform layer: found and opened by their exact
// UTF-8 names, also where a path takes more bytes than MAX_PATH.
#include <algorithm>

#include <gtest/gtest.h>

#include "monitors/HelperProcess.h"
#include "platform/Directory.h"
#include "platform/Registry.h"
#include "platform/ShellFiles.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"
#include "warnings/FolderTree.h"

namespace sentrel::platform {
namespace {

const std::string kCyrillic = "Отчёт", kCjk = "报告", kEmoji = "😀";
// 80 characters in 240 bytes: Wine keeps a name in at most 255 bytes of its host's file system.
const std::string kLong = [] {
    std::string name;
    for (int i = 0; i < 40; ++i) name += kCjk;
    return name;
}();

TEST(UnicodeNames, WideTextIsUtf8AndReplacesWhatIsNotText) {
    EXPECT_EQ(WideFromUtf8(kCjk + kEmoji), L"报告\U0001F600");
    EXPECT_EQ(WideFromUtf8("a\xFF"), L"a\uFFFD");
    EXPECT_EQ(Utf8FromWide(std::wstring{L'a', wchar_t(0xD800)}), "a\xEF\xBF\xBD");
}

TEST(UnicodeNames, FoldersListMoveAndDeleteEveryName) {
    test::TempFolder temp;
    const std::string folder = temp / kCyrillic;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::vector<std::string> names{kCjk, kEmoji, kLong};
    for (const std::string& name : names)
        ASSERT_TRUE(UniqueFile(CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                                           nullptr)));
    std::vector<std::string> listed;
    for (const TDirectoryEntry& entry : ListDirectory(folder + "\\*")) listed.push_back(entry.Name);
    std::sort(listed.begin(), listed.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listed, names);
    EXPECT_TRUE(ShellMove(folder + "\\" + kEmoji, temp.Path()));
    EXPECT_TRUE(QueryFileAttributes(temp / kEmoji).has_value());
    EXPECT_TRUE(DeleteFolderTree(folder));
}

TEST(UnicodeNames, RegistryKeysAndValuesKeepEveryName) {
    const std::string base = "Software\\SentrelTests\\Unicode" + std::to_string(GetCurrentProcessId());
    const std::string path = base + "\\" + kCyrillic;
    RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, path);
    const std::string program = "C:\\" + kEmoji + "\\" + kCyrillic + ".exe";
    key.WriteString(kLong + kLong, program);  // 160 characters, 480 bytes
    RegistryKey::Create(key.Get(), kEmoji);
    const auto values = key.Values();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, kLong + kLong);
    EXPECT_EQ(StringFromRegistryData(values[0].data), program);
    EXPECT_EQ(key.ReadString(kLong + kLong), program);
    EXPECT_EQ(key.SubKeyNames(), std::vector<std::string>{kEmoji});
    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, base));
}

TEST(UnicodeNames, TheProcessListGivesWholePaths) {
    test::TempFolder temp;  // fewer than MAX_PATH characters, more than MAX_PATH bytes
    const std::string folder = temp / (kEmoji + kLong);
    const std::string exe = folder + "\\" + kCyrillic + ".exe";
    const std::string library = folder + "\\" + kCjk + ".dll";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA((test::TestProgramFolder() + "process_helper.exe").c_str(), exe.c_str(), TRUE));
    ASSERT_TRUE(CopyFileA((test::TestProgramFolder() + "SentrelTestLibrary.dll").c_str(), library.c_str(), TRUE));
    test::HelperProcess helper(exe, library);
    EXPECT_EQ(helper.WaitForModule(kCjk + ".dll"), library);
    EXPECT_EQ(ProcessModulePaths(helper.Id())->front(), exe);
    const auto processes = SnapshotProcesses().value();
    EXPECT_TRUE(std::any_of(processes.begin(), processes.end(), [&](const ProcessRecord& process) {
        return process.processId == helper.Id() && process.exeFile == kCyrillic + ".exe";
    }));
}

}  // namespace
}  // namespace sentrel::platform
