// The administrator part (Sentrel4Admin.exe) as the shield runs it, through the shell's "runas"
// verb: the shield's fix and undo of a machine autostart point handed to it, and the requests a
// program of the user's could forge. Wine has no consent prompt and keeps no rules on files (every
// file is the user's), so the part these tests run checks its places for links only
// (Sentrel4AdminUnderTest.exe); the shipped part refuses to work in such a place.
#include <gtest/gtest.h>

#include <random>

#include "common/Files.h"
#include "e2e/ShieldProcess.h"
#include "monitors/AutostartPoints.h"
#include "platform/Directory.h"
#include "platform/ElevatedProcess.h"
#include "platform/FolderLinks.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/ScheduledTasks.h"
#include "platform/Services.h"
#include "platform/StartupFolders.h"
#include "support/FolderLink.h"
#include "warnings/AdminPart.h"
#include "warnings/AdminReadings.h"
#include "warnings/AutostartWarning.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel::e2e {
namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run";
constexpr const char* kItem = "Sentrel admin тест";
constexpr const char* kCommand = "C:\\Temp\\bad.exe /run";
constexpr const char* kDriver = "SentrelTestDriver";
constexpr const char* kService = "SentrelAdminTestService";
constexpr const char* kTask = "\\SentrelTests\\Admin part task";
constexpr const char* kStartupName = "sentrel admin test.lnk";

std::string StoreFolder() {
    return platform::MachineDataFolder() + "\\" + kAdminStoreFolder + "\\";
}

std::string ServiceKey(const std::string& name) {
    return std::string(platform::kServicesKey) + "\\" + name;
}

std::string CommonStartupFolder() {
    for (const platform::StartupFolder& folder : platform::StartupFolders())
        if (folder.common) return folder.path;
    return {};
}

// The table's point of the Run list of the Explorer policies for all users, as the shield names it.
std::string RunPointId() {
    for (const AutostartPoint& point : BuiltInAutostartPoints())
        if (point.root == RegistryRoot::LocalMachine && point.path == kRunKey)
            return RegistryPointId(point, RegistryView::Bits64);
    return {};
}

std::optional<std::string> RunValue() {
    return ValueReading(RegistryRoot::LocalMachine, kRunKey, kItem, RegistryView::Bits64);
}

std::string Ticket() {
    return NewAdminTicket([](std::span<std::uint8_t> bytes) {
        std::random_device random;
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    });
}

class AdminPart : public ::testing::Test {
protected:
    AdminPart() {
        CopyFileW(WideFromUtf8(BuildBinFolder() + "Sentrel4AdminUnderTest.exe").c_str(),
                  WideFromUtf8(program_).c_str(), FALSE);
        run_.DeleteValue(kItem);
        run_.WriteString(kItem, kCommand);
    }
    ~AdminPart() override {
        run_.DeleteValue(kItem);
        platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey(kDriver));
        platform::DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKey(kService));
        RemoveFile(CommonStartupFolder() + "\\" + kStartupName);
        try {
            platform::DeleteScheduledTask(kTask);
        } catch (const std::exception&) {
        }
    }

    // Runs the part with `arguments` as the shield does; its exit code.
    unsigned long Run(const std::vector<std::string>& arguments, const std::string& program = {}) {
        std::string line;
        for (const std::string& argument : arguments) line += argument + " ";
        return *platform::RunElevatedAndWait(program.empty() ? program_ : program, line, 60s);
    }
    AdminRequest Removal(AdminTarget target, std::string point, std::string item, const std::string& reading) {
        return AdminRequest{.ticket = Ticket(), .target = target,
                            .point = std::move(point), .item = std::move(item), .digest = EntryDigest(reading)};
    }
    AdminAnswer AnswerTo(const AdminRequest& request) {
        const std::string path = StoreFolder() + kAdminResultsFolder + "\\" + request.ticket + ".ini";
        return ParseAdminAnswer(FileExists(path) ? ReadFileText(path) : "").value_or(AdminAnswer{.message = "none"});
    }
    AdminRequest Undo(const std::string& change) {
        return AdminRequest{.undo = true, .ticket = Ticket(), .change = change};
    }

    test::TempFolder folder_;
    const std::string program_ = folder_ / "Sentrel4Admin.exe";
    test::TempFolder shieldFolder_;
    TBackuper backuper_{shieldFolder_.Path()};
    platform::RegistryKey run_ = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, kRunKey);
    std::vector<std::string> events_;
    WarningContext context_{.worker = {
                                .holdAutostartPoint =
                                    [this](const std::string& point) { events_.push_back("hold " + point); },
                                .acceptAutostartPoint =
                                    [this](const std::string& point, const std::string&) { events_.push_back("accept " + point); },
                                .runAdminPart = [this](const std::vector<std::string>& arguments) {
                                    return std::optional(Run(arguments));
                                },
                                .adminAnswersFolder = StoreFolder() + kAdminResultsFolder + "\\",
                                .refusedForRights = [](std::string_view) { return true; },
                            }};
};

TEST_F(AdminPart, TheShieldsFixAndUndoOfAMachineEntryGoThroughThePartAndNothingElseDoes) {
    const std::string point = RunPointId();
    ASSERT_FALSE(point.empty());
    const std::string planted = *RunValue();
    const auto warning = [&](AutostartPointWarning::Change change) {
        auto made = std::make_unique<AutostartPointWarning>(
            change, point, "the Run list of the Explorer policies for all users", RegistryRoot::LocalMachine, kRunKey,
            RegistryView::Bits64, kItem, false);
        made->Command = kCommand;
        made->Raw = planted;
        made->OldCommand = "C:\\Good\\app.exe";
        made->MakeTexts();
        return made;
    };

    // Without the part: said in plain words with the exact entry, and nothing changed.
    WarningContext without = context_;
    without.worker.runAdminPart = nullptr;
    try {
        warning(AutostartPointWarning::Change::Added)->Fix(backuper_, without);
        ADD_FAILURE() << "fixed without the part";
    } catch (const NeedsAdministratorError& error) {
        EXPECT_NE(std::string(error.what()).find("administrator part, which is not installed"), std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find(std::string("Policies\\Explorer\\Run, the value \"") + kItem),
                  std::string::npos)
            << error.what();
    }
    // Data put back is never the part's: a changed value is left to an administrator.
    try {
        warning(AutostartPointWarning::Change::Changed)->Fix(backuper_, context_);
        ADD_FAILURE() << "a changed value was handed to the part";
    } catch (const NeedsAdministratorError& error) {
        EXPECT_NE(std::string(error.what()).find("set it back to: C:\\Good\\app.exe"), std::string::npos)
            << error.what();
    }
    // An entry of the user's own account that Windows refuses to change (a program may have put a
    // rule on its key) is never handed to the part.
    int runs = 0;
    WarningContext counting = context_;
    counting.worker.runAdminPart = [&runs](const std::vector<std::string>&) {
        ++runs;
        return std::optional<unsigned long>(0);
    };
    AutostartPointWarning own(AutostartPointWarning::Change::Added, "values HKCU\\" + std::string(kRunKey),
                              "the Run list of the Explorer policies", RegistryRoot::CurrentUser, kRunKey,
                              RegistryView::Bits64, kItem, false);
    own.MakeTexts();
    try {
        own.Fix(backuper_, counting);
        ADD_FAILURE() << "fixed an entry of the user's account";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("an entry of your own account"), std::string::npos) << error.what();
    }
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(RunValue(), planted);
    EXPECT_EQ(backuper_.GetCount(), 0);

    warning(AutostartPointWarning::Change::Added)->Fix(backuper_, context_);
    EXPECT_FALSE(RunValue());
    ASSERT_EQ(backuper_.GetCount(), 1);
    const std::string change = backuper_.ReadRecord(0).GetString(kAdminChangeKey);
    ASSERT_FALSE(change.empty());
    EXPECT_TRUE(FileExists(StoreFolder() + kAdminChangesFolder + "\\" + change + "\\change.ini"));
    EXPECT_EQ(events_, (std::vector<std::string>{"hold " + point, "accept " + point}));

    ShieldWarningKind(AutostartPointWarning::kClassName).Undo(backuper_, 0, context_);
    EXPECT_EQ(RunValue(), planted);
    EXPECT_EQ(backuper_.GetCount(), 0);
    EXPECT_FALSE(FolderExists(StoreFolder() + kAdminChangesFolder + "\\" + change));
}

// A new program in the machine's Run key goes to the part too, and comes back through it.
TEST_F(AdminPart, ANewProgramOfTheMachinesRunKeyGoesAndComesBackThroughThePart) {
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    std::string point;
    for (const AutostartPoint& row : BuiltInAutostartPoints())
        if (row.kind == AutostartPointKind::AutorunValues && row.root == RegistryRoot::LocalMachine && row.path == run)
            point = RegistryPointId(row, RegistryView::Bits64);
    ASSERT_FALSE(point.empty());
    platform::RegistryKey key = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, run);
    key.WriteString(kItem, kCommand);
    TAutorunAddWarning warning(RegistryRoot::LocalMachine, "bad.exe /run", run, kItem, kCommand);
    warning.PointId = point;
    warning.MakeTexts();
    warning.Fix(backuper_, context_);
    EXPECT_FALSE(key.ValueExists(kItem));
    ASSERT_EQ(backuper_.GetCount(), 1);
    EXPECT_FALSE(backuper_.ReadRecord(0).GetString(kAdminChangeKey).empty());
    ShieldWarningKind(TAutorunAddWarning::kClassName).Undo(backuper_, 0, context_);
    EXPECT_EQ(key.ReadString(kItem), kCommand);
    EXPECT_EQ(backuper_.GetCount(), 0);
    key.DeleteValue(kItem);
}

TEST_F(AdminPart, ForgedRequestsAreRefusedAndChangeNothing) {
    const std::string point = RunPointId();
    const std::string planted = *RunValue();
    const auto refused = [&](const AdminRequest& request, unsigned long code, const std::string& why) {
        EXPECT_EQ(Run(AdminArguments(request)), code) << why;
        const AdminAnswer answer = AnswerTo(request);
        EXPECT_NE(answer.outcome, AdminOutcome::Done) << why;
        EXPECT_EQ(RunValue(), planted) << why;
        return answer.message;
    };
    refused(Removal(AdminTarget::Value, "values HKLM\\SOFTWARE\\Attacker", kItem, planted), kAdminFailed,
            "a key of the attacker's choosing");
    refused(Removal(AdminTarget::Value, "values HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", kItem, planted),
            kAdminFailed, "a point of the user's own account");
    refused(Removal(AdminTarget::Value, point, kItem, planted + "0"), kAdminThreatGone, "not what the user saw");
    refused(Undo("999999"), kAdminFailed, "no such change");
    EXPECT_EQ(Run({"/ElevatedFix", "1"}), static_cast<unsigned long>(kAdminBadCommandLine));

    // A driver is never removed, whatever the digest.
    auto driver = platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, ServiceKey(kDriver));
    driver.WriteDword("Type", SERVICE_KERNEL_DRIVER);
    driver.WriteDword("Start", SERVICE_BOOT_START);
    driver.WriteString("ImagePath", "system32\\drivers\\sentrel.sys", REG_EXPAND_SZ);
    const std::string message =
        refused(Removal(AdminTarget::Service, "services", kDriver, *ServiceReading(kDriver)), kAdminFailed, "a driver");
    EXPECT_NE(message.find("driver"), std::string::npos) << message;
    EXPECT_TRUE(platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKey(kDriver)));

    // The shipped part checks the rules of its places: Wine's files are the user's, so it refuses.
    const std::string shipped = folder_ / "shipped\\Sentrel4Admin.exe";
    CreateFolders(FolderPart(shipped));
    ASSERT_TRUE(CopyFileW(WideFromUtf8(BuildBinFolder() + "Sentrel4Admin.exe").c_str(), WideFromUtf8(shipped).c_str(),
                          FALSE));
    EXPECT_EQ(Run(AdminArguments(Removal(AdminTarget::Value, point, kItem, planted)), shipped),
              static_cast<unsigned long>(kAdminNotTrusted));
    EXPECT_EQ(RunValue(), planted);
}

TEST_F(AdminPart, ServicesTasksAndStartupFilesGoAndComeBackFromWhatThePartSavedItself) {
    // Libraries planted beside the part under the names of libraries the shield loads.
    const std::string planted = BuildBinFolder() + "PlantedLibrary.dll";
    for (const char* name : {"winhttp.dll", "bcrypt.dll", "version.dll"})
        ASSERT_TRUE(CopyFileW(WideFromUtf8(planted).c_str(), WideFromUtf8(folder_ / name).c_str(), FALSE));

    // A service of a program.
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    const SC_HANDLE made = CreateServiceW(manager, WideFromUtf8(kService).c_str(), L"Sentrel admin test",
                                          SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                          SERVICE_ERROR_NORMAL, L"C:\\Temp\\service.exe /svc", nullptr, nullptr,
                                          nullptr, nullptr, nullptr);
    ASSERT_TRUE(made) << GetLastError();
    CloseServiceHandle(made);
    CloseServiceHandle(manager);
    platform::RegistryKey::Create(HKEY_LOCAL_MACHINE, ServiceKey(kService) + "\\Parameters").WriteDword("Mode", 7);
    const AdminRequest service = Removal(AdminTarget::Service, "services", kService, *ServiceReading(kService));
    ASSERT_EQ(Run(AdminArguments(service)), 0u) << AnswerTo(service).message;
    EXPECT_FALSE(platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKey(kService)));
    ASSERT_EQ(Run(AdminArguments(Undo(AnswerTo(service).change))), 0u);
    const auto parameters = platform::RegistryKey::Open(HKEY_LOCAL_MACHINE, ServiceKey(kService) + "\\Parameters");
    ASSERT_TRUE(parameters);
    EXPECT_EQ(parameters->ReadDword("Mode"), 7u);
    EXPECT_EQ(EntryDigest(*ServiceReading(kService)), service.digest);

    // A scheduled task, registered again from the definition the part saved.
    platform::RegisterScheduledTask(kTask, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                                           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
                                           "  <Actions><Exec><Command>C:\\Temp\\task.exe</Command></Exec></Actions>\n"
                                           "</Task>\n");
    const std::string taskXml = *TaskReading(kTask);
    const AdminRequest task = Removal(AdminTarget::Task, "tasks \\", kTask, taskXml);
    ASSERT_EQ(Run(AdminArguments(task)), 0u) << AnswerTo(task).message;
    EXPECT_FALSE(TaskReading(kTask));
    ASSERT_EQ(Run(AdminArguments(Undo(AnswerTo(task).change))), 0u);
    EXPECT_EQ(TaskReading(kTask), taskXml);

    // A file of the common Startup folder; its saved copy swapped in the store is not put back.
    const std::string startup = CommonStartupFolder() + "\\" + kStartupName;
    CreateFolders(CommonStartupFolder());
    test::WriteTextFile(startup, "shortcut bytes");
    const AdminRequest file = Removal(AdminTarget::StartupFile, "files Common Startup", kStartupName, "shortcut bytes");
    ASSERT_EQ(Run(AdminArguments(file)), 0u) << AnswerTo(file).message;
    EXPECT_FALSE(FileExists(startup));
    const std::string change = AnswerTo(file).change;
    const std::string saved = StoreFolder() + kAdminChangesFolder + "\\" + change + "\\entry";
    test::WriteTextFile(saved, "a program of the attacker's");
    const AdminRequest swapped = Undo(change);
    EXPECT_EQ(Run(AdminArguments(swapped)), static_cast<unsigned long>(kAdminFailed));
    EXPECT_NE(AnswerTo(swapped).message.find("not the file that was removed"), std::string::npos)
        << AnswerTo(swapped).message;
    EXPECT_FALSE(FileExists(startup));
    test::WriteTextFile(saved, "shortcut bytes");
    ASSERT_EQ(Run(AdminArguments(Undo(change))), 0u);
    EXPECT_EQ(ReadFileText(startup), "shortcut bytes");

    // A link in place of the store's answers: the part refuses before it writes anything.
    const std::string results = StoreFolder() + kAdminResultsFolder;
    const test::TempFolder elsewhere;
    ASSERT_TRUE(MoveFileW(WideFromUtf8(results).c_str(), WideFromUtf8(results + ".kept").c_str()));
    test::MakeFolderLink(results, elsewhere.Path());
    EXPECT_EQ(Run(AdminArguments(Removal(AdminTarget::Value, RunPointId(), kItem, *RunValue()))),
              static_cast<unsigned long>(kAdminNotTrusted));
    test::RemoveTestFolderLink(results);
    ASSERT_TRUE(MoveFileW(WideFromUtf8(results + ".kept").c_str(), WideFromUtf8(results).c_str()));
    EXPECT_TRUE(RunValue());
    EXPECT_TRUE(platform::ListDirectory(elsewhere / "*").size() <= 2) << "written through the link";

    // None of the planted libraries was loaded by any of these runs; one loaded on purpose shows.
    for (const char* name : {"winhttp.dll", "bcrypt.dll", "version.dll"})
        EXPECT_FALSE(FileExists(folder_ / (std::string(name) + ".loaded"))) << name << " was loaded by the part";
    ASSERT_TRUE(CopyFileW(WideFromUtf8(planted).c_str(), WideFromUtf8(folder_ / "control.dll").c_str(), FALSE));
    const HMODULE control = LoadLibraryW(WideFromUtf8(folder_ / "control.dll").c_str());
    ASSERT_TRUE(control);
    FreeLibrary(control);
    EXPECT_TRUE(FileExists(folder_ / "control.dll.loaded"));
}

}  // namespace
}  // namespace sentrel::e2e
