// The texts of the ten warning kinds, made once from each warning's data.
#include <gtest/gtest.h>

#include <string>

#include "warnings/ServiceWarning.h"
#include "warnings/StartupWarnings.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

constexpr auto kHkcu = RegistryRoot::CurrentUser;
constexpr auto kHklm = RegistryRoot::LocalMachine;

// What the alert shows of a warning, and its backup line.
struct Texts {
    std::string title, description, picture, danger, backup;
    friend bool operator==(const Texts&, const Texts&) = default;
};

void PrintTo(const Texts& t, std::ostream* out) {
    *out << "{" << t.title << " | " << t.description << " | " << t.picture << " | " << t.danger << " | "
         << t.backup << "}";
}

Texts Shown(TWarning& warning) {
    warning.MakeTexts();
    return {warning.GetTitle(), warning.GetDescription(), warning.GetPicture(), warning.GetDanger(),
            warning.GetBackupStr()};
}

TEST(WarningTexts, EachClassShowsItsOwnTexts) {
    TKeyHookWarning key("hooker.exe");
    EXPECT_EQ(Shown(key),
              (Texts{"Keyboard hook",
                     "Keyboard hook is found! Hook was created by hooker.exe Click Shield Me to block this hook and "
                     "close this program",
                     "bug", "_red", ""}));
    TMouseHookWarning mouse("mouser.exe");
    EXPECT_EQ(Shown(mouse),
              (Texts{"Mouse hook",
                     "Mouse hook is found! Hook was created by mouser.exe. Click Shield Me to block this hook and "
                     "close this program",
                     "bug", "_red", ""}));

    TProcessWarning process("evil.dll", "C:\\app\\evil.dll");
    EXPECT_EQ(Shown(process), (Texts{"Known malicious program", "Malicious program is found in processes: evil.dll",
                                     "bug", "_red", "Program evil.dll was deleted from processes"}));
    TFileWarning file("drop.exe", "C:\\Windows\\drop.exe");
    EXPECT_EQ(Shown(file), (Texts{"Known malicious program", "Malicious file is found in system folder: drop.exe.",
                                  "bug", "_red", "Program drop.exe was deleted from system folder"}));
    // A file change's fix makes no record; its line would be a file's.
    TFileChangeWarning change("kernel.dll", "C:\\Windows\\System32\\kernel.dll");
    EXPECT_EQ(Shown(change),
              (Texts{"Critical change in the system folder",
                     "File kernel.dll was deleted from the system folder by unknown program. This file can be "
                     "system-critical. To restore it from Windows distribution click Shield Me. Warning! This will "
                     "start Windows Integrity Check process.",
                     "what", "", "Program kernel.dll was deleted from system folder"}));

    TBrowserSettingWarning setting(kHkcu, "Software\\IE\\Main", "Start Page", "http://old/", "http://new/");
    EXPECT_EQ(Shown(setting),
              (Texts{"System parameter is changed",
                     "Important system parameter was changed: Start Page to http://new/. There was an attempt to "
                     "change Start Page . Click Shield me to deny this change or Ignore to permit it.",
                     "garbage", "", "Important system parameter was changed: Start Page to http://new/"}));

    // A value, and a whole key (no value): the root's name, the key path and the value run on.
    TRegistyWarning value(kHklm, "Software\\Bad\\", "Software\\Bad\\", "Loader", "C:\\bad.exe");
    EXPECT_EQ(Shown(value), (Texts{"Dangerous registry entry was found",
                                   "Malicious registry entry HKEY_LOCAL_MACHINE\\Software\\Bad\\Loader", "bug", "_red",
                                   "Registry entry HKEY_LOCAL_MACHINE\\Software\\Bad\\Loader was deleted"}));
    TRegistyWarning key2(kHkcu, "Software\\Bad\\", "Software\\Bad\\", "", "");
    EXPECT_EQ(Shown(key2).backup, "Registry entry HKEY_CURRENT_USER\\Software\\Bad\\ was deleted");
    TRegistyWarning unnamedRoot(static_cast<RegistryRoot>(7), "K\\", "K\\", "V", "");
    EXPECT_EQ(Shown(unnamedRoot).backup, "Registry entry \\K\\V was deleted");

    TCookieWarning cookie("user@ads[1].txt");
    EXPECT_EQ(Shown(cookie), (Texts{"Tracking cookie was found!", "Tracking cookie user@ads[1].txt is recognised",
                                    "bug", "", "Restore tracking cookie user@ads[1].txt"}));
    TFolderWarning folder("C:\\Bad\\", "C:\\Program Files\\Bad\\");
    EXPECT_EQ(Shown(folder), (Texts{"Malicious folder is found!",
                                    "Folder of malicious software C:\\Program Files\\Bad\\ was recognised", "bug",
                                    "_red", "Folder of malicious software C:\\Program Files\\Bad\\ was deleted"}));
}

TEST(WarningTexts, AreMadeOnceFromTheDataAndEmptyBefore) {
    TProcessWarning process("a.dll", "C:\\a.dll");
    EXPECT_FALSE(process.HasTexts());
    EXPECT_EQ(process.GetTitle(), "");
    EXPECT_EQ(process.GetBackupStr(), "");
    process.MakeTexts();
    EXPECT_TRUE(process.HasTexts());
    // What was made stays as it was made.
    process.Name = "b.dll";
    EXPECT_EQ(process.GetDescription(), "Malicious program is found in processes: a.dll");
    EXPECT_EQ(process.Kind().texts(process).description, "Malicious program is found in processes: b.dll");
}

TEST(WarningTexts, ShowNamesFromOutsideSafeWhileTheWarningKeepsThemAsFound) {
    StartupFileWarning startup("point", "your Startup folder", "C:\\S\\a\u202Etxt.exe\r\nOK", "C:\\x.exe");
    startup.MakeTexts();
    EXPECT_EQ(startup.GetBackupStr(), "File a\uFFFDtxt.exe OK was moved out of your Startup folder");
    EXPECT_EQ(startup.Texts().identity, "C:\\S\\a\uFFFDtxt.exe OK");
    EXPECT_EQ(startup.Name, "a\u202Etxt.exe\r\nOK");  // what lists and duplicates compare
}

TEST(WarningTexts, AnAutorunValueIsAChangeUnlessItsProgramIsKnown) {
    TAutorunAddWarning unknown(kHkcu, "tool.exe", "Software\\Run", "Tool", "C:\\Tools\\tool.exe");
    EXPECT_EQ(Shown(unknown), (Texts{"Change in autorun list",
                                     "Unidentified program tool.exe was added to the autorun list", "what", "",
                                     "Program tool.exe was deleted from the autorun list"}));
    EXPECT_EQ(unknown.Texts().identity, "HKEY_CURRENT_USER\\Software\\Run\\Tool");
    TAutorunAddWarning known(kHkcu, "spy.exe", "Software\\Run", "Spy", "C:\\spy.exe");
    known.KnownProgram = true;
    EXPECT_EQ(Shown(known), (Texts{"Known malicious program", "Malicious program is found in autorun: spy.exe.",
                                   "bug", "_red", "Program spy.exe was deleted from the autorun list"}));
}

// A service: its display name only where it says more than its name, a shared host's library,
// when it starts in plain words, and the known-threat variant.
TEST(WarningTexts, AServiceIsNamedWithItsCommandAndWhenItStarts) {
    ServiceWarning plain("services", "Updater", "Fast Updater", "C:\\u\\up.exe -s", "", 2);
    EXPECT_EQ(Shown(plain),
              (Texts{"New service",
                     "A service was added to the system: Updater (Fast Updater), which runs C:\\u\\up.exe -s. It "
                     "starts every time Windows starts. Click Shield me to remove it or Ignore to permit it.",
                     "what", "", "Service Updater was removed"}));
    ServiceWarning hosted("services", "Helper", "Helper", "svchost.exe -k netsvcs", "C:\\h\\helper.dll", 3);
    EXPECT_EQ(Shown(hosted).description,
              "A service was added to the system: Helper, which runs svchost.exe -k netsvcs with C:\\h\\helper.dll. It "
              "starts when a program asks for it. Click Shield me to remove it or Ignore to permit it.");
    ServiceWarning known("services", "Bad", "", "C:\\bad.exe", "", 4);
    known.KnownProgram = true;
    EXPECT_EQ(Shown(known),
              (Texts{"Known malicious program",
                     "Malicious program is installed as the service Bad, which runs C:\\bad.exe. It is disabled for "
                     "now.",
                     "bug", "_red", "Service Bad was removed"}));
}

// A changed service, task or shortcut says what it ran before and what it runs now; where only
// an administrator may put it back, what to set back.
TEST(WarningTexts, AChangeSaysWhatRanBeforeAndWhatRunsNow) {
    ServiceWarning service("services", "Helper", "Helper", "svchost.exe -k n", "C:\\x\\evil.dll", 2);
    service.Changed = true;
    service.OldCommand = "svchost.exe -k n";
    service.OldServiceDll = "C:\\h\\helper.dll";
    EXPECT_EQ(Shown(service),
              (Texts{"Service is changed",
                     "The service Helper was changed: it started \"svchost.exe -k n\" with \"C:\\h\\helper.dll\" "
                     "before and starts \"svchost.exe -k n\" with \"C:\\x\\evil.dll\" now. It starts every time "
                     "Windows starts. Click Shield me to put its old command back or Ignore to permit it.",
                     "garbage", "", "Service Helper was put back to \"svchost.exe -k n\" with \"C:\\h\\helper.dll\""}));
    EXPECT_EQ(ServiceSetBackAdvice(service),
              "As an administrator, set the value ImagePath of "
              "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Helper back to \"svchost.exe -k n\", and "
              "the value ServiceDll of its Parameters key back to \"C:\\h\\helper.dll\".");

    ScheduledTaskWarning task("tasks \\", "\\Updater", "C:\\evil.exe");
    task.Changed = true;
    task.OldCommand = "C:\\u\\up.exe /s";
    task.OldRaw = TaskActionsRaw({{"C:\\u\\up.exe", "/s", "C:\\u"}});
    EXPECT_EQ(Shown(task), (Texts{"Scheduled task is changed",
                                  "The scheduled task \\Updater was changed: it ran \"C:\\u\\up.exe /s\" before and "
                                  "runs \"C:\\evil.exe\" now. Click Shield me to put its old action back or Ignore to "
                                  "permit it.",
                                  "garbage", "", "Scheduled task \\Updater was put back to \"C:\\u\\up.exe /s\""}));
    EXPECT_EQ(TaskSetBackAdvice(task),
              "As an administrator, open the scheduled task \\Updater in the Task Scheduler and set its actions back "
              "to: the program \"C:\\u\\up.exe\" with the arguments \"/s\", started in \"C:\\u\".");

    StartupFileWarning shortcut("files Startup", "your Startup folder", "C:\\S\\Tool.lnk", "C:\\evil.exe");
    shortcut.Changed = true;
    shortcut.KnownProgram = true;
    shortcut.OldCommand = "C:\\t\\tool.exe -m";
    shortcut.OldRaw = ShortcutRaw({"C:\\t\\tool.exe", "-m"});
    EXPECT_EQ(Shown(shortcut),
              (Texts{"Known malicious program",
                     "Malicious program is found in your Startup folder: C:\\evil.exe (the file Tool.lnk in "
                     "C:\\S); the shortcut started \"C:\\t\\tool.exe -m\" before.",
                     "bug", "_red", "Shortcut Tool.lnk was put back to \"C:\\t\\tool.exe -m\""}));
    EXPECT_EQ(ShortcutSetBackAdvice(shortcut), "As an administrator, open the shortcut C:\\S\\Tool.lnk and set its "
                                               "target back to \"C:\\t\\tool.exe\" and its arguments to \"-m\".");
}

}  // namespace
}  // namespace sentrel
