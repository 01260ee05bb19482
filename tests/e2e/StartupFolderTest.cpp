// A program planted in the user's Startup folder while the shield runs at High: the alert names
// the folder and what the file starts, "Shield me" moves the file into a backup record, and Undo
// from the restore page puts it back where it was without another alert.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "config/OptionKeys.h"
#include "config/Options.h"
#include "e2e/ShieldProcess.h"
#include "platform/ComObjects.h"
#include "platform/ProgramFolder.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"

namespace sentrel::e2e {
namespace {

// ASCII: this test program reads the alert's texts in its own (ANSI) code page.
constexpr const char* kShortcutName = "E2E starter.lnk";

std::string Baseline() {
    return platform::UserAppDataFolder() + "\\.SentrelSettings\\autostart_baseline.txt";
}

std::string UserStartupFolder() {
    for (const platform::StartupFolder& folder : platform::StartupFolders())
        if (!folder.common) return folder.path;
    return {};
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(platform::WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The baseline knows a file of that name (`listed`) or does not; false while it cannot be read.
bool Known(const std::string& name, bool listed) {
    try {
        return (ReadTextFile(Baseline()).find(name) != std::string::npos) == listed;
    } catch (const std::exception&) {
        return false;
    }
}

void SaveShortcut(const std::string& path, const std::string& target, const std::string& arguments) {
    platform::EnsureComOnThisThread();
    platform::ComRef<IShellLinkW> link;
    platform::ComRef<IPersistFile> persist;
    platform::CheckHresult(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                            link.PutVoid()),
                           "CoCreateInstance(ShellLink)");
    platform::CheckHresult(link->SetPath(platform::WideFromUtf8(target).c_str()), "IShellLinkW::SetPath");
    platform::CheckHresult(link->SetArguments(platform::WideFromUtf8(arguments).c_str()), "IShellLinkW::SetArguments");
    platform::CheckHresult(link->QueryInterface(IID_IPersistFile, persist.PutVoid()), "QueryInterface(IPersistFile)");
    platform::CheckHresult(persist->Save(platform::WideFromUtf8(path).c_str(), TRUE), "IPersistFile::Save");
}

std::string AllTexts(HWND window) {
    std::string all;
    for (const std::string& text : ChildTexts(window)) all += text + " | ";
    return all;
}

HWND VisibleAlert(const ShieldProcess& shield, std::chrono::milliseconds timeout) {
    const HWND alert = shield.WaitForWindow("TAlertForm");
    return alert && WaitForVisibility(alert, true, timeout) ? alert : nullptr;
}

TEST(StartupFolder, ReportsAPlantedShortcutFixesAndUndoesIt) {
    const std::string startup = UserStartupFolder();
    ASSERT_FALSE(startup.empty());
    const std::string planted = startup + "\\" + kShortcutName;
    DeleteFileW(platform::WideFromUtf8(planted).c_str());
    DeleteFileA(Baseline().c_str());
    test::TempFolder temp;
    const std::string program = temp / "e2e starter.exe";
    const HANDLE file = CreateFileW(platform::WideFromUtf8(program).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    ProgramFolder folder;
    folder.CopyGraphics();
    ASSERT_TRUE(CopyFileA((BuildBinFolder() + "autostart_points.ini").c_str(),
                          (folder / "autostart_points.ini").c_str(), FALSE));
    {
        TOptions options("options.ini", folder.Path());
        WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("Autorun", false);
        options.WriteInteger("WhatDo", 0);
        options.WriteInteger("Shield", 2);  // High
    }
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    ASSERT_TRUE(Eventually([] { return Exists(Baseline()); })) << "the first pass wrote no baseline";

    SaveShortcut(planted, program, "/tray");
    const HWND alert = VisibleAlert(shield, 30s);
    ASSERT_NE(alert, nullptr) << "no alert for the planted shortcut";
    const std::string expected = "A program was added to your Startup folder: \"" + program +
                                 "\" /tray (the file " + kShortcutName + " in " + startup +
                                 "). Click Shield me to remove it or Ignore to permit it.";
    const std::vector<std::string> texts = ChildTexts(alert);
    ASSERT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << AllTexts(alert);
    const HWND shieldMe = FindChildByText(alert, "shield");
    ASSERT_NE(shieldMe, nullptr);
    DWORD_PTR answer = 0;
    ASSERT_NE(SendMessageTimeoutA(shieldMe, BM_CLICK, 0, 0, SMTO_BLOCK, 30000, &answer), 0);

    TBackuper backuper(folder.Path());
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 1; })) << backuper.GetCount() << " records";
    EXPECT_EQ(backuper.GetString(0, "Type"), "TStartupFileWarning");
    EXPECT_FALSE(Exists(planted));
    EXPECT_TRUE(Exists(backuper.RecordFolder(backuper.GetSectionName(0)) + kShortcutName));
    // The pass after the fix takes the removal as known.
    EXPECT_TRUE(Eventually([] { return Known(kShortcutName, false); }));

    // Undo from the restore page: the shortcut is back and is not reported again.
    Press(shield.WaitForWindow("TMainForm"), "undo");
    const HWND dialog = shield.WaitForWindow("TOptionsForm");
    ASSERT_TRUE(WaitForVisibility(dialog, true));
    const HWND page = FindChildByText(dialog, "Restore Changes");
    const HWND list = GetDlgItem(page, 700);
    ASSERT_TRUE(list);
    ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 1);
    SendMessageA(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 0));
    PostMessageA(FindChildByText(page, "&Undo"), BM_CLICK, 0, 0);
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << backuper.GetCount() << " records left";
    EXPECT_TRUE(Exists(planted));
    EXPECT_TRUE(Eventually([] { return Known(kShortcutName, true); })) << "the pass after the undo did not learn it";
    if (const HWND again = VisibleAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);

    RunAndWait("taskkill /pid " + std::to_string(shield.Id()));
    EXPECT_TRUE(shield.WaitForExit().has_value());
    DeleteFileW(platform::WideFromUtf8(planted).c_str());
    DeleteFileA(Baseline().c_str());
}

}  // namespace
}  // namespace sentrel::e2e
