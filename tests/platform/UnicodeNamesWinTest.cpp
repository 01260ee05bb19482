// Names in scripts outside any one ANSI code page, and an emoji, through the platform layer: found
// and opened by their exact UTF-8 names, also where a name takes more bytes than MAX_PATH.
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include "monitors/HelperProcess.h"
#include "platform/Directory.h"
#include "platform/DirectoryChanges.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/RegistryRaw.h"
#include "platform/ShellFiles.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"
#include "warnings/FolderTree.h"

namespace sentrel::platform {
namespace {

const std::string kCyrillic = "Отчёт";
const std::string kCjk = "报告";
const std::string kEmoji = "😀";

std::string CjkName(int characters) {
    std::string name;
    for (int i = 0; i < characters; ++i) name += "报";
    return name;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

TEST(UnicodeNames, WideTextIsUtf8AndReplacesWhatIsNotText) {
    EXPECT_EQ(WideFromUtf8(kCyrillic + kEmoji), L"Отчёт\U0001F600");
    EXPECT_EQ(Utf8FromWide(L"报告\U0001F600"), kCjk + kEmoji);
    EXPECT_EQ(WideFromUtf8("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf8FromWide(std::wstring(L"a") + wchar_t(0xD800) + L"b"), "a\xEF\xBF\xBD" "b");
}

TEST(UnicodeNames, FoldersListMoveAndDeleteEveryName) {
    test::TempFolder temp;
    const std::string folder = temp / kCyrillic;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    // 80 characters in 240 bytes: Wine keeps a name in at most 255 bytes of its host's file system.
    const std::vector<std::string> names{kCjk + ".txt", kEmoji, CjkName(80)};
    for (const std::string& name : names) {
        UniqueFile file(CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file) << name;
    }
    std::vector<std::string> listed;
    for (const TDirectoryEntry& entry : ListDirectory(folder + "\\*")) listed.push_back(entry.Name);
    EXPECT_EQ(Sorted(listed), Sorted(names));

    // A change record names the file as the system gave it.
    alignas(DWORD) unsigned char record[64] = {};
    const std::wstring changed = L"报告\\\U0001F600";
    const DWORD nameBytes = static_cast<DWORD>(changed.size() * sizeof(wchar_t));
    const DWORD header[3] = {0, FILE_ACTION_ADDED, nameBytes};
    std::memcpy(record, header, sizeof header);
    std::memcpy(record + sizeof header, changed.data(), nameBytes);
    const auto changes = ParseChangeRecords(record, sizeof header + nameBytes);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].Name, kCjk + "\\" + kEmoji);

    ASSERT_TRUE(CreateDirectoryA((folder + "\\" + kCjk).c_str(), nullptr));
    EXPECT_TRUE(ShellMove(folder + "\\" + kEmoji, folder + "\\" + kCjk));
    EXPECT_TRUE(QueryFileAttributes(folder + "\\" + kCjk + "\\" + kEmoji).has_value());
    EXPECT_TRUE(DeleteFolderTree(folder));
    EXPECT_FALSE(QueryFileAttributes(folder).has_value());
}

TEST(UnicodeNames, RegistryKeysAndValuesKeepEveryName) {
    const std::string base = "Software\\SentrelTests\\Unicode" + std::to_string(GetCurrentProcessId());
    const std::string path = base + "\\" + kCyrillic;
    DeleteKeyTree(HKEY_CURRENT_USER, base);
    RegistryKey key = RegistryKey::Create(HKEY_CURRENT_USER, path);
    const std::string program = "C:\\" + kEmoji + "\\" + kCyrillic + ".exe";
    key.WriteString(kCjk, program);
    key.WriteString(CjkName(300), kEmoji);
    RegistryKey::Create(key.Get(), kEmoji);
    RegistryKey::Create(key.Get(), CjkName(200));

    auto values = key.Values();
    std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, kCjk);
    EXPECT_EQ(StringFromRegistryData(values[0].data), program);
    EXPECT_EQ(values[1].name, CjkName(300));
    EXPECT_EQ(StringFromRegistryData(values[1].data), kEmoji);
    EXPECT_EQ(Sorted(key.SubKeyNames()), (std::vector<std::string>{CjkName(200), kEmoji}));
    EXPECT_TRUE(RegistryKey::Open(HKEY_CURRENT_USER, path + "\\" + kEmoji).has_value());
    EXPECT_EQ(ReadRawValue(HKEY_CURRENT_USER, path, kCjk)->data, Utf16FromUtf8(program) + std::string(2, '\0'));

    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, base));
    EXPECT_FALSE(RegistryKey::Open(HKEY_CURRENT_USER, path).has_value());
}

TEST(UnicodeNames, TheProcessListGivesWholePaths) {
    // Fewer than MAX_PATH characters, more than MAX_PATH bytes.
    test::TempFolder temp;
    const std::string folder = temp / (kCjk + kEmoji + CjkName(60));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string exe = folder + "\\" + kCyrillic + kEmoji + ".exe";
    const std::string library = folder + "\\" + kCjk + ".dll";
    ASSERT_TRUE(CopyFileA((test::TestProgramFolder() + "process_helper.exe").c_str(), exe.c_str(), TRUE));
    ASSERT_TRUE(CopyFileA((test::TestProgramFolder() + "SentrelTestLibrary.dll").c_str(), library.c_str(), TRUE));

    test::HelperProcess helper(exe, library);
    EXPECT_EQ(helper.WaitForModule(kCjk + ".dll"), library);
    EXPECT_EQ(ProcessModulePaths(helper.Id())->front(), exe);
    const auto modules = SnapshotModulePaths(helper.Id());
    EXPECT_NE(std::find(modules.begin(), modules.end(), library), modules.end());
    const auto processes = SnapshotProcesses();
    ASSERT_TRUE(processes.has_value());
    const auto record = std::find_if(processes->begin(), processes->end(),
                                     [&helper](const ProcessRecord& r) { return r.processId == helper.Id(); });
    ASSERT_NE(record, processes->end());
    EXPECT_EQ(record->exeFile, kCyrillic + kEmoji + ".exe");
}

}  // namespace
}  // namespace sentrel::platform
