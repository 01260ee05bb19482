#include "warnings/Warning.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "warnings/RootKeys.h"
#include "warnings/WarningKinds.h"

namespace sentrel {
namespace {

constexpr auto kHkcu = RegistryRoot::CurrentUser;
constexpr auto kHklm = RegistryRoot::LocalMachine;

TEST(Warning, ConstructorsStoreTheirArgumentsAsTabled) {
    const TProcessWarning process("evil.dll", "C:\\app\\evil.dll");
    EXPECT_EQ(process.Name, "evil.dll");
    EXPECT_EQ(process.FilePath, "C:\\app\\evil.dll");

    // A file change keeps only the folder of the deleted file, with its trailing separator.
    const TFileChangeWarning change("kernel32.dll", "C:\\Windows\\System32\\kernel32.dll");
    EXPECT_EQ(change.Name, "kernel32.dll");
    EXPECT_EQ(change.FilePath, "C:\\Windows\\System32\\");
    EXPECT_EQ(TFileChangeWarning("a.dll", "C:a.dll").FilePath, "C:");

    const TAutorunAddWarning autorun(kHklm, "run.exe", "Software\\Run", "Runner", "C:\\run.exe");
    EXPECT_EQ(autorun.Name, "run.exe");
    EXPECT_EQ(autorun.Key, "Software\\Run");
    EXPECT_EQ(autorun.Value, "Runner");
    EXPECT_EQ(autorun.RegString, "C:\\run.exe");
    EXPECT_EQ(autorun.RootKey, kHklm);
    EXPECT_FALSE(autorun.KnownProgram);

    // A browser setting is named by its key; RegString stays empty.
    const TBrowserSettingWarning setting(kHkcu, "Software\\IE\\Main", "Start Page", "old", "new");
    EXPECT_EQ(setting.Name, "Software\\IE\\Main");
    EXPECT_EQ(setting.Key, "Software\\IE\\Main");
    EXPECT_EQ(setting.Value, "Start Page");
    EXPECT_EQ(setting.RegString, "");
    EXPECT_EQ(setting.OldRegString, "old");
    EXPECT_EQ(setting.NewRegString, "new");
    EXPECT_EQ(setting.RootKey, kHkcu);

    const TRegistyWarning entry(kHkcu, "Software\\Bad\\", "Software\\Bad\\", "", "");
    EXPECT_EQ(entry.Name, "Software\\Bad\\");
    EXPECT_EQ(entry.Key, "Software\\Bad\\");
    EXPECT_EQ(entry.RootKey, kHkcu);

    const TFolderWarning folder("C:\\Bad\\", "C:\\Bad\\");
    EXPECT_EQ(folder.Name, "C:\\Bad\\");
    EXPECT_EQ(folder.FolderPath, "C:\\Bad\\");
    EXPECT_EQ(TCookieWarning("user@ads[1].txt").Name, "user@ads[1].txt");
    EXPECT_EQ(TKeyHookWarning("hooker.exe").Name, "hooker.exe");
}

TEST(WarningAreEqual, NameOnlyClassesNeedTheSameClassAndName) {
    // Same file name in different folders: a process duplicate, not a file duplicate.
    EXPECT_TRUE(TProcessWarning("a.dll", "C:\\x\\a.dll").AreEqual(TProcessWarning("a.dll", "D:\\y\\a.dll")));
    EXPECT_FALSE(TFileWarning("a.dll", "C:\\x\\a.dll").AreEqual(TFileWarning("a.dll", "D:\\y\\a.dll")));
    EXPECT_TRUE(TFileWarning("a.dll", "C:\\x\\a.dll").AreEqual(TFileWarning("a.dll", "C:\\x\\a.dll")));

    EXPECT_FALSE(TProcessWarning("a.dll", "C:\\a.dll").AreEqual(TProcessWarning("A.dll", "C:\\a.dll")));
    EXPECT_FALSE(TProcessWarning("a.dll", "C:\\a.dll").AreEqual(TFileWarning("a.dll", "C:\\a.dll")));
    EXPECT_TRUE(TCookieWarning("c.txt").AreEqual(TCookieWarning("c.txt")));
    EXPECT_FALSE(TCookieWarning("c.txt").AreEqual(TCookieWarning("C.txt")));
    EXPECT_TRUE(TKeyHookWarning("h.exe").AreEqual(TKeyHookWarning("h.exe")));
    EXPECT_FALSE(TKeyHookWarning("h.exe").AreEqual(TMouseHookWarning("h.exe")));
    EXPECT_FALSE(TMouseHookWarning("h.exe").AreEqual(TKeyHookWarning("h.exe")));
    EXPECT_TRUE(TMouseHookWarning("h.exe").AreEqual(TMouseHookWarning("h.exe")));
    EXPECT_FALSE(TMouseHookWarning("h.exe").AreEqual(TMouseHookWarning("g.exe")));

    EXPECT_TRUE(TFolderWarning("C:\\Bad\\", "C:\\Bad\\").AreEqual(TFolderWarning("C:\\Bad\\", "C:\\Bad\\")));
    EXPECT_FALSE(TFolderWarning("C:\\Bad\\", "C:\\Bad\\").AreEqual(TFolderWarning("C:\\Bad\\", "C:\\bad\\")));
    EXPECT_FALSE(TFolderWarning("C:\\Bad\\", "C:\\Bad\\").AreEqual(TFolderWarning("C:\\Bod\\", "C:\\Bad\\")));
}

TEST(WarningAreEqual, FileAndFileChangeAreAsymmetric) {
    // The queued file warning takes a new file change in the same folder as a duplicate; the
    // queued file change does not take a file warning.
    const TFileWarning file("a.dll", "C:\\Windows\\");
    const TFileChangeWarning change("a.dll", "C:\\Windows\\a.dll");
    ASSERT_EQ(change.FilePath, "C:\\Windows\\");
    EXPECT_TRUE(file.AreEqual(change));
    EXPECT_FALSE(change.AreEqual(file));

    EXPECT_TRUE(change.AreEqual(TFileChangeWarning("a.dll", "C:\\Windows\\other.dll")));
    EXPECT_FALSE(change.AreEqual(TFileChangeWarning("a.dll", "C:\\Windows\\System\\a.dll")));
    EXPECT_FALSE(change.AreEqual(TFileChangeWarning("b.dll", "C:\\Windows\\a.dll")));
}

TEST(WarningAreEqual, AutorunFamilyIsAsymmetric) {
    const TAutorunAddWarning autorun(kHkcu, "K\\", "K\\", "V", "data");
    const TRegistyWarning entry(kHkcu, "K\\", "K\\", "V", "data");

    // A queued autorun warning takes a new registry entry warning with the same fields as a
    // duplicate; a queued registry entry warning does not take an autorun warning.
    EXPECT_TRUE(autorun.AreEqual(entry));
    EXPECT_FALSE(entry.AreEqual(autorun));

    // The same holds for a browser setting (RegString empty on both sides).
    const TAutorunAddWarning autorunOfKey(kHkcu, "Main", "Main", "Start Page", "");
    const TBrowserSettingWarning setting(kHkcu, "Main", "Start Page", "old", "new");
    EXPECT_TRUE(autorunOfKey.AreEqual(setting));
    EXPECT_FALSE(setting.AreEqual(autorunOfKey));
    EXPECT_FALSE(setting.AreEqual(TRegistyWarning(kHkcu, "Main", "Main", "Start Page", "")));
    EXPECT_FALSE(TRegistyWarning(kHkcu, "Main", "Main", "Start Page", "").AreEqual(setting));

    // Each compared field matters for an autorun warning.
    EXPECT_TRUE(autorun.AreEqual(TAutorunAddWarning(kHkcu, "K\\", "K\\", "V", "data")));
    EXPECT_FALSE(autorun.AreEqual(TAutorunAddWarning(kHklm, "K\\", "K\\", "V", "data")));
    EXPECT_FALSE(autorun.AreEqual(TAutorunAddWarning(kHkcu, "X\\", "K\\", "V", "data")));
    EXPECT_FALSE(autorun.AreEqual(TAutorunAddWarning(kHkcu, "K\\", "X\\", "V", "data")));
    EXPECT_FALSE(autorun.AreEqual(TAutorunAddWarning(kHkcu, "K\\", "K\\", "v", "data")));
    EXPECT_FALSE(autorun.AreEqual(TAutorunAddWarning(kHkcu, "K\\", "K\\", "V", "Data")));
    EXPECT_FALSE(autorun.AreEqual(TRegistyWarning(kHkcu, "K\\", "K\\", "V", "other")));
}

TEST(WarningAreEqual, RegistryEntryIgnoresDataAndBrowserSettingComparesBothData) {
    const TRegistyWarning entry(kHkcu, "K\\", "K\\", "V", "data");
    EXPECT_TRUE(entry.AreEqual(TRegistyWarning(kHkcu, "K\\", "K\\", "V", "changed data")));
    EXPECT_FALSE(entry.AreEqual(TRegistyWarning(kHklm, "K\\", "K\\", "V", "data")));
    EXPECT_FALSE(entry.AreEqual(TRegistyWarning(kHkcu, "L\\", "K\\", "V", "data")));
    EXPECT_FALSE(entry.AreEqual(TRegistyWarning(kHkcu, "K\\", "L\\", "V", "data")));
    EXPECT_FALSE(entry.AreEqual(TRegistyWarning(kHkcu, "K\\", "K\\", "", "data")));

    const TBrowserSettingWarning setting(kHkcu, "Main", "Start Page", "old", "new");
    EXPECT_TRUE(setting.AreEqual(TBrowserSettingWarning(kHkcu, "Main", "Start Page", "old", "new")));
    EXPECT_FALSE(setting.AreEqual(TBrowserSettingWarning(kHkcu, "Main", "Start Page", "old", "newer")));
    EXPECT_FALSE(setting.AreEqual(TBrowserSettingWarning(kHkcu, "Main", "Start Page", "older", "new")));
    EXPECT_FALSE(setting.AreEqual(TBrowserSettingWarning(kHkcu, "Main", "Search Page", "old", "new")));
    EXPECT_FALSE(setting.AreEqual(TBrowserSettingWarning(kHklm, "Main", "Start Page", "old", "new")));
}

TEST(RegistryView, A32BitKeyIsNamedByItsWow6432NodePathBelowSoftwareOnly) {
    constexpr auto k32 = RegistryView::Bits32;
    EXPECT_EQ(ViewKeyPath("SOFTWARE\\Vendor\\Bar\\", k32), "SOFTWARE\\WOW6432Node\\Vendor\\Bar\\");
    EXPECT_EQ(ViewKeyPath("Software", k32), "Software\\WOW6432Node");
    // Already named through the redirection key, outside SOFTWARE, or only starting like it.
    for (const char* key : {"SOFTWARE\\wow6432node\\Vendor\\", "SYSTEM\\Vendor\\", "SOFTWARE2\\Vendor\\"})
        EXPECT_EQ(ViewKeyPath(key, k32), key);
    EXPECT_EQ(ViewKeyPath("SOFTWARE\\Vendor\\", RegistryView::Bits64), "SOFTWARE\\Vendor\\");
    // Records without a view, and any odd text, are of the 64-bit view.
    EXPECT_EQ(RegistryViewFromNumber(RegistryViewNumber(k32)), k32);
    for (const char* text : {"", "64", "32 "}) EXPECT_EQ(RegistryViewFromNumber(text), RegistryView::Bits64) << text;
    // The same entry in the other view is another finding, not a duplicate.
    EXPECT_FALSE(TRegistyWarning(kHklm, "K\\", "K\\", "V", "d").AreEqual(TRegistyWarning(kHklm, "K\\", "K\\", "V", "d", k32)));
}

TEST(WarningKinds, ListsTheKindsInOrderAndFindsThemByExactName) {
    const char* const expected[] = {"TKeyHookWarning",    "TMouseHookWarning",      "TProcessWarning",
                                    "TFileWarning",       "TFileChangeWarning",     "TAutorunAddWarning",
                                    "TBrowserSettingWarning", "TRegistyWarning",    "TCookieWarning",
                                    "TFolderWarning",     "AutostartPointWarning",
                                    "StartupFileWarning", "ScheduledTaskWarning", "BrowserExtensionWarning",
                                    "CookieStoreWarning", "BrowserPreferenceWarning", "ServiceWarning",
                                    "BrowserShortcutWarning",
                                    "WatchedFileWarning", "WmiSubscriptionWarning", "BitsJobWarning"};
    const auto kinds = ShieldWarningKinds();
    ASSERT_EQ(kinds.size(), std::size(expected));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(kinds[i].name, expected[i]);
        EXPECT_EQ(FindWarningKind(kinds, expected[i]), &kinds[i]);
    }

    // Each class is of the row its backup records name.
    EXPECT_EQ(&TRegistyWarning(kHkcu, "K", "K", "", "").Kind(), &kinds[7]);
    EXPECT_EQ(&TFileChangeWarning("a", "C:\\a").Kind(), &kinds[4]);
    EXPECT_EQ(&TBrowserSettingWarning(kHkcu, "K", "V", "", "").Kind(), &kinds[6]);
    EXPECT_EQ(&TMouseHookWarning().Kind(), &kinds[1]);
    EXPECT_EQ(TFolderWarning("a", "b").ClassName(), "TFolderWarning");

    for (const char* other : {"TRegistryWarning", "tregistywarning", "TFILEWARNING", "TFileWarning ", "", "TWarning"})
        EXPECT_EQ(FindWarningKind(kinds, other), nullptr) << other;
    EXPECT_THROW(ShieldWarningKind("TWarning"), std::logic_error);
}

TEST(WarningKinds, HookKindsHaveNoUndoNorBackupLine) {
    for (const char* name : {"TKeyHookWarning", "TMouseHookWarning"}) EXPECT_FALSE(ShieldWarningKind(name).hasUndo);
    for (const char* name : {"TProcessWarning", "TFileWarning", "TFileChangeWarning", "TAutorunAddWarning",
                             "TBrowserSettingWarning", "TRegistyWarning", "TCookieWarning", "TFolderWarning"}) {
        EXPECT_TRUE(ShieldWarningKind(name).hasUndo) << name;
    }
    TKeyHookWarning hook("h.exe");
    hook.MakeTexts();
    EXPECT_EQ(hook.GetBackupStr(), "");
}

TEST(RootKeys, NamesThePredefinedRootsOnly) {
    EXPECT_EQ(RootKeyName(RegistryRoot::ClassesRoot), "HKEY_CLASSES_ROOT");
    EXPECT_EQ(RootKeyName(RegistryRoot::CurrentUser), "HKEY_CURRENT_USER");
    EXPECT_EQ(RootKeyName(RegistryRoot::LocalMachine), "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(RootKeyName(RegistryRoot::Users), "HKEY_USERS");
    EXPECT_EQ(RootKeyName(RegistryRoot::PerformanceData), "HKEY_PERFORMANCE_DATA");
    EXPECT_EQ(RootKeyName(RegistryRoot::CurrentConfig), "HKEY_CURRENT_CONFIG");
    EXPECT_EQ(RootKeyName(RegistryRoot::DynData), "HKEY_DYN_DATA");
    EXPECT_EQ(RootKeyName(static_cast<RegistryRoot>(0x80000002u)), "HKEY_LOCAL_MACHINE");
    for (std::uint32_t other : {0u, 2u, 0x7FFFFFFFu, 0x80000007u, 0x80000050u, 0xFFFFFFFFu}) {
        EXPECT_EQ(RootKeyName(static_cast<RegistryRoot>(other)), "") << other;
    }
}

}  // namespace
}  // namespace sentrel
