// The per-user installer and uninstaller, run as a user would in a fresh Wine prefix
// (installer_test.sh makes one): a silent install and the first start, the installer's first
// page, an upgrade over a running shield with a fix recorded, the uninstaller with and without
// the user's data, and the help file opened from the installed copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/Files.h"
#include "config/IniText.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "database/UpdateSignature.h"
#include "e2e/ShieldProcess.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sentrel 4";
constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kIntroductionTopic = "::/Source\\Introducing the Sentrel\\Introduction.htm";

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return std::string(path) + "\\";
}

std::string InstallFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA) + "Programs\\Sentrel 4\\"; }
std::string ShortcutPath() { return ShellFolder(CSIDL_PROGRAMS) + "Sentrel 4.lnk"; }
// Sentrel4-Setup-testkey.exe for a build with the public test key, Sentrel4-Setup.exe otherwise.
std::string SetupPath() { return BuildBinFolder() + "..\\" SENTREL_SETUP_NAME; }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

template <typename Condition>
bool WaitFor(std::chrono::milliseconds timeout, Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

void RemoveTree(const std::string& folder) {
    // SHFileOperation wants a double-zero-terminated list.
    std::string from = folder;
    if (!from.empty() && from.back() == '\\') from.pop_back();
    from.push_back('\0');
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    SHFileOperationA(&operation);
}

std::optional<std::string> UninstallValue(const std::string& name) {
    const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey);
    if (!key) return std::nullopt;
    return key->ReadString(name);
}

bool RunValueExists() {
    const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kRunKey);
    return key && key->ValueExists("Sentrel 4");
}

// The file version of a program, "major.minor", from its version resource.
std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeA(path.c_str(), &ignored));
    if (data.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()))
        return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &size) || !info) return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS));
}

DWORD RunSetup(const std::string& arguments = "/S") {
    return RunAndWait("\"" + SetupPath() + "\" " + arguments, 120s);
}

// The options of a user who has been through the first start.
void WriteUsedOptions(int whatDo, bool autorun) {
    TOptions options("options.ini", InstallFolder());
    WriteDefaultOptions(options);
    options.WriteBool("FirstRun", false);
    options.WriteBool("Autorun", autorun);
    options.WriteInteger("WhatDo", whatDo);
    options.WriteInteger("Shield", 1);
}

int Option(const std::string& key) { return TOptions("options.ini", InstallFolder()).ReadInteger(key, -1); }

// Asks the shield to close as Windows does at log-off and waits for it.
void Close(ShieldProcess& shield) {
    const HWND window = shield.WaitForWindow("TMainForm", 5s);
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    const auto code = shield.WaitForExit(60s);
    ASSERT_TRUE(code.has_value()) << "the shield did not end after WM_CLOSE";
    EXPECT_EQ(*code, 0u);
}

// Each test starts from a user who has never installed the shield.
class Installer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Exists(SetupPath())) << SetupPath();
        RemoveTree(InstallFolder());
        DeleteFileA(ShortcutPath().c_str());
        RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
        // The Run key is there on every Windows; the shield only writes into it.
        platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey).DeleteValue("Sentrel 4");
    }
    void TearDown() override { RemoveTree(InstallFolder()); }
};

TEST_F(Installer, SilentInstallLaysOutTheProgramRegistersItAndTheProgramStarts) {
    ASSERT_EQ(RunSetup(), 0u);

    const std::string folder = InstallFolder();
    for (const char* name : {"Sentrel4.exe", "database.db", "keys_to_watch.ini", "uninstall.exe",
                             "Help\\Help.chm", "graphics\\shield.jpg", "graphics\\alert_main.gif"})
        EXPECT_TRUE(Exists(folder + name)) << name;
    // The options name the number of the database shipped, and nothing else yet.
    const IniText installed = IniText::Parse(ReadText(folder + "options.ini"));
    EXPECT_EQ(installed.KeyNames("Options"), std::vector<std::string>{"DBNumber"});
    EXPECT_EQ(installed.Get("Options", "DBNumber"), std::to_string(SENTREL_SHIPPED_DB_NUMBER));
    EXPECT_EQ(ReadFileBytes(folder + "database.db"), ReadFileBytes(BuildBinFolder() + "database.db"));
    EXPECT_EQ(ReadFileBytes(folder + "keys_to_watch.ini"), ReadFileBytes(BuildBinFolder() + "keys_to_watch.ini"));
    EXPECT_TRUE(Exists(ShortcutPath()));

    // Shipped stripped: far smaller than the build's program with its debug information.
    WIN32_FILE_ATTRIBUTE_DATA shipped{}, built{};
    ASSERT_TRUE(GetFileAttributesExA((folder + "Sentrel4.exe").c_str(), GetFileExInfoStandard, &shipped));
    ASSERT_TRUE(GetFileAttributesExA((BuildBinFolder() + "Sentrel4.exe").c_str(), GetFileExInfoStandard, &built));
    EXPECT_LT(shipped.nFileSizeLow * 4ull, built.nFileSizeLow * 1ull);

    // The Apps & features entry, with the program's own version.
    EXPECT_EQ(UninstallValue("DisplayName"), "Sentrel 4");
    EXPECT_EQ(UninstallValue("Publisher"), "Sentrel");
    const std::string version = FileVersion(folder + "Sentrel4.exe");
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(UninstallValue("DisplayVersion"), version);
    EXPECT_EQ(UninstallValue("DisplayIcon"), folder + "Sentrel4.exe,0");
    EXPECT_EQ(UninstallValue("UninstallString"), "\"" + folder + "uninstall.exe\"");
    EXPECT_EQ(UninstallValue("InstallLocation"), folder.substr(0, folder.size() - 1));
    const auto key = platform::RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey);
    ASSERT_TRUE(key.has_value());
    const auto size = key->ReadDword("EstimatedSize");
    ASSERT_TRUE(size.has_value());
    EXPECT_GT(*size, 100u) << "kilobytes";

    // The installed program starts in its folder, which it can write: its first start seeds the
    // options there, welcomes the user and then shows its main window.
    ShieldProcess shield(folder + "Sentrel4.exe");
    const HWND welcome = shield.WaitForWindow("TFirstSplashForm", 60s);
    ASSERT_NE(welcome, nullptr);
    ASSERT_TRUE(WaitForVisibility(welcome, true));
    const HWND back = FindChildByText(welcome, "return");
    ASSERT_NE(back, nullptr);
    PostMessageA(back, BM_CLICK, 0, 0);
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_TRUE(WaitForVisibility(mainWindow, true)) << "the main window stays hidden";
    ASSERT_TRUE(shield.WaitUntilStarted(60s));
    const IniText seeded = IniText::Parse(ReadText(folder + "options.ini"));
    EXPECT_EQ(seeded.Get("Options", "DBNumber"), std::to_string(SENTREL_SHIPPED_DB_NUMBER));
    EXPECT_EQ(seeded.Get("Options", "Shield"), "1") << "the first start seeds the other options";
    EXPECT_EQ(seeded.Get("Options", "FirstRun"), "0") << "the first-run window was closed";
    Close(shield);
}

// The installer's first page says when the program it installs is a development build, one
// that accepts updates signed with the public test key.
TEST_F(Installer, TheFirstPageNamesADevelopmentBuild) {
    ShieldProcess setup(SetupPath());
    const HWND wizard = setup.WaitForWindow("#32770", 60s);
    ASSERT_NE(wizard, nullptr) << "no installer window";
    ASSERT_TRUE(WaitForVisibility(wizard, true));
    std::string welcome;
    ASSERT_TRUE(WaitFor(30s, [&] {
        for (const std::string& text : ChildTexts(wizard))
            if (text.starts_with("Setup will install Sentrel 4")) welcome = text;
        return !welcome.empty();
    })) << "no welcome text";
    const bool marked =
        welcome.find("This is a development build: it accepts updates signed with the public test key") !=
        std::string::npos;
    EXPECT_EQ(marked, BuiltWithTestUpdateKey()) << welcome;
    SaveWindowPicture(wizard, ScreenshotPath("installer-welcome.bmp"));
    // Nothing is installed before the user goes on; the process ends with the test.
    EXPECT_FALSE(Exists(InstallFolder()));
}

TEST_F(Installer, UpgradeOverARunningShieldKeepsTheFixRecordAndTheOptions) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string folder = InstallFolder();
    WriteUsedOptions(/*whatDo: shield without prompt*/ 1, /*autorun*/ false);
    test::WriteTextFile(folder + "white_list.txt", "Some trusted finding\r\n");

    ShieldProcess shield(folder + "Sentrel4.exe");
    ASSERT_TRUE(shield.WaitUntilStarted(60s));
    // A program adds itself to the autorun list (once the shield's first start has taken what
    // the list held); the shield removes it and records the fix.
    WaitForAutostartBaseline();
    auto run = platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey);
    run.WriteString("E2E Upgrade", "C:\\upgrade test\\adware.exe");
    // The record is complete once it holds the data its undo writes back.
    ASSERT_TRUE(WaitFor(30s, [&] {
        TBackuper backuper(folder);
        return backuper.GetCount() == 1 && !backuper.GetString(0, "RegData").empty();
    })) << "no fix was recorded";
    const auto backupsBefore = ReadText(folder + "backups.ini");

    ASSERT_EQ(RunSetup(), 0u);
    // The installer asked the shield to close; it ended through its own teardown (not killed).
    const auto code = shield.WaitForExit(5s);
    ASSERT_TRUE(code.has_value()) << "the shield still runs after the upgrade";
    EXPECT_EQ(*code, 0u);
    EXPECT_EQ(Option("WhatDo"), 1);
    EXPECT_EQ(Option("FirstRun"), 0);
    EXPECT_EQ(ReadText(folder + "white_list.txt"), "Some trusted finding\r\n");
    EXPECT_EQ(ReadText(folder + "backups.ini"), backupsBefore);
    TBackuper backuper(folder);
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(backuper.GetString(0, "Desc"), "Program adware.exe was deleted from the autorun list");

    // The upgraded program starts on the kept data, and the kept record can still be undone.
    {
        ShieldProcess upgraded(folder + "Sentrel4.exe");
        ASSERT_TRUE(upgraded.WaitUntilStarted(60s));
        Close(upgraded);
    }
    ShieldWarningKind(backuper.GetString(0, "Type")).Undo(backuper, 0, WarningContext{});
    EXPECT_EQ(run.ReadString("E2E Upgrade"), "C:\\upgrade test\\adware.exe");
    run.DeleteValue("E2E Upgrade");
}

TEST_F(Installer, ReplacesTheInstalledDatabaseOnlyWithANewerOne) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string folder = InstallFolder();
    const auto shipped = ReadFileBytes(BuildBinFolder() + "database.db");
    WriteUsedOptions(0, false);

    // An installed database updated past the shipped one stays, with its number.
    test::WriteTextFile(folder + "database.db", "updated database");
    TOptions("options.ini", folder).WriteInteger("DBNumber", SENTREL_SHIPPED_DB_NUMBER + 6);
    ASSERT_EQ(RunSetup(), 0u);
    EXPECT_EQ(ReadText(folder + "database.db"), "updated database");
    EXPECT_EQ(Option("DBNumber"), SENTREL_SHIPPED_DB_NUMBER + 6);

    // An older one is replaced, and the options name the number of the database now there.
    TOptions("options.ini", folder).WriteInteger("DBNumber", SENTREL_SHIPPED_DB_NUMBER - 1);
    ASSERT_EQ(RunSetup(), 0u);
    EXPECT_EQ(ReadFileBytes(folder + "database.db"), shipped);
    EXPECT_EQ(Option("DBNumber"), SENTREL_SHIPPED_DB_NUMBER);
    EXPECT_EQ(Option("WhatDo"), 0) << "the other options stay";

    // A missing database is put back whatever the options say.
    TOptions("options.ini", folder).WriteInteger("DBNumber", SENTREL_SHIPPED_DB_NUMBER + 6);
    DeleteFileA((folder + "database.db").c_str());
    ASSERT_EQ(RunSetup(), 0u);
    EXPECT_EQ(ReadFileBytes(folder + "database.db"), shipped);
    EXPECT_EQ(Option("DBNumber"), SENTREL_SHIPPED_DB_NUMBER);
    EXPECT_FALSE(Exists(folder + "database.db.new"));
    EXPECT_FALSE(Exists(folder + "options.ini.new"));
}

// Runs the uninstaller as Apps & features does (it goes on from a copy of itself in the
// temporary folder) and waits until it has finished.
void Uninstall(const std::string& extraArguments = "") {
    const auto quiet = UninstallValue("QuietUninstallString");
    ASSERT_TRUE(quiet.has_value());
    const std::string folder = InstallFolder();
    RunAndWait(*quiet + extraArguments, 60s);
    ASSERT_TRUE(WaitFor(60s, [&] {
        return !platform::RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey) && !Exists(folder + "uninstall.exe");
    })) << "the uninstaller did not finish";
}

TEST_F(Installer, SilentUninstallStopsTheShieldRemovesTheProgramAndKeepsTheData) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string folder = InstallFolder();
    WriteUsedOptions(0, /*autorun*/ true);
    test::WriteTextFile(folder + "black_list.txt", "Some malicious finding\r\n");
    {
        TBackuper backuper(folder);
        backuper.NewBackup("TAutorunAddWarning", "Program adware.exe was deleted from the autorun list");
    }
    CreateDirectoryA((folder + "backuped\\1").c_str(), nullptr);
    test::WriteTextFile(folder + "backuped\\1\\adware.exe", "kept");

    // The shield runs and has written its own Run value.
    ShieldProcess shield(folder + "Sentrel4.exe");
    ASSERT_TRUE(shield.WaitUntilStarted(60s));
    ASSERT_TRUE(WaitFor(30s, RunValueExists)) << "the shield wrote no Run value";

    Uninstall();
    const auto code = shield.WaitForExit(5s);
    ASSERT_TRUE(code.has_value()) << "the shield still runs after the uninstall";
    EXPECT_EQ(*code, 0u);

    for (const char* name : {"Sentrel4.exe", "keys_to_watch.ini", "uninstall.exe", "Help", "graphics"})
        EXPECT_FALSE(Exists(folder + name)) << name;
    EXPECT_FALSE(Exists(ShortcutPath()));
    EXPECT_FALSE(RunValueExists());
    EXPECT_FALSE(UninstallValue("DisplayName").has_value());
    for (const char* name : {"options.ini", "black_list.txt", "backups.ini", "backuped\\1\\adware.exe", "database.db"})
        EXPECT_TRUE(Exists(folder + name)) << name;
    EXPECT_EQ(TBackuper(folder).GetCount(), 1);

    // Installing again finds the kept data.
    ASSERT_EQ(RunSetup(), 0u);
    EXPECT_EQ(Option("Autorun"), 1);
    EXPECT_EQ(ReadText(folder + "black_list.txt"), "Some malicious finding\r\n");
}

// The administrator part's installer, as an administrator runs it: the part under Program Files,
// its store under ProgramData, an uninstaller that keeps the store unless asked. Wine keeps no
// rules on files, so the installed part refuses to work here: its places are the user's.
TEST(AdminInstaller, PutsThePartUnderProgramFilesAndItsUninstallerKeepsTheStore) {
    const std::string program = platform::MachineProgramsFolder() + "\\Sentrel 4 Administrator\\";
    const std::string store = platform::MachineDataFolder() + "\\Sentrel 4 Administrator";
    const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sentrel 4 Administrator";
    ASSERT_EQ(RunAndWait("\"" + BuildBinFolder() + "..\\Sentrel4-Admin-Setup.exe\" /S", 120s), 0u);
    ASSERT_TRUE(Exists(program + "Sentrel4Admin.exe"));
    EXPECT_TRUE(Exists(store));
    EXPECT_EQ(FileVersion(program + "Sentrel4Admin.exe"), "4.0");
    const auto uninstall = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, key, platform::RegistryAccess::Read,
                                                       KEY_WOW64_64KEY);
    ASSERT_TRUE(uninstall);
    const std::optional<std::string> quiet = uninstall->ReadString("QuietUninstallString");
    ASSERT_TRUE(quiet);

    EXPECT_EQ(RunAndWait("\"" + program + "Sentrel4Admin.exe\" /Remove", 60s), 2u);
    EXPECT_EQ(RunAndWait("\"" + program + "Sentrel4Admin.exe\" /Undo " + std::string(32, 'a') + " 1", 60s), 4u);

    RunAndWait(*quiet, 60s);
    ASSERT_TRUE(WaitFor(60s, [&] { return !Exists(program + "uninstall.exe"); })) << "the uninstaller did not finish";
    EXPECT_FALSE(Exists(program + "Sentrel4Admin.exe"));
    EXPECT_TRUE(Exists(store));
    ASSERT_EQ(RunAndWait("\"" + BuildBinFolder() + "..\\Sentrel4-Admin-Setup.exe\" /S", 120s), 0u);
    RunAndWait(*quiet + " /REMOVEDATA", 60s);
    EXPECT_TRUE(WaitFor(60s, [&] { return !Exists(program + "uninstall.exe") && !Exists(store); }));
}

TEST_F(Installer, UninstallWithRemoveDataLeavesNothing) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string folder = InstallFolder();
    CreateDirectoryA((folder + "backuped").c_str(), nullptr);
    CreateDirectoryA((folder + "backuped\\1").c_str(), nullptr);
    test::WriteTextFile(folder + "backuped\\1\\file.dll", "x");
    {
        // Whatever the shield itself writes at its first start and at its end goes too.
        ShieldProcess shield(folder + "Sentrel4.exe");
        ASSERT_TRUE(shield.WaitUntilStarted(60s));
        Close(shield);
    }

    Uninstall(" /REMOVEDATA");
    EXPECT_TRUE(WaitFor(10s, [&] { return !Exists(folder); })) << "the program folder is still there";
}

// A visible top-level dialog of any process that satisfies the test.
template <typename Test>
HWND FindDialog(Test test) {
    struct Search {
        Test* test;
        HWND found;
    } search{&test, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            char name[64] = {};
            GetClassNameA(window, name, sizeof name);
            if (std::string(name) != "#32770" || !IsWindowVisible(window) || !(*s->test)(window)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Started from Apps & features, the uninstaller asks whether to keep the user's data; "No"
// removes it with the program.
TEST_F(Installer, InteractiveUninstallAsksAboutTheDataAndNoRemovesIt) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string folder = InstallFolder();
    WriteUsedOptions(0, /*autorun*/ false);
    test::WriteTextFile(folder + "black_list.txt", "Some malicious finding\r\n");
    const auto command = UninstallValue("UninstallString");
    ASSERT_TRUE(command.has_value());
    RunAndWait(*command, 60s);  // it goes on from its copy in the temporary folder

    HWND wizard = nullptr;
    ASSERT_TRUE(WaitFor(60s, [&] {
        wizard = FindDialog([](HWND w) { return GetDlgItem(w, IDOK) && MessageBoxText(w).empty(); });
        return wizard != nullptr;
    })) << "no uninstaller window";
    PostMessageA(GetDlgItem(wizard, IDOK), BM_CLICK, 0, 0);  // "Uninstall" on the confirmation page

    HWND question = nullptr;
    ASSERT_TRUE(WaitFor(60s, [&] {
        question = FindDialog([](HWND w) { return MessageBoxText(w).starts_with("Keep your Sentrel 4 data"); });
        return question != nullptr;
    })) << "the uninstaller did not ask about the data";
    EXPECT_TRUE(Exists(folder + "options.ini")) << "nothing goes before the answer";
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);

    EXPECT_TRUE(WaitFor(60s, [&] { return !Exists(folder + "options.ini") && !Exists(folder + "black_list.txt"); }));
    EXPECT_TRUE(WaitFor(60s, [&] { return !platform::RegistryKey::Open(HKEY_CURRENT_USER, kUninstallKey); }));
    // The last page waits for "Close".
    ASSERT_TRUE(WaitFor(60s, [&] { return IsWindowEnabled(GetDlgItem(wizard, IDOK)) && WindowText(GetDlgItem(wizard, IDOK)) == "&Close"; }));
    PostMessageA(GetDlgItem(wizard, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor(30s, [&] { return !IsWindow(wizard); }));
    EXPECT_TRUE(WaitFor(10s, [&] { return !Exists(folder); })) << "the program folder is still there";
}

HWND FindChildByClass(HWND parent, const char* className) {
    struct Search {
        const char* className;
        HWND found;
    } search{className, nullptr};
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            char name[64] = {};
            GetClassNameA(child, name, sizeof name);
            if (std::string(name) != s->className) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The help file of the installed copy opens at the introduction, the topic the main window's
// help button asks for, through the HTML Help engine the program uses. (Wine's engine opens a
// window for any topic of an existing file and draws no page without Wine's Gecko; that every
// topic address is inside the file is HelpFileTopics' part.)
TEST_F(Installer, HelpFileOpensItsIntroduction) {
    ASSERT_EQ(RunSetup(), 0u);
    const std::string topic = InstallFolder() + "Help\\Help.chm" + kIntroductionTopic;

    // The engine as the program finds it: the library the HTML Help class names.
    const auto server = platform::RegistryKey::Open(
        HKEY_CLASSES_ROOT, "CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32");
    ASSERT_TRUE(server.has_value()) << "no HTML Help engine registered";
    const auto library = server->ReadString("");
    ASSERT_TRUE(library.has_value() && !library->empty());
    const HMODULE engine = LoadLibraryA(library->c_str());
    ASSERT_NE(engine, nullptr) << *library;
    using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
    const auto htmlHelp = reinterpret_cast<HtmlHelpFunction>(reinterpret_cast<void*>(GetProcAddress(engine, "HtmlHelpA")));
    ASSERT_NE(htmlHelp, nullptr);

    const HWND help = htmlHelp(GetDesktopWindow(), topic.c_str(), /*HH_DISPLAY_TOPIC*/ 0, 0);
    ASSERT_NE(help, nullptr) << "HtmlHelpA did not open " << topic;
    EXPECT_EQ(WindowText(help), "Sentrel 4 Help");
    ASSERT_TRUE(WaitForVisibility(help, true, 10s));
    const HWND contents = FindChildByClass(help, WC_TREEVIEWA);
    ASSERT_NE(contents, nullptr) << "no table of contents";
    EXPECT_GE(SendMessageA(contents, TVM_GETCOUNT, 0, 0), 3) << "the contents' three parts";
    // The window belongs to this thread: have it drawn, with what it has queued, before the
    // picture is taken.
    RedrawWindow(help, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&message);
    RedrawWindow(help, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::string screenshots = BuildBinFolder() + "..\\screenshots\\";
    CreateDirectoryA(screenshots.c_str(), nullptr);
    SaveWindowPicture(help, screenshots + "help-introduction.bmp");
    htmlHelp(nullptr, nullptr, /*HH_CLOSE_ALL*/ 0x12, 0);
    FreeLibrary(engine);
}

}  // namespace
}  // namespace sentrel::e2e
