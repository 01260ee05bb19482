// What 32-bit programs leave on a 64-bit system, under Wine's 64-bit prefix where the two
// registry views and the two program folders are real: each is found in its own view or folder,
// fixed and undone there, and the other view is left as it was. The keys live below
// HKLM\Software\SentrelWowTest<pid> (in both views) and HKLM\System\SentrelWowTest<pid>.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/Files.h"
#include "core/WarningQueue.h"
#include "database/LookupTables.h"
#include "database/ShellFoldersWin.h"
#include "database/ThreatTables.h"
#include "monitors/AutostartMonitor.h"
#include "monitors/RegistryPointsSource.h"
#include "monitors/RegistryMonitors.h"
#include "monitors/Scanners.h"
#include "platform/Registry.h"
#include "platform/RegistryRaw.h"
#include "support/WholePass.h"
#include "warnings/RemedyFixture.h"

namespace sentrel {
namespace {

using platform::DeleteKeyTree;
using platform::RawRegistryValue;
using platform::RegistryAccess;
using platform::RegistryKey;
using test::MakeDataBase;
using test::MakeTable;
using test::ReadAll;
using test::RunWholePass;

constexpr REGSAM k64 = KEY_WOW64_64KEY;
constexpr REGSAM k32 = KEY_WOW64_32KEY;

std::string Utf16z(const std::string& text) {
    return platform::Utf16FromUtf8(text) + std::string(2, '\0');
}

class Wow64Test : public test::RemedyTest {
protected:
    Wow64Test()
        : base_("Software\\SentrelWowTest" + std::to_string(GetCurrentProcessId())),
          shared_("System\\SentrelWowTest" + std::to_string(GetCurrentProcessId())) {
        Clean();
    }
    ~Wow64Test() override { Clean(); }

    void Clean() {
        for (const REGSAM view : {k64, k32}) {
            DeleteKeyTree(HKEY_LOCAL_MACHINE, base_, view);
            DeleteKeyTree(HKEY_LOCAL_MACHINE, shared_, view);
        }
    }

    static void Write(REGSAM view, const std::string& key, const std::string& name, const std::string& text) {
        platform::WriteRawValue(HKEY_LOCAL_MACHINE, key, name, REG_SZ, Utf16z(text), view);
    }
    static std::optional<RawRegistryValue> Read(REGSAM view, const std::string& key, const std::string& name) {
        return platform::ReadRawValue(HKEY_LOCAL_MACHINE, key, name, view);
    }
    static bool KeyExists(REGSAM view, const std::string& key) {
        return RegistryKey::Open(HKEY_LOCAL_MACHINE, key, RegistryAccess::Read, view).has_value();
    }
    TAutorunAddWarning& Head() {
        auto* warning = dynamic_cast<TAutorunAddWarning*>(queue_.Head());
        EXPECT_NE(warning, nullptr);
        return *warning;
    }

    std::string base_;
    std::string shared_;
    WarningQueue queue_;
};

TEST_F(Wow64Test, RunAndWatchedValuesOf32BitProgramsAreFoundFixedAndUndoneInTheirView) {
    const std::string run = base_ + "\\Run";
    // The 64-bit view holds values of the same names, which must stay as they are.
    Write(k64, run, "Updater", "C:\\native.exe");
    Write(k64, run, "Start Page", "http://native.example/");
    Write(k32, run, "Start Page", "http://home.example/");
    ASSERT_FALSE(Read(k32, run, "Updater")) << "the two views are one here";
    AutostartMonitor autorun(program_.Path() + "\\baseline.txt", {});
    autorun.AddSource(MakeRegistryPointsSource(ParseAutostartPoints("autorun | HKLM\\" + run + " | | the Run list\n", {})));
    autorun.Slice(queue_, WholePass());
    TRegistryWatches watches;
    watches.AddRegWatch("HKLM\\" + run, "Start Page", 'z');
    ASSERT_EQ(watches.ValueWatches.size(), 2u);

    const std::string data = "C:\\Program Files (x86)\\Spy\\spy.exe";
    Write(k32, run, "Updater", data);
    autorun.Slice(queue_, WholePass());
    ASSERT_EQ(queue_.Count(), 1u);
    EXPECT_EQ(Head().Key, run);
    EXPECT_EQ(Head().View, RegistryView::Bits32);
    Head().Fix(backuper_, context_);
    EXPECT_FALSE(Read(k32, run, "Updater"));
    EXPECT_EQ(backuper_.GetString(0, "View"), "32");
    Undo("TAutorunAddWarning");
    EXPECT_EQ(Read(k32, run, "Updater")->data, Utf16z(data));
    queue_.RemoveHead();

    Write(k32, run, "Start Page", "http://hijacker.example/");
    watches.RegChangeTimerTimer(queue_);
    ASSERT_EQ(queue_.Count(), 1u);
    EXPECT_EQ(Head().View, RegistryView::Bits32);
    Head().Fix(backuper_, context_);
    EXPECT_EQ(Read(k32, run, "Start Page")->data, Utf16z("http://home.example/"));
    Undo("TBrowserSettingWarning");
    EXPECT_EQ(Read(k32, run, "Start Page")->data, Utf16z("http://hijacker.example/"));

    EXPECT_EQ(Read(k64, run, "Updater")->data, Utf16z("C:\\native.exe"));
    EXPECT_EQ(Read(k64, run, "Start Page")->data, Utf16z("http://native.example/"));
}

TEST_F(Wow64Test, RegistryEntriesOnlyIn32BitViewAreFoundFixedAndUndoneThere) {
    const std::string vendor = base_ + "\\Bad Vendor";
    Write(k32, vendor + "\\Toolbar", "Path", "C:\\Program Files (x86)\\Bad\\bar.dll");
    Write(k32, vendor + "\\Toolbar\\Settings", "Mode", "silent");
    Write(k32, vendor, "Loader", "C:\\Program Files (x86)\\Bad\\load.exe");
    Write(k64, vendor, "Native", "stays");  // the 64-bit view has the vendor key, not the entries
    const std::string root = "HKEY_LOCAL_MACHINE\\" + vendor;
    TThreatTables tables(MakeDataBase(MakeTable(
        "RegEntries", {{"REG_PATH", {root + "\\Toolbar", root + "\\Loader"}}, {"SPYWARE_REF", {"1", "2"}}})));

    TRegistryWatches watches;
    RunWholePass([&](const SliceBudget& budget) { return watches.RegistryTimerSlice(tables, queue_, budget); });
    ASSERT_EQ(queue_.Count(), 2u);
    EXPECT_EQ(Head().View, RegistryView::Bits32);
    // Named as the registry editor shows the key.
    EXPECT_EQ(Head().GetDescription(), "Malicious registry entry HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\" +
                                           base_.substr(9) + "\\Bad Vendor\\Toolbar\\");
    Head().Fix(backuper_, context_);
    EXPECT_FALSE(KeyExists(k32, vendor + "\\Toolbar"));
    queue_.RemoveHead();
    Head().Fix(backuper_, context_);
    EXPECT_FALSE(Read(k32, vendor, "Loader"));
    EXPECT_TRUE(Read(k64, vendor, "Native"));

    Undo("TRegistyWarning", 1);
    Undo("TRegistyWarning", 0);
    EXPECT_EQ(Read(k32, vendor + "\\Toolbar\\Settings", "Mode")->data, Utf16z("silent"));
    EXPECT_EQ(Read(k32, vendor + "\\Toolbar", "Path")->data, Utf16z("C:\\Program Files (x86)\\Bad\\bar.dll"));
    EXPECT_EQ(Read(k32, vendor, "Loader")->data, Utf16z("C:\\Program Files (x86)\\Bad\\load.exe"));
    // The 64-bit view got nothing of it.
    EXPECT_FALSE(KeyExists(k64, vendor + "\\Toolbar"));
    EXPECT_FALSE(Read(k64, vendor, "Loader"));
    EXPECT_TRUE(Read(k64, vendor, "Native"));
}

TEST_F(Wow64Test, AKeyBothViewsShareIsReportedOnce) {
    // Outside SOFTWARE the views share their keys: one watch and one check report it.
    const std::string run = shared_ + "\\Run";
    Write(k64, run, "Old", "C:\\old.exe");
    ASSERT_TRUE(Read(k32, run, "Old")) << "the views do not share this key here";
    AutostartMonitor autorun(program_.Path() + "\\baseline.txt", {});
    autorun.AddSource(MakeRegistryPointsSource(ParseAutostartPoints("autorun | HKLM\\" + run + " | | the Run list\n", {})));
    autorun.Slice(queue_, WholePass());
    TRegistryWatches watches;
    watches.AddRegWatch("HKLM\\" + run, "Old", 'z');
    Write(k64, run, "New", "C:\\new.exe");
    Write(k64, run, "Old", "C:\\changed.exe");
    autorun.Slice(queue_, WholePass());
    watches.RegChangeTimerTimer(queue_);
    // The new value, its change as an autostart point and the changed watched value, once each.
    EXPECT_EQ(queue_.Count(), 3u);
    while (!queue_.Empty()) queue_.RemoveHead();

    TThreatTables tables(MakeDataBase(MakeTable(
        "RegEntries", {{"REG_PATH", {"HKEY_LOCAL_MACHINE\\" + run + "\\New"}}, {"SPYWARE_REF", {"1"}}})));
    watches.RegistryTimerTimer(tables, queue_);
    ASSERT_EQ(queue_.Count(), 1u);
    EXPECT_EQ(Head().View, RegistryView::Bits64);
}

TEST_F(Wow64Test, AFolderIn32BitProgramFilesIsFoundFixedAndUndone) {
    const std::string programFilesX86 = SpecialFolder(TSystemFolder::ProgramFilesX86);
    ASSERT_FALSE(programFilesX86.empty());
    const std::string name = base_.substr(9) + "\\";
    const std::string folder = programFilesX86 + "\\" + name;
    CreateFolders(folder);
    test::WriteTextFile(folder + "adware.exe", "MZ adware");
    TThreatTables tables(MakeDataBase(
        MakeTable("Folders", {{"FILE_PATH", {"%2%\\" + name}},
                              {"CAN_BE_DELETED", {"1"}},
                              {"SPYWARE_REF", {"7"}}})));
    TSliceCursor cursor;
    RunWholePass([&](const SliceBudget& budget) {
        return FoldersTimerSlice(tables, queue_, MacroFolders(), cursor, budget);
    });
    ASSERT_EQ(queue_.Count(), 1u);
    EXPECT_EQ(queue_.Head()->Name, folder);
    queue_.Head()->Fix(backuper_, context_);
    EXPECT_FALSE(FolderExists(folder));
    Undo("TFolderWarning");
    EXPECT_EQ(ReadAll(folder + "adware.exe"), "MZ adware");
    DeleteFileA((folder + "adware.exe").c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace
}  // namespace sentrel
