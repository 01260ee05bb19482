// Names in other scripts than the system's (Cyrillic, Chinese) and an emoji, end to end: what the
// shield finds under such a name is named in its alert as it is, moved into the backup store and
// undone back to the very same name; the shield runs from a folder with such a name; a white-list
// entry holding one settles its warning after a restart.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>

#include "common/Files.h"
#include "config/Options.h"
#include "e2e/AlertDriving.h"
#include "platform/Registry.h"
#include "platform/UniqueHandle.h"
#include "warnings/Backuper.h"

namespace sentrel::e2e {
namespace {

constexpr const wchar_t* kUserShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr auto kAlertWait = 25s;
// Cyrillic, Chinese and an emoji (outside the Basic Multilingual Plane: two UTF-16 units).
constexpr const char* kForeign = "Вредитель 木马 😀";

std::wstring Wide(const std::string& text) {
    return WideFromUtf8(text);
}

// A file's bytes read through the wide functions, so that no code page stands between the test
// and the name; nothing when the file cannot be opened.
std::optional<std::string> ReadByWideName(const std::string& path) {
    const platform::UniqueHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

void WriteByWideName(const std::string& path, const std::string& bytes) {
    const platform::UniqueHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (file.get() == INVALID_HANDLE_VALUE ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        throw std::runtime_error("cannot write " + path);
}

// A value of the current user's Run key as the registry holds it (UTF-16), read by its wide name.
std::optional<std::wstring> RunValueByWideName(const std::string& name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, Wide(kRunKey).c_str(), Wide(name).c_str(), RRF_RT_REG_SZ | RRF_NOEXPAND,
                     nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) repeated += text;
    return repeated;
}

// The entries of a list box of the shield, read as UTF-16. The list may be refilled meanwhile:
// an entry gone by the time it is read (LB_ERR) is left out.
std::vector<std::string> ListTexts(HWND list) {
    std::vector<std::string> texts;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        if (length < 0) continue;
        std::wstring wide(static_cast<std::size_t>(length) + 64, L'\0');
        const LRESULT got = SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()));
        if (got < 0 || static_cast<std::size_t>(got) >= wide.size()) continue;
        wide.resize(static_cast<std::size_t>(got));
        texts.push_back(Utf8FromWide(wide));
    }
    return texts;
}

// The shield's folder as a user past the first start who chose "Inform me and ask what to do"
// has it, the main window shown at start.
class ShownShieldFolder : public ShieldFolder {
public:
    explicit ShownShieldFolder(const std::string& name = {}) : ShieldFolder(SecurityLevel::Medium, name) {
        TOptions options = Options();
        options.WriteBool("RunMinimized", false);
        options.WriteInteger("RemindPeriod", 9);
    }
};

class Shield {
public:
    explicit Shield(const std::string& program) : process_(program) {
        EXPECT_TRUE(process_.WaitUntilStarted());
        mainWindow_ = process_.WaitForWindow("TMainForm");
    }
    ~Shield() {
        RunAndWait("taskkill /pid " + std::to_string(process_.Id()));
        process_.WaitForExit();
    }

    // The alert once it shows a warning, or null.
    HWND WaitForAlert(std::chrono::milliseconds timeout = kAlertWait) const {
        return e2e::WaitForAlert(process_, timeout);
    }

    // Undoes the only record of the restore list, after a look at it: its line is `line`.
    void UndoTheOnlyChange(const std::string& line, const std::string& screenshot) const {
        Press(mainWindow_, "undo");
        const HWND dialog = process_.WaitForWindow("TOptionsForm");
        ASSERT_TRUE(WaitForVisibility(dialog, true));
        const HWND page = FindChildByText(dialog, "Restore Changes");
        const HWND list = GetDlgItem(page, 700);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(ListTexts(list), std::vector<std::string>{line});
        SaveWindowPicture(dialog, ScreenshotPath(screenshot));
        SendMessageW(list, LB_SETSEL, TRUE, 0);
        Press(page, "&Undo");
        ASSERT_TRUE(Eventually([&] { return ListTexts(list).empty(); }));
        Press(dialog, "&OK");
        ASSERT_TRUE(WaitForVisibility(dialog, false));
    }

    // Opens the options on the white list, whose only entry is `line`, and closes them.
    void ShowWhiteList(const std::string& line, const std::string& screenshot) const {
        Press(mainWindow_, "options_button");
        const HWND dialog = process_.WaitForWindow("TOptionsForm");
        ASSERT_TRUE(WaitForVisibility(dialog, true));
        const HWND page = FindChildByText(dialog, "White List");
        // Ctrl+Tab moves a page on; keys go to the window in front, which is asked for each time.
        const auto shownPage = [&] {
            for (const char* name : {"General", "Security Level", "Default Actions", "Black List", "White List",
                                     "Restore Changes", "About"})
                if (IsWindowVisible(FindChildByText(dialog, name))) return std::string(name);
            return std::string();
        };
        for (int i = 0; i < 10 && !IsWindowVisible(page); ++i) {
            const std::string before = shownPage();
            Eventually([&] {
                if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
                return GetForegroundWindow() == dialog;
            }, 10s);
            Keys({VK_CONTROL, VK_TAB});
            Eventually([&] { return shownPage() != before; }, 5s);
        }
        ASSERT_TRUE(IsWindowVisible(page));
        EXPECT_EQ(ListTexts(GetDlgItem(page, 600)), std::vector<std::string>{line});
        SaveWindowPicture(dialog, ScreenshotPath(screenshot));
        Press(dialog, "&Cancel");
        ASSERT_TRUE(WaitForVisibility(dialog, false));
    }

private:
    ShieldProcess process_;
    HWND mainWindow_ = nullptr;
};

TEST(ForeignNames, AKnownFileInTheWindowsFolderIsNamedMovedAndUndoneUnderItsName) {
    ShownShieldFolder folder;
    Shield shield(folder / "Sentrel4.exe");
    const std::string name = std::string(kForeign) + " " + std::to_string(GetCurrentProcessId()) + ".dll";
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    const std::string threat = Utf8FromWide(windows) + "\\" + name;
    // Gone at the end whatever happens: a file left there would be no new file for the next run.
    const std::unique_ptr<const std::string, void (*)(const std::string*)> removed(
        &threat, [](const std::string* path) { DeleteFileW(Wide(*path).c_str()); });
    WriteByWideName(threat, KnownThreatContent());

    const HWND alert = shield.WaitForAlert();
    ASSERT_NE(alert, nullptr) << "no alert for " << threat;
    const auto texts = ChildTexts(alert);
    EXPECT_TRUE(Contains(texts, "Malicious file is found in system folder: " + name + ".")) << Joined(texts);
    SaveWindowPicture(alert, ScreenshotPath("alert-foreign-file.bmp"));
    Choose(alert, {}, "shield");
    EXPECT_FALSE(ReadByWideName(threat).has_value()) << "the file is still there";
    TBackuper backuper(folder.Path());
    ASSERT_EQ(backuper.GetCount(), 1);
    EXPECT_EQ(ReadByWideName(backuper.RecordFolder(backuper.GetSectionName(0)) + name), KnownThreatContent());

    shield.UndoTheOnlyChange("Program " + name + " was deleted from system folder", "restore-foreign-file.bmp");
    EXPECT_EQ(ReadByWideName(threat), KnownThreatContent());
    EXPECT_EQ(backuper.GetCount(), 0);
}

TEST(ForeignNames, ARunValueIsNamedRemovedAndUndoneWithItsNameAndData) {
    test::TempFolder programs;
    const std::string program = programs / (std::string(kForeign) + ".exe");
    const std::string valueName = std::string("E2E ") + kForeign;
    ShownShieldFolder folder;
    RunKey run;
    Shield shield(folder / "Sentrel4.exe");

    run.Add(valueName, program);
    const HWND alert = shield.WaitForAlert();
    ASSERT_NE(alert, nullptr) << "no alert for the new Run value";
    const auto texts = ChildTexts(alert);
    EXPECT_TRUE(Contains(texts, "Unidentified program " + FileNamePart(program) + " was added to the autorun list"))
        << Joined(texts);
    Choose(alert, {}, "shield");
    EXPECT_FALSE(RunValueByWideName(valueName).has_value()) << "Shield me left the value";

    // The test's programs lie in the temporary folder, which the restore list says as well.
    shield.UndoTheOnlyChange("Program " + FileNamePart(program) +
                                 " was deleted from the autorun list - why it looked dangerous: the program is in the "
                                 "temporary folder",
                             "restore-foreign-run-value.bmp");
    EXPECT_EQ(RunValueByWideName(valueName), Wide(program)) << "undo did not bring back the exact name and data";
}

// The current user's Application Data folder moved to `folder` while the test runs.
class MovedApplicationData {
public:
    explicit MovedApplicationData(const std::string& folder) {
        RegCreateKeyExW(HKEY_CURRENT_USER, kUserShellFolders, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        key_.put(), nullptr);
        wchar_t old[1024] = {};
        DWORD size = sizeof old - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key_.get(), L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS)
            old_ = std::pair{type, std::wstring(old)};
        Set(REG_SZ, Wide(folder));
        CreateDirectoryW(Wide(folder).c_str(), nullptr);
    }
    ~MovedApplicationData() {
        if (old_) Set(old_->first, old_->second);
        else RegDeleteValueW(key_.get(), L"AppData");
    }

private:
    void Set(DWORD type, const std::wstring& data) {
        RegSetValueExW(key_.get(), L"AppData", 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    platform::UniqueHkey key_;
    std::optional<std::pair<DWORD, std::wstring>> old_;
};

TEST(ForeignNames, TheShieldRunsFromAForeignFolderAndMovesAKnownFolderOfAForeignApplicationData) {
    test::TempFolder base;
    // Paths short in UTF-16 but longer than MAX_PATH in UTF-8, so no fixed byte buffer holds them
    // (in two levels: Linux takes at most 255 bytes a name).
    std::string appData = base / ("Данные 😀 " + Repeated("数据", 20));
    ASSERT_TRUE(CreateDirectoryW(Wide(appData).c_str(), nullptr));
    appData += "\\" + Repeated("数据", 20);
    MovedApplicationData moved(appData);
    const std::string threat = appData + "\\SentrelTestFolder\\";
    const std::string note = threat + std::string(kForeign) + ".txt";
    ASSERT_TRUE(CreateDirectoryW(Wide(threat).c_str(), nullptr));
    WriteByWideName(note, "left by a known threat");
    ShownShieldFolder folder("Программы 😀 " + Repeated("程序", 20) + "\\" + Repeated("程序", 20));
    Shield shield(folder / "Sentrel4.exe");

    const HWND alert = shield.WaitForAlert();
    ASSERT_NE(alert, nullptr) << "no alert for " << threat;
    const auto texts = ChildTexts(alert);
    EXPECT_TRUE(Contains(texts, "Folder of malicious software " + threat + " was recognised")) << Joined(texts);
    Choose(alert, {}, "shield");
    EXPECT_FALSE(ReadByWideName(note).has_value()) << "the folder is still there";
    TBackuper backuper(folder.Path());
    ASSERT_EQ(backuper.GetCount(), 1);

    shield.UndoTheOnlyChange("Folder of malicious software " + threat + " was deleted", "restore-foreign-folder.bmp");
    EXPECT_EQ(ReadByWideName(note), "left by a known threat");
    EXPECT_EQ(backuper.GetCount(), 0);
}

TEST(ForeignNames, AWhiteListEntryWithAForeignNameSettlesItsWarningAfterARestart) {
    test::TempFolder programs;
    const std::string program = programs / (std::string(kForeign) + ".exe");
    const std::string entry = "Unidentified program " + FileNamePart(program) + " was added to the autorun list";
    ShownShieldFolder folder;
    RunKey run;
    {
        Shield shield(folder / "Sentrel4.exe");
        // A value name of its own: the walk before leaves "E2E <name>" in the shield's baseline
        // with another program, which a value of that name would change rather than add.
        run.Add(std::string("E2E listed ") + kForeign, program);
        const HWND alert = shield.WaitForAlert();
        ASSERT_NE(alert, nullptr) << "no alert for the new Run value";
        const auto texts = ChildTexts(alert);
        ASSERT_TRUE(Contains(texts, entry)) << Joined(texts);
        Choose(alert, {"Do it always"}, "ignore");
    }
    EXPECT_EQ(ReadTextFile(folder / "white_list.txt"), entry + "\r\n");

    Shield shield(folder / "Sentrel4.exe");
    shield.ShowWhiteList(entry, "white-list-foreign.bmp");
    // The same program under another value: settled without a word. A value added after it is
    // asked about, so the monitor was at work all along.
    run.Add("E2E again", program);
    if (const HWND unexpected = shield.WaitForAlert(14s))
        ADD_FAILURE() << "an alert came while only a white-listed entry was new: " << AllTexts(unexpected);
    run.Add("E2E listed other", programs / "other.exe");
    const HWND alert = shield.WaitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(Contains(ChildTexts(alert), "Unidentified program other.exe was added to the autorun list"));
}

}  // namespace
}  // namespace sentrel::e2e
