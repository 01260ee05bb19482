// The autostart points, end to end at High (the autorun list's Run key among them): what is there
// at the first start is taken as it is;
// what is planted while the shield is not running is reported at the next start, once each,
// removed or put back by "Shield me" with a backup record, and restored exactly by Undo from the
// restore page without being reported again. The points are the program's own: the program
// folders here have no autostart_points.ini, or one that only adds to them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <string>
#include <vector>

#include "common/Files.h"
#include "common/Utf8Text.h"
#include "e2e/AlertDriving.h"
#include "platform/KnownFolders.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/StartupFolders.h"
#include "platform/WideText.h"
#include "support/Shortcut.h"
#include "warnings/Backuper.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kPolicyRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kDebuggers = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
constexpr const char* kTarget = "e2e-target.exe";
constexpr const char* kCommandProcessor = "Software\\Microsoft\\Command Processor";
constexpr const char* kPolicyCommand = "\"C:\\e2e tools\\policy tool.exe\" /run";
constexpr const char* kDebugger = "C:\\e2e\\debugger.exe";
constexpr const char* kAutoRunBefore = "echo before";
constexpr const char* kAutoRunAfter = "C:\\e2e\\autorun.cmd";
// Places a program of the user's plants itself in beyond the Run keys.
constexpr const char* kSettingsCommand = "Software\\Classes\\ms-settings\\shell\\open\\command";
constexpr const char* kElevated = "C:\\e2e\\elevate.exe";
constexpr const char* kScriptClass = "Software\\Classes\\.hta";
constexpr const char* kBackgroundVerb = "Software\\Classes\\Directory\\Background\\shell\\E2E Verb";
constexpr const char* kVerbCommand = "C:\\e2e\\verb.exe \"%V\"";
constexpr const char* kChromeExtension = "Software\\Google\\Chrome\\Extensions\\aaaabbbbccccddddeeeeffffgggghhhh";
constexpr const char* kUpdateUrl = "https://e2e.example/update.xml";
constexpr const char* kExcelOptions = "Software\\Microsoft\\Office\\16.0\\Excel\\Options";
constexpr const char* kAddIn = "/R \"C:\\e2e\\addin.xll\"";
constexpr const char* kProgId = "Software\\Classes\\Scripting.FileSystemObject";  // a system ProgID, replaced
constexpr const char* kOwnClass = "{E2E00000-0000-0000-0000-000000000001}";
constexpr const char* kTreatAs = "Software\\Classes\\CLSID\\{E2E00000-0000-0000-0000-000000000001}";
constexpr const char* kEdge = "C:\\e2e\\msedge.exe";
constexpr const char* kChrome = "C:\\e2e\\chrome.exe";
constexpr const char* kChromeArguments = "--load-extension=C:\\e2e\\ext https://e2e.example/";

constexpr const char* kTaskName = "E2E Planted Task";

// The task store's file of a task of the root folder.
std::string StoredTask(const char* name) {
    return platform::WindowsFolder() + "\\System32\\Tasks\\" + name;
}

// Registers a task at every logon as a program of the user's does: schtasks with a definition.
void PlantTask(const char* name, const std::string& program) {
    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
                            "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
                            "<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
                            "<Actions Context=\"Author\"><Exec><Command>" + program + "</Command></Exec></Actions></Task>";
    char temporary[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temporary);
    const std::string file = std::string(temporary) + "e2e-task.xml";
    WriteFileAtomically(file, std::string(kUtf16LeByteOrderMark) + Utf16LeFromUtf8(xml));
    std::wstring command = platform::WideFromUtf8("schtasks.exe /create /tn \"" + std::string(name) + "\" /xml \"" + file + "\"");
    STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u) << "schtasks could not register the task";
}

// The browser shortcuts of the Start menu the walk plants.
std::string StartMenuShortcut(const char* name) {
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_StartMenu, KF_FLAG_DONT_VERIFY, nullptr, &path)))
        folder = platform::Utf8FromWide(path);
    CoTaskMemFree(path);
    return folder + "\\Programs\\" + name;
}

std::string Baseline() {
    return AutostartBaselinePath();
}

// The files programs start from that the walk plants: a PowerShell profile, a file in Excel's
// startup folder, Word's template (there from the start, changed) and a program of the logon
// screen (Wine has none of them, so it is a new one).
struct PlantedFiles {
    std::string profile = *platform::KnownFolderPath(platform::KnownFolder::Documents) + "\\WindowsPowerShell\\profile.ps1";
    std::string xlstart = *platform::KnownFolderPath(platform::KnownFolder::AppData) + "\\Microsoft\\Excel\\XLSTART";
    std::string macros = xlstart + "\\e2e-macros.xlam";
    std::string normal = *platform::KnownFolderPath(platform::KnownFolder::AppData) + "\\Microsoft\\Templates\\Normal.dotm";
    std::string sethc = *platform::KnownFolderPath(platform::KnownFolder::System) + "\\sethc.exe";
};
constexpr const char* kProfile = "Write-Host 'hello'\r\n\r\n\tStart-Process \"C:\\e2e\\ps agent.exe\"\x07\r\n";
// Templates are zip files, which hold NUL bytes: no text to show.
const std::string kNormalBefore("PK\x03\x04\0\0 the template as it was", 29);
const std::string kNormalAfter("PK\x03\x04\0\0 the template with a macro", 32);

void WriteFile(const std::string& path, const std::string& text) {
    CreateFolders(FolderPart(path));
    WriteFileAtomically(path, text);
}

std::optional<std::string> ReadString(HKEY root, const std::string& key, const std::string& name) {
    const auto opened = platform::RegistryKey::Open(root, key);
    return opened ? opened->ReadString(name) : std::nullopt;
}

void CleanUp() {
    if (auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kPolicyRun, platform::RegistryAccess::ReadWrite)) {
        key->DeleteValue("E2E Present");
        key->DeleteValue("E2E Policy");
    }
    if (auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kRun, platform::RegistryAccess::ReadWrite)) {
        key->DeleteValue("E2E Run");
        key->DeleteValue("E2E Run Present");
    }
    platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, std::string(kDebuggers) + "\\" + kTarget);
    if (auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kCommandProcessor, platform::RegistryAccess::ReadWrite))
        key->DeleteValue("AutoRun");
    for (const char* key : {"Software\\Classes\\ms-settings", kScriptClass, kBackgroundVerb, kChromeExtension, kExcelOptions,
                            kProgId, kTreatAs})
        platform::DeleteKeyTree(HKEY_CURRENT_USER, key);
    for (const char* name : {"E2E Edge.lnk", "E2E Chrome.lnk"}) DeleteFileA(StartMenuShortcut(name).c_str());
    DeleteFileA(StoredTask(kTaskName).c_str());
    const PlantedFiles files;
    for (const std::string& path : {files.profile, files.macros, files.normal, files.sethc}) RemoveFile(path);
    DeleteFileA(Baseline().c_str());
}

TEST(AutostartPoints, ReportsWhatWasPlantedWhileStoppedFixesAndUndoesIt) {
    CleanUp();
    ShieldFolder folder(SecurityLevel::High);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kPolicyRun).WriteString("E2E Present", "C:\\e2e\\present.exe");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kCommandProcessor).WriteString("AutoRun", kAutoRunBefore);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kRun).WriteString("E2E Run Present", "C:\\e2e\\present.exe");
    test::SaveShortcut(StartMenuShortcut("E2E Edge.lnk"), kEdge, "--profile-directory=Default");
    const PlantedFiles files;
    ASSERT_FALSE(FileExists(files.sethc)) << "this walk expects a system without " << files.sethc;
    WriteFile(files.normal, kNormalBefore);

    // The first start: what is there is the baseline, nothing is reported.
    {
        ShieldProcess shield(folder);
        ASSERT_TRUE(shield.WaitUntilStarted());
        // The shortcuts are read off the window thread, after the first pass.
        ASSERT_TRUE(Eventually([] {
            try {
                const std::string baseline = ReadTextFile(Baseline());
                return baseline.find("E2E Edge.lnk") != std::string::npos &&
                       baseline.find("point\ttasks \\\\\n") != std::string::npos;
            } catch (const std::exception&) {
                return false;
            }
        })) << "the first passes wrote no baseline with the Start menu's shortcuts and the scheduled tasks";
        if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "alert at the first start: " << AllTexts(alert);
        Stop(shield);
    }

    // Planted while the shield is not running.
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kPolicyRun).WriteString("E2E Policy", kPolicyCommand);
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, std::string(kDebuggers) + "\\" + kTarget)
        .WriteString("Debugger", kDebugger);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kCommandProcessor).WriteString("AutoRun", kAutoRunAfter);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kRun).WriteString("E2E Run", "C:\\e2e\\run tool.exe");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kRun).WriteString("E2E Run Present", "C:\\e2e\\swapped.exe");
    platform::RegistryKey settings = platform::RegistryKey::Create(HKEY_CURRENT_USER, kSettingsCommand);
    settings.WriteString("", kElevated);
    settings.WriteString("DelegateExecute", "");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kScriptClass).WriteString("", "E2E.Script");
    platform::RegistryKey::Create(HKEY_CURRENT_USER, std::string(kBackgroundVerb) + "\\command").WriteString("", kVerbCommand);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kChromeExtension).WriteString("update_url", kUpdateUrl);
    platform::RegistryKey excel = platform::RegistryKey::Create(HKEY_CURRENT_USER, kExcelOptions);
    excel.WriteString("OPEN", kAddIn);
    excel.WriteString("Zoom", "120");  // an option like any other: no finding
    platform::RewriteShortcut(StartMenuShortcut("E2E Edge.lnk"), kEdge, "--profile-directory=Default --remote-debugging-port=9222");
    test::SaveShortcut(StartMenuShortcut("E2E Chrome.lnk"), kChrome, kChromeArguments);
    ASSERT_NO_FATAL_FAILURE(PlantTask(kTaskName, "C:\\e2e\\task.exe"));
    platform::RegistryKey::Create(HKEY_CURRENT_USER, std::string(kProgId) + "\\CLSID").WriteString("", kOwnClass);
    platform::RegistryKey::Create(HKEY_CURRENT_USER, std::string(kTreatAs) + "\\TreatAs").WriteString("", "{E2E00000-0000-0000-0000-000000000002}");
    WriteFile(files.profile, kProfile);
    WriteFile(files.macros, "macros");
    WriteFile(files.normal, kNormalAfter);
    WriteFile(files.sethc, "MZ another program");

    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const std::vector<std::string> expected = {
        "Unidentified program policy tool.exe was added to the Run list of the Explorer policies: " +
            std::string(kPolicyCommand),
        "A new entry e2e-target.exe was added to the debuggers attached to programs (Image File Execution Options): "
        "Debugger=" + std::string(kDebugger) + ". Click Shield me to remove it or Ignore to permit it.",
        "Important startup setting was changed: the command processor's AutoRun command from \"echo before\" to \"" +
            std::string(kAutoRunAfter) + "\". Click Shield me to deny this change or Ignore to permit it.",
        "Unidentified program run tool.exe was added to the autorun list",
        "Important startup setting was changed: the Run list from \"C:\\e2e\\present.exe\" to "
        "\"C:\\e2e\\swapped.exe\". Click Shield me to deny this change or Ignore to permit it.",
        "Unidentified program elevate.exe was added to the command that opens the Settings app: " + std::string(kElevated),
        "A new setting DelegateExecute was added to the handler that opens the Settings app. Click Shield me to remove "
        "it or Ignore to permit it.",
        "A new setting was added to the class of your .hta files: E2E.Script. Click Shield me to remove it "
        "or Ignore to permit it.",
        "A new entry E2E Verb was added to the commands of the desktop and folder backgrounds: command=" +
            std::string(kVerbCommand) + ". Click Shield me to remove it or Ignore to permit it.",
        "A new entry aaaabbbbccccddddeeeeffffgggghhhh was added to the extensions installed into Chrome by other "
        "programs: update_url=" + std::string(kUpdateUrl) + ". Click Shield me to remove it or Ignore to permit it.",
        "A new setting OPEN was added to the add-ins Excel opens at its start: " + std::string(kAddIn) +
            ". Click Shield me to remove it or Ignore to permit it.",
        "The shortcut E2E Edge.lnk in your Start menu starts the browser so that it opens itself to remote control by "
        "other programs: \"C:\\e2e\\msedge.exe --profile-directory=Default --remote-debugging-port=9222\" (it started "
        "\"C:\\e2e\\msedge.exe --profile-directory=Default\" before). Click Shield me to take this away from the "
        "shortcut or Ignore to permit it.",
        "A new shortcut E2E Chrome.lnk in your Start menu starts the browser so that it loads an extension from a "
        "folder and opens a web page: \"C:\\e2e\\chrome.exe " + std::string(kChromeArguments) +
            "\". Click Shield me to take this away from the shortcut or Ignore to permit it.",
        // Wine keeps no actions in a task's definition: the task is named alone.
        "A scheduled task was added: \\" + std::string(kTaskName) + ". Click Shield me to remove it or Ignore to permit it.",
        "A new entry Scripting.FileSystemObject was added to the program names of your account that replace the "
        "system's: CLSID=" + std::string(kOwnClass) + ". Click Shield me to remove it or Ignore to permit it.",
        "A new entry " + std::string(kOwnClass) + " was added to the program classes of your account redirected to "
        "another class (TreatAs): TreatAs={E2E00000-0000-0000-0000-000000000002}. Click Shield me to remove it or "
        "Ignore to permit it.",
        "A file was added as your PowerShell profile. It begins:\r\nWrite-Host 'hello'\r\n Start-Process \"C:\\e2e\\ps "
        "agent.exe\"\r\nThe file is " + files.profile + ". Click Shield me to remove it or Ignore to permit it.",
        "A program was added to Excel's startup folder: " + files.macros + " (the file e2e-macros.xlam in " +
            files.xlstart + "). Click Shield me to remove it or Ignore to permit it.",
        "The file of Word's template of every new document was changed: " + files.normal +
            ". Click Shield me to put its earlier content back or Ignore to permit it.",
        "A program was added as the Sticky Keys program of the logon screen: " + files.sethc +
            ". The logon screen starts it for anyone, before anyone logs on. Click Shield me to remove it or Ignore "
            "to permit it.",
    };
    ASSERT_NO_FATAL_FAILURE(ShieldEach(shield, expected, "PowerShell profile", "alert-powershell-profile.bmp"));
    TBackuper backuper(folder.Path());
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 20; })) << backuper.GetCount() << " records";
    EXPECT_FALSE(FileExists(files.profile));
    EXPECT_FALSE(FileExists(files.macros));
    EXPECT_EQ(ReadFileText(files.normal), kNormalBefore);
    EXPECT_FALSE(FileExists(files.sethc));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kPolicyRun, "E2E Policy"));
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, std::string(kDebuggers) + "\\" + kTarget));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kCommandProcessor, "AutoRun"), kAutoRunBefore);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kPolicyRun, "E2E Present"), "C:\\e2e\\present.exe");
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kRun, "E2E Run"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRun, "E2E Run Present"), "C:\\e2e\\present.exe");
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsCommand, ""));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kSettingsCommand, "DelegateExecute"));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kScriptClass, ""));
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kBackgroundVerb));
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kChromeExtension));
    EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kExcelOptions, "OPEN"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kExcelOptions, "Zoom"), "120");
    EXPECT_EQ(platform::ReadShortcut(StartMenuShortcut("E2E Edge.lnk")).arguments, "--profile-directory=Default");
    EXPECT_EQ(platform::ReadShortcut(StartMenuShortcut("E2E Chrome.lnk")).arguments, "");
    EXPECT_EQ(platform::ReadShortcut(StartMenuShortcut("E2E Chrome.lnk")).target, kChrome);
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kProgId));
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kTreatAs));
    EXPECT_FALSE(FileExists(StoredTask(kTaskName)));
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "one alert too many: " << AllTexts(alert);

    // Undo of every change from the restore page: everything back exactly, and not reported again.
    const unsigned long long before = SetLastWriteTimeBack(Baseline());
    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 20));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << backuper.GetCount() << " records left";
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kPolicyRun, "E2E Policy"), kPolicyCommand);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, std::string(kDebuggers) + "\\" + kTarget, "Debugger"), kDebugger);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kCommandProcessor, "AutoRun"), kAutoRunAfter);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRun, "E2E Run"), "C:\\e2e\\run tool.exe");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRun, "E2E Run Present"), "C:\\e2e\\swapped.exe");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsCommand, ""), kElevated);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kSettingsCommand, "DelegateExecute"), "");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kScriptClass, ""), "E2E.Script");
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, std::string(kBackgroundVerb) + "\\command", ""), kVerbCommand);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kChromeExtension, "update_url"), kUpdateUrl);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kExcelOptions, "OPEN"), kAddIn);
    EXPECT_EQ(platform::ReadShortcut(StartMenuShortcut("E2E Edge.lnk")).arguments,
              "--profile-directory=Default --remote-debugging-port=9222");
    EXPECT_EQ(platform::ReadShortcut(StartMenuShortcut("E2E Chrome.lnk")).arguments, kChromeArguments);
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, std::string(kProgId) + "\\CLSID", ""), kOwnClass);
    EXPECT_TRUE(platform::RegistryKey::Open(HKEY_CURRENT_USER, std::string(kTreatAs) + "\\TreatAs"));
    EXPECT_TRUE(FileExists(StoredTask(kTaskName)));
    EXPECT_EQ(ReadFileText(files.profile), kProfile);
    EXPECT_EQ(ReadFileText(files.macros), "macros");
    EXPECT_EQ(ReadFileText(files.normal), kNormalAfter);
    EXPECT_EQ(ReadFileText(files.sethc), "MZ another program");
    // The pass after the undo learns the restored state (the baseline is rewritten) and asks nothing.
    EXPECT_TRUE(Eventually([&] { return LastWriteTime(Baseline()) != before; }));
    if (const HWND alert = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(alert);
    Stop(shield);
    CleanUp();
}

// A program planted in the user's Startup folder while the shield runs: the alert names the folder
// and the command, Shield me moves the file into a backup record, Undo puts it back unreported.
// Then a shortcut there gets another target: the alert says what it started before and now,
// Shield me writes the old target back, Undo puts the changed shortcut back byte for byte.
// The program folder's autostart_points.ini repeats a built-in row and has one it cannot read,
// which the user is told of at the start.
TEST(AutostartPoints, ReportsAFilePlantedInTheStartupFolderFixesAndUndoesIt) {
    std::string startup;
    for (const platform::StartupFolder& found : platform::StartupFolders())
        if (!found.common) startup = found.path;
    ASSERT_FALSE(startup.empty());
    const std::string name = "E2E starter.exe";  // ASCII: this program reads the alert in its ANSI code page
    const std::wstring planted = platform::WideFromUtf8(startup + "\\" + name);
    DeleteFileW(planted.c_str());
    DeleteFileA(Baseline().c_str());
    // A shortcut there from before the first start.
    const std::string linkName = "E2E tool.lnk";
    const std::string link = startup + "\\" + linkName;
    const std::string oldCommand = "\"C:\\e2e tools\\tool.exe\" -tray";
    test::SaveShortcut(link, "C:\\e2e tools\\tool.exe", "-tray");
    ShieldFolder folder(SecurityLevel::High);
    WriteFileAtomically(folder / "autostart_points.ini", "; added rows\r\nfiles | Startup | | your Startup folder\r\n"
                                                         "value | HKCR\\exefile | @ | the exe files\r\n");
    // Whether the baseline lists the file; false while it cannot be read.
    const auto known = [&](bool listed) {
        try {
            return (ReadTextFile(Baseline()).find(name) != std::string::npos) == listed;
        } catch (const std::exception&) {
            return false;
        }
    };
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND box = shield.WaitForMessageBox();
    ASSERT_NE(box, nullptr) << "the unreadable row was not told";
    EXPECT_NE(MessageBoxText(box).find("autostart_points.ini line 3 skipped: its key does not begin with HKCU\\ or HKLM\\"),
              std::string::npos)
        << MessageBoxText(box);
    PressOk(box);
    ASSERT_TRUE(Eventually([&] { return known(false); })) << "the first pass wrote no baseline";

    CloseHandle(CreateFileW(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const HWND alert = WaitForAlert(shield, 30s);
    ASSERT_NE(alert, nullptr) << "no alert for the planted file";
    const std::string expected = "A program was added to your Startup folder: \"" + startup + "\\" + name +
                                 "\" (the file " + name + " in " + startup +
                                 "). Click Shield me to remove it or Ignore to permit it.";
    ASSERT_NE(AllTexts(alert).find(expected), std::string::npos) << AllTexts(alert);
    EXPECT_TRUE(Contains(ChildTexts(alert), "Program not signed")) << AllTexts(alert);
    SaveWindowPicture(alert, ScreenshotPath("alert-program-not-signed.bmp"));
    ASSERT_NO_FATAL_FAILURE(Click(alert, "shield"));
    TBackuper backuper(folder.Path());
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 1; }));
    EXPECT_EQ(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(FileExists(backuper.RecordFolder(backuper.GetSectionName(0)) + name));
    EXPECT_TRUE(Eventually([&] { return known(false); }));  // the pass after the fix took the removal

    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 1));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; }));
    EXPECT_NE(GetFileAttributesW(planted.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(Eventually([&] { return known(true); })) << "the pass after the undo did not learn it";
    if (const HWND again = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);
    const HWND dialog = shield.WaitForWindow("TOptionsForm");
    Press(dialog, "&Cancel");
    ASSERT_TRUE(WaitForVisibility(dialog, false));

    // The shortcut is made to start another program.
    ASSERT_EQ(BaselineData("files Startup", link), oldCommand);
    platform::RewriteShortcut(link, "C:\\e2e\\other.exe", "-quiet");
    const std::string changed = ReadTextFile(link);
    const HWND changedAlert = WaitForAlert(shield, 30s);
    ASSERT_NE(changedAlert, nullptr) << "no alert for the changed shortcut; " << WhatTheShieldSays(shield);
    const std::string changedText = "The shortcut " + linkName + " in your Startup folder was changed: it started \"" +
                                    oldCommand + "\" before and starts \"C:\\e2e\\other.exe -quiet\" now (the file " +
                                    linkName + " in " + startup +
                                    "). Click Shield me to put its old target back or Ignore to permit it.";
    ASSERT_NE(AllTexts(changedAlert).find(changedText), std::string::npos) << AllTexts(changedAlert);
    SaveWindowPicture(changedAlert, ScreenshotPath("alert-shortcut-changed.bmp"));
    ASSERT_NO_FATAL_FAILURE(Click(changedAlert, "shield"));
    ASSERT_TRUE(Eventually([&] { return backuper.GetCount() == 1; })) << WhatTheShieldSays(shield);
    const platform::ShortcutTarget back = platform::ReadShortcut(link);
    EXPECT_EQ(back.target, "C:\\e2e tools\\tool.exe");
    EXPECT_EQ(back.arguments, "-tray");
    EXPECT_EQ(ReadTextFile(backuper.RecordFolder(backuper.GetSectionName(0)) + linkName), changed);
    EXPECT_TRUE(Eventually([&] { return BaselineData("files Startup", link) == oldCommand; }));

    ASSERT_NO_FATAL_FAILURE(UndoEveryChange(shield, 1));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0; })) << WhatTheShieldSays(shield);
    EXPECT_EQ(ReadTextFile(link), changed);
    EXPECT_TRUE(Eventually([&] { return BaselineData("files Startup", link) == "C:\\e2e\\other.exe -quiet"; }));
    if (const HWND again = WaitForAlert(shield, 4s)) ADD_FAILURE() << "reported again after undo: " << AllTexts(again);
    Stop(shield);
    DeleteFileW(planted.c_str());
    DeleteFileA(link.c_str());
    DeleteFileA(Baseline().c_str());
}

}  // namespace
}  // namespace sentrel::e2e
