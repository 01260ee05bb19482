// The update wizard driven as a user would, against the update server the test run started
// (two chained, signed updates of the shipped database) and a fake server for the answers a
// real one never gives.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <set>

#include "common/Files.h"
#include "config/OptionKeys.h"
#include "config/Options.h"
#include "config/DateTimeFormat.h"
#include "config/SystemClock.h"
#include "database/UpdateFiles.h"
#include "e2e/ShieldProcess.h"
#include "e2e/update/FakeHttpServer.h"
#include "platform/Registry.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kWelcome = "Welcome to Sentrel Database Update Wizard";
constexpr const char* kCompleted = "Database is successfully updated.";
constexpr const char* kFailed = "An error occured while updating spyware database.";

std::string ServerFolder() {
    return BuildBinFolder() + "..\\update-server\\";
}

std::string ServerAddress() {
    std::string address = ReadFileText(ServerFolder() + "address.txt");
    while (!address.empty() && (address.back() == '\n' || address.back() == '\r')) address.pop_back();
    return address;
}

// A program folder past its first start, asking `server` for updates.
class WizardFolder : public ProgramFolder {
public:
    explicit WizardFolder(const std::string& server) {
        CopyGraphics();
        TOptions options = Options();
        WriteDefaultOptions(options);
        options.WriteBool("FirstRun", false);
        options.WriteBool("Autorun", false);
        options.WriteBool("RunMinimized", false);
        options.WriteInteger("RemindPeriod", 9);
        WritePrivateProfileStringA("Options", "UpdateServer", server.c_str(), (*this / "options.ini").c_str());
        // One date for both, so that a clock tick between the two writes cannot tell them apart.
        const TDateTime monthAgo = CurrentDateTime() - 30;
        options.WriteDateTime("LastUpdate", monthAgo);
        options.WriteDateTime("LastRemind", monthAgo);
        oldDate_ = Raw("LastUpdate");
    }
    TOptions Options() const { return TOptions("options.ini", Path()); }
    int Option(const std::string& key) const { return Options().ReadInteger(key, -1); }
    std::string Raw(const std::string& key) const {
        char value[64] = {};
        GetPrivateProfileStringA("Options", key.c_str(), "", value, sizeof value, (*this / "options.ini").c_str());
        return value;
    }
    // Whether the update wizard wrote the date (the folder starts with both dates a month old).
    bool Written(const std::string& key) const { return Raw(key) != oldDate_; }

private:
    std::string oldDate_;
};

// The shield with its wizard open at the first page.
class Wizard {
public:
    // With `open` false the wizard is left to the shield (the reminder opens it).
    explicit Wizard(const WizardFolder& folder, bool open = true) : shield_(folder) {
        if (!shield_.WaitUntilStarted()) throw std::runtime_error("the shield did not start");
        main_ = shield_.WaitForWindow("TMainForm");
        form_ = shield_.WaitForWindow("TUpdateForm");
        if (open) Open();
    }
    ~Wizard() {
        RunAndWait("taskkill /pid " + std::to_string(shield_.Id()));
        shield_.WaitForExit();
        try {
            platform::RegistryKey::Create(HKEY_CURRENT_USER, kRunKey).DeleteValue("Sentrel 4");
        } catch (const std::exception&) {
            // Not there: the folder's options never asked for it.
        }
    }

    void Open() {
        PostMessageA(FindChildByText(main_, "update"), BM_CLICK, 0, 0);
        form_ = shield_.WaitForWindow("TUpdateForm");
        if (!form_ || !WaitForVisibility(form_, true)) throw std::runtime_error("no wizard");
    }
    HWND Form() const { return form_; }
    HWND Main() const { return main_; }
    ShieldProcess& Shield() { return shield_; }

    // The control with this text, when it is on screen.
    HWND Visible(const std::string& text) const {
        const HWND control = FindChildByText(form_, text);
        return control && IsWindowVisible(control) ? control : nullptr;
    }
    bool Shows(const std::string& text, std::chrono::milliseconds timeout = 20s) const {
        return Eventually([&] { return Visible(text) != nullptr; }, timeout);
    }
    void Press(const std::string& text) const {
        const HWND button = Visible(text);
        ASSERT_NE(button, nullptr) << text;
        PostMessageA(button, BM_CLICK, 0, 0);
    }
    int Progress() const {
        return static_cast<int>(SendMessageA(FindWindowExA(form_, nullptr, PROGRESS_CLASSA, nullptr), PBM_GETPOS, 0, 0));
    }
    std::string Memo() const { return WindowText(FindWindowExA(form_, nullptr, "EDIT", nullptr)); }
    // The one-line reason under the error page's texts.
    bool ShowsReason(const std::string& part) const { return Texts().find(part) != std::string::npos; }
    std::string Texts() const {
        std::string all;
        for (const std::string& text : ChildTexts(form_)) all += text + "\n";
        return all;
    }
    void ToLocalFilePage() const {
        Press("&Next >");
        ASSERT_TRUE(Shows("Update from &local file"));
        SendMessageA(Visible("Update from &local file"), BM_CLICK, 0, 0);
        Press("&Next >");
        ASSERT_TRUE(Shows("..."));
    }
    void Picture(const std::string& name) const {
        SaveWindowPicture(form_, ScreenshotPath("update-" + name + ".bmp"));
    }
    // Next on the welcome page, then the source.
    void StartInternetUpdate() const {
        Press("&Next >");
        ASSERT_TRUE(Shows("Update from the &Internet"));
        Press("&Next >");
    }

private:
    ShieldProcess shield_;
    HWND main_ = nullptr;
    HWND form_ = nullptr;
};

// Every file and folder under the program folder, by its path inside it. The wizard's copy of
// the database, taken at the start of every run, is left out.
std::set<std::string> ProgramFiles(const std::string& folder, const std::string& inside = "") {
    std::set<std::string> names;
    WIN32_FIND_DATAA found{};
    const HANDLE find = FindFirstFileA((folder + inside + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == ".." || (inside.empty() && name == "db_backup.db")) continue;
        names.insert(inside + name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.merge(ProgramFiles(folder, inside + name + "\\"));
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

std::string Listing(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    return text;
}

// The update 2 offered by `server`, its file sent slowly (long enough to be caught arriving).
void ServeSlowUpdate(FakeHttpServer& server) {
    const std::string update = ServerFolder() + "root\\update2.dat";
    const auto bytes = ReadFileBytes(update);
    const auto signature = ReadFileBytes(update + ".sig");
    std::string body(bytes.begin(), bytes.end());
    body.resize(std::max<std::size_t>(body.size(), 400 * 1024), '\0');
    server.Serve("/update40.php?elem=&user_date=1", {"update2.dat"});
    server.Serve("/update2.dat.sig", {std::string(signature.begin(), signature.end())});
    server.Serve("/update2.dat", {body, FakeHttpServer::Mode::Slow});
}

TEST(UpdateWizard, InternetUpdateAppliesTwoChainedUpdates) {
    WizardFolder folder(ServerAddress());
    Wizard wizard(folder);
    const int knownBefore = folder.Option("KnownSpywares");
    const std::string today = FormatPicture(CurrentDateTime(), UserDateTimeFormat().shortDate, UserDateTimeFormat());
    ASSERT_TRUE(wizard.Shows(kWelcome));
    EXPECT_EQ(wizard.Visible("< &Back"), nullptr);
    EXPECT_EQ(WindowText(wizard.Form()), "Database update wizard");
    RECT client{};
    GetClientRect(wizard.Form(), &client);
    EXPECT_EQ(client.right, 500);
    EXPECT_EQ(client.bottom, 282);
    wizard.Picture("0-welcome");
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows("Please, select the source of database update:"));
    EXPECT_NE(wizard.Visible("< &Back"), nullptr);
    wizard.Picture("1-select");
    wizard.Press("&Next >");

    ASSERT_TRUE(wizard.Shows(kCompleted, 60s)) << wizard.Memo();
    wizard.Picture("4-completed");
    EXPECT_EQ(wizard.Progress(), 100);
    EXPECT_NE(wizard.Memo().find("Downloading file ..."), std::string::npos) << wizard.Memo();
    EXPECT_EQ(wizard.Visible("&Next >"), nullptr);
    EXPECT_NE(wizard.Visible("&Close"), nullptr);
    EXPECT_EQ(folder.Option("DBNumber"), 3);
    EXPECT_TRUE(folder.Written("LastUpdate"));
    EXPECT_FALSE(folder.Written("LastRemind"));
    EXPECT_EQ(test::DumpFile(folder / "database.db"), test::DumpFile(ServerFolder() + "v3.db"));
    EXPECT_TRUE(FileExists(folder / "db_backup.db"));
    EXPECT_TRUE(Eventually([&] { return !FolderExists(folder / "updates"); }));
    // The main window shows the new count and date without a restart.
    const int knownAfter = folder.Option("KnownSpywares");
    EXPECT_EQ(knownAfter, knownBefore + 2);
    EXPECT_TRUE(Eventually([&] { return FindChildByText(wizard.Main(), std::to_string(knownAfter)) != nullptr; }));
    EXPECT_NE(FindChildByText(wizard.Main(), today), nullptr) << Listing({ChildTexts(wizard.Main()).begin(),
                                                                          ChildTexts(wizard.Main()).end()});
    EXPECT_EQ(wizard.Visible("< &Back"), nullptr);
}

TEST(UpdateWizard, AnEmptyAnswerMeansTheLatestUpdate) {
    WizardFolder folder(ServerAddress());
    folder.Options().WriteInteger("DBNumber", 3);
    Wizard wizard(folder);
    wizard.StartInternetUpdate();
    const HWND box = wizard.Shield().WaitForMessageBox(60s);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), "You have the latest update!");
    PressOk(box);
    ASSERT_TRUE(wizard.Shows(kCompleted));
    EXPECT_TRUE(folder.Written("LastRemind"));
    EXPECT_FALSE(folder.Written("LastUpdate"));
    EXPECT_EQ(folder.Option("DBNumber"), 3);
}

TEST(UpdateWizard, AServerThatIsDownOrSilentEndsOnTheErrorPage) {
    {
        // A port that was free a moment ago: nothing listens there.
        std::string address;
        {
            FakeHttpServer gone;
            address = gone.Address();
        }
        WizardFolder folder(address);
        Wizard wizard(folder);
        wizard.StartInternetUpdate();
        ASSERT_TRUE(wizard.Shows(kFailed, 60s));
        EXPECT_TRUE(wizard.ShowsReason("No connection to the update server.")) << wizard.Memo();
        EXPECT_NE(wizard.Visible("&Close"), nullptr);
        wizard.Picture("5-error");
    }
    {
        FakeHttpServer silent;
        silent.Serve("/update40.php?elem=&user_date=1", {"", FakeHttpServer::Mode::Silent});
        WizardFolder folder(silent.Address());
        folder.Options().WriteInteger("UpdateTimeout", 3);
        Wizard wizard(folder);
        wizard.StartInternetUpdate();
        ASSERT_TRUE(wizard.Shows(kFailed, 60s)) << wizard.Memo();
        EXPECT_TRUE(wizard.ShowsReason("did not answer in time")) << wizard.Texts();
        EXPECT_FALSE(folder.Written("LastUpdate"));
    }
}

TEST(UpdateWizard, HostileServersEndOnTheErrorPageAndLeaveNothingInTheProgramFolder) {
    const auto served = [](const std::string& name) {
        const auto bytes = ReadFileBytes(ServerFolder() + "root\\" + name);
        return std::string(bytes.begin(), bytes.end());
    };
    std::string many;
    for (int i = 2; i <= 66; ++i) many += "update" + std::to_string(i) + ".dat|";
    FakeHttpServer elsewhere;
    elsewhere.Serve("/update40.php?elem=&user_date=1", {"update2.dat"});
    constexpr const char* kMissing = "";
    struct Case {
        std::string answer;
        std::string reason;
        std::optional<std::string> signature2;  // update2.dat.sig: the real one when not given
        FakeHttpServer::Mode indexMode = FakeHttpServer::Mode::Normal;
        std::string server;  // empty: the fake server
    };
    const std::vector<Case> cases = {
        {"version.dll|update2.dat", "cannot be an update (\"version.dll\")"},
        {"..\\update2.dat", "cannot be an update"},
        {many, "named 65 updates at once"},
        {"update2.dat", "more than 256 bytes as the signature of \"update2.dat\"", std::string(1024 * 1024, 'x')},
        {"update2.dat", "answered 404", kMissing},
        // The first update is checked before the second is fetched.
        {"update2.dat|update3.dat", "not signed by the maker", std::string(70, 'x')},
        // Signed, but not the next number: a failure, not "successfully updated".
        {"update3.dat", "Can't update database with number 1 with update number 3"},
        {elsewhere.Address() + "/update40.php?elem=&user_date=1", "follows no redirect", std::nullopt,
         FakeHttpServer::Mode::Redirect},
        {"", "must begin with https://", std::nullopt, FakeHttpServer::Mode::Normal, "http://updates.example.invalid"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FakeHttpServer server;
        server.Serve("/update40.php?elem=&user_date=1", {c.answer, c.indexMode});
        for (const char* name : {"update2.dat", "update3.dat", "update3.dat.sig"})
            server.Serve(std::string("/") + name, {served(name)});
        const std::string signature2 = c.signature2.value_or(served("update2.dat.sig"));
        if (!signature2.empty()) server.Serve("/update2.dat.sig", {signature2});
        WizardFolder folder(c.server.empty() ? server.Address() : c.server);
        const auto before = ReadFileBytes(folder / "database.db");
        {
            Wizard wizard(folder);
            const std::set<std::string> files = ProgramFiles(folder / "");
            wizard.StartInternetUpdate();
            ASSERT_TRUE(wizard.Shows(kFailed, 60s));
            EXPECT_TRUE(wizard.ShowsReason(c.reason)) << wizard.Texts();
            EXPECT_NE(wizard.Visible("&Close"), nullptr);
            EXPECT_TRUE(Eventually([&] { return ProgramFiles(folder / "") == files; }))
                << "before:\n" << Listing(files) << "after:\n" << Listing(ProgramFiles(folder / ""));
            EXPECT_EQ(folder.Option("DBNumber"), -1);
            EXPECT_FALSE(folder.Written("LastUpdate"));
            EXPECT_FALSE(folder.Written("LastRemind")) << "a failed answer must not silence the reminder";
        }
        for (const std::string& line : server.Requests())
            EXPECT_FALSE(c.answer.starts_with("update2.dat|") && line.starts_with("GET /update3.dat")) << line;
        EXPECT_EQ(ReadFileBytes(folder / "database.db"), before);
    }
    EXPECT_TRUE(elsewhere.Requests().empty()) << "the redirect was followed";
}

TEST(UpdateWizard, CancelDuringADownloadAppliesNothingAndTheNextShowingStartsClean) {
    FakeHttpServer server;
    ServeSlowUpdate(server);
    WizardFolder folder(server.Address());
    const auto before = ReadFileBytes(folder / "database.db");
    Wizard wizard(folder);
    wizard.StartInternetUpdate();
    const auto requested = [&] {
        for (const std::string& line : server.Requests())
            if (line.starts_with("GET /update2.dat ")) return true;
        return false;
    };
    ASSERT_TRUE(Eventually(requested, 60s));
    ASSERT_TRUE(Eventually([&] { return wizard.Progress() > 0 && wizard.Progress() < 100; })) << wizard.Memo();
    wizard.Picture("2-inet");
    wizard.Press("&Cancel");
    ASSERT_TRUE(WaitForVisibility(wizard.Form(), false));
    ASSERT_TRUE(Eventually([&] { return !FolderExists(folder / "updates"); }, 30s));
    EXPECT_EQ(folder.Option("DBNumber"), -1);
    EXPECT_EQ(ReadFileBytes(folder / "database.db"), before);

    wizard.Open();
    EXPECT_TRUE(wizard.Shows(kWelcome));
    EXPECT_EQ(wizard.Visible("< &Back"), nullptr);
    EXPECT_NE(wizard.Visible("&Cancel"), nullptr);
    EXPECT_EQ(wizard.Progress(), 0);
}

TEST(UpdateWizard, TheReminderOpensItModallyAndARunCutShortLeavesNothingAfterTheNextStart) {
    FakeHttpServer server;
    ServeSlowUpdate(server);
    WizardFolder folder(server.Address());
    folder.Options().WriteInteger("RemindPeriod", 2);  // 14 days; the last reminder was 30 days ago
    const auto before = ReadFileBytes(folder / "database.db");
    Wizard wizard(folder, false);
    ASSERT_TRUE(WaitForVisibility(wizard.Main(), true));
    const HWND box = wizard.Shield().WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
    ASSERT_TRUE(WaitForVisibility(wizard.Form(), true));
    EXPECT_TRUE(wizard.Shows(kWelcome));
    EXPECT_FALSE(IsWindowEnabled(wizard.Main())) << "the reminder's wizard is modal";

    wizard.StartInternetUpdate();
    ASSERT_TRUE(Eventually([&] { return wizard.Progress() > 0 && wizard.Progress() < 100; }, 60s));
    ASSERT_TRUE(FolderExists(folder / "updates"));
    RunAndWait("taskkill /pid " + std::to_string(wizard.Shield().Id()));
    ASSERT_TRUE(wizard.Shield().WaitForExit(40s).has_value()) << "the shield did not end during a run";
    EXPECT_EQ(ReadFileBytes(folder / "database.db"), before);
    EXPECT_EQ(folder.Option("DBNumber"), -1);

    // What a run cut by a crash or a power cut would leave: the next start removes it.
    CreateDirectoryA((folder / "updates").c_str(), nullptr);
    WriteFileAtomically(folder / "updates\\update2.dat", std::string(1000, 'x'));
    WriteFileAtomically(folder / "updates\\version.dll", std::string("MZ"));
    Wizard next(folder, false);
    EXPECT_TRUE(Eventually([&] { return !FolderExists(folder / "updates"); }));
    EXPECT_EQ(ProgramFiles(folder / "").count("version.dll"), 0u);
}

TEST(UpdateWizard, LocalUpdateFileThroughItsPage) {
    test::TempFolder source;
    for (const char* name : {"update2.dat", "update2.dat.sig"})
        ASSERT_TRUE(CopyFileA((ServerFolder() + "root\\" + name).c_str(), (source / name).c_str(), FALSE));
    WizardFolder folder("http://127.0.0.1:9");
    Wizard wizard(folder);
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows("Update from &local file"));
    SendMessageA(wizard.Visible("Update from &local file"), BM_CLICK, 0, 0);
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows("..."));
    GUITHREADINFO focus{sizeof focus};
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(wizard.Form(), nullptr), &focus));
    EXPECT_EQ(focus.hwndFocus, wizard.Visible("...")) << "the ... button has the focus";
    EXPECT_NE(wizard.Visible("< &Back"), nullptr);
    EXPECT_TRUE(wizard.Visible("Please, enter path to local database update or browse for it by clicking on ... button:"));
    const HWND edit = FindWindowExA(wizard.Form(), nullptr, "EDIT", nullptr);
    // The first EDIT is the memo of the Internet page; the path box comes after it.
    const HWND pathBox = FindWindowExA(wizard.Form(), edit, "EDIT", nullptr);
    ASSERT_NE(pathBox, nullptr);
    const std::string path = source / "update2.dat";
    SendMessageA(pathBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    wizard.Picture("3-local");
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows(kCompleted, 60s));
    EXPECT_EQ(folder.Option("DBNumber"), 2);
    EXPECT_TRUE(folder.Written("LastUpdate"));
    EXPECT_TRUE(folder.Written("LastRemind"));
    EXPECT_EQ(test::DumpFile(folder / "database.db"), test::DumpFile(ServerFolder() + "v2.db"));

    // Back leads to the source page; the run ended, so the wizard is closed and opened again.
    wizard.Press("< &Back");
    ASSERT_TRUE(wizard.Shows("Update from &local file"));
    wizard.Press("&Close");
    ASSERT_TRUE(WaitForVisibility(wizard.Form(), false));

    // The same file again: its number is not the next one, so it is refused as a failure.
    const std::string applied = folder.Raw("LastUpdate");
    wizard.Open();
    wizard.ToLocalFilePage();
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows(kFailed, 60s));
    EXPECT_TRUE(wizard.ShowsReason("Can't update database with number 2 with update number 2")) << wizard.Texts();
    EXPECT_EQ(folder.Option("DBNumber"), 2);
    EXPECT_EQ(folder.Raw("LastUpdate"), applied);
    wizard.Press("< &Back");
    ASSERT_TRUE(wizard.Shows("Update from &local file"));
    PostMessageA(wizard.Form(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForVisibility(wizard.Form(), false));

    // A file that is no update: the error page, Close hidden.
    wizard.Open();
    wizard.ToLocalFilePage();
    const std::string notAnUpdate = source / "notes.dat";
    WriteFileAtomically(notAnUpdate, std::string("not an update"));
    SendMessageA(pathBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(notAnUpdate.c_str()));
    wizard.Press("&Next >");
    ASSERT_TRUE(wizard.Shows(kFailed, 30s));
    EXPECT_EQ(wizard.Visible("&Close"), nullptr);
    EXPECT_EQ(folder.Option("DBNumber"), 2);
}

}  // namespace
}  // namespace sentrel::e2e
