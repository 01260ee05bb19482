#include "app/Application.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include <windows.h>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/Startup.h"
#include "core/Catcher.h"
#include "core/ColorList.h"
#include "core/Dispatcher.h"
#include "core/InetUpdateThread.h"
#include "core/Scheduler.h"
#include "core/SecurityLevels.h"
#include "core/ShieldLevel.h"
#include "core/WarningQueue.h"
#include "database/Cipher.h"
#include "database/DataBase.h"
#include "database/DataBaseUpdate.h"
#include "database/ThreatTables.h"
#include "database/UpdateSignature.h"
#include "monitors/AutostartMonitor.h"
#include "monitors/RegistryPointsSource.h"
#include "monitors/BrowserExtensionsSource.h"
#include "monitors/CookieStoresSource.h"
#include "monitors/BrowserShortcutsSource.h"
#include "monitors/FirefoxPreferencesSource.h"
#include "monitors/ProgramSigners.h"
#include "monitors/ServicesSource.h"
#include "monitors/FilePointsSource.h"
#include "monitors/StartupSources.h"
#include "monitors/WmiBitsSources.h"
#include "monitors/CookieRules.h"
#include "monitors/FileMonitor.h"
#include "monitors/FolderRules.h"
#include "monitors/ProcessMonitor.h"
#include "monitors/RegistryMonitors.h"
#include "monitors/Scanners.h"
#include "database/CngSignatureVerifierWin.h"
#include "database/MappedFileAccessWin.h"
#include "platform/ElevatedProcess.h"
#include "platform/OffThread.h"
#include "platform/ProgramFolder.h"
#include "warnings/AdminIntent.h"
#include "platform/UiTask.h"
#include "database/ShellFoldersWin.h"
#include "config/DateTimeFormat.h"
#include "config/SystemClock.h"
#include "ui/AlertForm.h"
#include "ui/ClosingForm.h"
#include "ui/FirstSplashForm.h"
#include "ui/HelpEngine.h"
#include "ui/MainForm.h"
#include "ui/MessageBox.h"
#include "ui/OptionsForm.h"
#include "ui/SplashForm.h"
#include "ui/UpdateForm.h"
#include "warnings/Backuper.h"
#include "warnings/WarningKinds.h"

namespace sentrel {

namespace {

constexpr const char* kDataBaseFileName = "database.db";
constexpr const char* kMissingDataBaseMessage = "Unable to load database file";
constexpr const char* kInvalidDataBaseMessage = "This is not valid database file!";
constexpr const char* kNoHelpEngineMessage = "HTML Help is not installed on this PC.";
constexpr const char* kHelpFileName = "Help\\Help.chm";
constexpr const char* kDiagnosticLogName = "Sentrel4.log";
constexpr const char* kUpdateServerKey = "UpdateServer";
// Seconds; shortens the update's time-outs (a test against a silent server).
constexpr const char* kUpdateTimeoutKey = "UpdateTimeout";
// The registry editor's program, for the tests (a stand-in that takes its time). Read only by a
// build with the test update key: a shipped shield never runs a program an options file names.
constexpr const char* kRegistryEditorKey = "RegistryEditor";
// How many unreadable rows of autostart_points.ini the message names; the log has them all.
constexpr std::size_t kShownTableProblems = 8;
// How long the end of the run waits for a fix that is still acting.
constexpr unsigned kFixWaitAtEndMs = 15000;
// How long a fix waits for the administrator part once the user has answered the system's
// question (stopping a service alone may take 20 s).
constexpr std::chrono::minutes kAdminPartTimeout{5};
// The interval of the passes over the autostart points.
constexpr unsigned kAutorunListIntervalMs = 6000;
// The scheduled tasks are listed (off the window thread) at most this often.
constexpr unsigned kTaskListingIntervalMs = 15000;
// WMI and BITS tell of no change a user's program can wait for (their stores are the system's):
// they are listed every five minutes, each by a helper process of this program, off the window
// thread, so that what a listing loads into a process ends with the helper.
constexpr unsigned kComListingIntervalMs = 5 * 60000;

// The administrator part, where an administrator installed it (under the machine's program
// files folder, which only administrators can write): run through the system's question for an
// administrator's consent. Empty where it is not installed; the shield never elevates anything
// else.
std::function<std::optional<unsigned long>(const std::vector<std::string>&)> AdminPartRunner() {
    std::string program;
    try {
        program = platform::MachineProgramsFolder() + "\\" + kAdminProgramFolder + "\\" + kAdminProgramName;
    } catch (const std::exception&) {
        LogCaught("administrator part");
        return {};
    }
    if (!FileExists(program)) {
        LogEvent("the administrator part is not installed");
        return {};
    }
    return [program](const std::vector<std::string>& arguments) {
        std::string parameters;
        for (const std::string& argument : arguments) parameters += (parameters.empty() ? "" : " ") + argument;
        return platform::RunElevatedAndWait(program, parameters, kAdminPartTimeout);
    };
}

std::string AdminAnswersFolder() {
    try {
        return platform::MachineDataFolder() + "\\" + kAdminStoreFolder + "\\" + kAdminResultsFolder + "\\";
    } catch (const std::exception&) {
        LogCaught("administrator part's answers");
        return {};
    }
}

// Without the system's signature check no update can be trusted: every one is refused, and the
// shield runs on with the database it has.
class RefusingVerifier : public TSignatureVerifier {
public:
    bool Verify(std::span<const std::uint8_t>, std::span<const std::uint8_t>) const override { return false; }
};

// What the update worker uses on its own thread: its own access to the options, the signature
// check and an updater over them. The worker's closures hold it, so it lives as long as the
// worker, even one that ends after the windows.
struct WorkerUpdate {
    WorkerUpdate(const std::string& programFolder, std::shared_ptr<const TSignatureVerifier> signatureCheck)
        : verifier(std::move(signatureCheck)),
          options(kOptionsFileName, programFolder),
          updater(programFolder + kDataBaseFileName, std::string(kDataBasePassPhrase), options, *verifier) {}
    std::shared_ptr<const TSignatureVerifier> verifier;
    TOptions options;
    TDataBaseUpdater updater;
};

// What the user is told of the rows of the program folder's autostart_points.ini that were
// skipped: the file, each line and why.
std::string AutostartTableProblemsMessage(const std::vector<std::string>& problems) {
    std::string text = std::string("Sentrel could not read some rows of ") + kAutostartPointsFileName +
                       " in its program folder, so the points they name are not watched. The autostart points "
                       "built into Sentrel are watched as always.\n";
    for (std::size_t i = 0; i < problems.size() && i < kShownTableProblems; ++i)
        text += "\n" + ui::ReadableDetail(problems[i], 300);
    if (problems.size() > kShownTableProblems)
        text += "\n... and " + std::to_string(problems.size() - kShownTableProblems) + " more (see Sentrel4.log).";
    return text + "\n\nCorrect these rows or remove them from the file.";
}

}  // namespace

Application::Application() = default;

Application::~Application() {
    // Start-up that failed half-way leaves windows that use what was made before them: they go
    // first, in their own order, never in the order the members were declared.
    DestroyWindows();
}

int Application::Run() {
    // Another instance runs: say so and end at once, before anything of the program folder
    // (options, working files of the database) is touched.
    if (!instance_.Acquire()) {
        ui::ShowError(kSecondInstanceMessage);
        return 1;
    }
    CreateSettingsFolder(platform::UserAppDataFolder());
    OpenDiagnosticLog(SettingsFolder(platform::UserAppDataFolder()) + kDiagnosticLogName);
    LogEvent("start");
    // What an update run cut short by a crash or a power cut downloaded.
    RemoveUpdateDownloads(platform::ProgramFolder());
    if (!StartBeforeWindows()) return 1;

    uiTasks_ = std::make_unique<platform::uitask::Host>();
    offThread_ = std::make_unique<platform::OffThread>();
    CreateWindows();
    const int exitCode = RunMessageLoop();
    DestroyWindows();
    // What is still queued for the window thread is dropped unrun.
    uiTasks_.reset();
    WriteBack();
    // The stores go last: the end of the Windows session may have written everything back while
    // start-up was still using them.
    options_.reset();
    backuper_.reset();
    LogEvent("stop, exit code " + std::to_string(exitCode));
    return exitCode;
}

void Application::Terminate() {
    terminating_ = true;
    PostQuitMessage(0);
}

bool Application::StartBeforeWindows() {
    StartupHooks hooks;
    hooks.createBackupStore = [this] { backuper_ = std::make_unique<TBackuper>(ProgramFolder()); };
    hooks.openDatabase = [this] { return OpenDataBase(); };
    hooks.tableRowCounts = [this] { return ThreatRowCounts(threats_->DataBase()); };
    options_ = RunOptionsStartup(platform::ProgramFolder(), platform::UserAppDataFolder(), hooks);
    return options_ != nullptr;
}

bool Application::OpenDataBase() {
    const std::string path = ProgramFolder() + kDataBaseFileName;
    if (!FileExists(path)) {
        ui::ShowError(kMissingDataBaseMessage);
        return false;
    }
    try {
        // The lookup indexes are built with the tables and belong to them.
        threats_ = std::make_unique<TThreatTables>(
            std::make_unique<TDataBase>(path, true, std::string(kDataBasePassPhrase)));
    } catch (const std::exception& error) {
        LogCaught("database load");
        // The damaged file stays as it is: nothing is written back when the load failed.
        ui::ShowError(std::string("The threat database could not be loaded, so Sentrel cannot protect this "
                                  "computer.\n\n") +
                      ui::ReadableDetail(error.what()) +
                      "\n\nReinstall Sentrel or restore database.db from a backup.");
        return false;
    }
    return true;
}

void Application::CreateWindows() {
    const std::string graphics = ProgramFolder() + "graphics\\";
    mainForm_ = std::make_unique<ui::TMainForm>(ui::TMainForm::Callbacks{
        .terminate = [this] { Terminate(); },
        .endSession = [this] { WriteBack(); },
        // A level chosen from the tray while start-up still shows a message waits for the shield.
        .setLevel = [this](int level) { if (optionsForm_) optionsForm_->SetOptions(level); },
        .showOptions = [this](ui::OptionsPage page) { ShowOptions(page); },
        .showUpdateWizard = [this](bool modal) { ShowUpdateWizard(modal); },
    });
    closingForm_ = std::make_unique<ui::TClosingForm>([this] { Terminate(); });
    splashForm_ = std::make_unique<ui::TSplashForm>(graphics);
    firstSplashForm_ = std::make_unique<ui::TFirstSplashForm>(graphics);
    help_ = std::make_unique<ui::HelpEngine>();

    mainForm_->Create();
    mainForm_->CreateFace(*options_, graphics, platform::FullPathName(ProgramFolder() + kHelpFileName), *help_,
                          *closingForm_, *splashForm_);
    processMonitor_ = std::make_unique<ProcessMonitor>();
    CompleteStartup();
    alertForm_ = std::make_unique<ui::TAlertForm>(
        ui::TAlertForm::Context{
            .queue = *queue_,
            .whiteList = *whiteList_,
            .blackList = *blackList_,
            .backuper = *backuper_,
            .options = *options_,
            .repaintMainWindow =
                [this] { RedrawWindow(mainForm_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); },
            .settleWaiting =
                [this](bool fresh) {
                    return !dispatcher_ || dispatcher_->SettleWaiting(TimeBudget(kMonitorSliceTime), fresh).finished;
                },
        },
        graphics, mainForm_->Handle());
    alertForm_->Create();
    // The alert keeps its count of waiting warnings current while the queue grows.
    queue_->SetCountListener([this] { if (alertForm_) alertForm_->ShowWaitingCount(); });
    closingForm_->Create(mainForm_->Handle());
    CreateUpdateForm();
    splashForm_->Create();
    firstSplashForm_->Create();
    FindHelp();
    // The system-folder watcher stays off until the security level switches it on.
    fileChanges_ = std::make_unique<TFileChangesTracker>(
        TFileChangesTracker::WindowsFolder(), [this]() -> const TThreatTables& { return *threats_; }, *queue_,
        LookupSystem(), shieldMoves_);
    // A known file started right after it appeared is reported once, as the running program.
    fileChanges_->SetRunningPrograms(
        &ListRunningProgramPaths,
        [this](const std::string& path, std::uint64_t sinceMs) {
            return processMonitor_ && processMonitor_->ToldAsStartedSince(path, sinceMs);
        },
        [this](const std::string& path) {
            if (processMonitor_) processMonitor_->NoteToldAsProgram(path);
        });
    StartShield();
}

void Application::FindHelp() {
    if (!help_->Load()) ui::ShowInformation(kNoHelpEngineMessage);
}

bool Application::StartsHidden() const {
    return !options_->ReadBool("FirstRun", true) && options_->ReadBool("RunMinimized", false);
}

void Application::ShowFirstRun() {
    if (!options_->ReadBool("FirstRun", true)) return;
    if (firstSplashForm_->ShowModalOver(mainForm_->Handle())) options_->WriteBool("FirstRun", false);
}

void Application::ShowOptions(ui::OptionsPage page) {
    if (optionsForm_) optionsForm_->Present(ui::PageIndexOf(page));
}

void Application::CreateUpdateForm() {
    try {
        verifier_ = CngSignatureVerifier::ForBuiltInKey();
    } catch (const std::exception&) {
        LogCaught("the system's signature check");
        verifier_ = std::make_unique<RefusingVerifier>();
    }
    updater_ = std::make_unique<TDataBaseUpdater>(ProgramFolder() + kDataBaseFileName,
                                                  std::string(kDataBasePassPhrase), *options_, *verifier_);
    const auto worker = std::make_shared<WorkerUpdate>(ProgramFolder(), verifier_);
    std::string server = options_->ReadString(kUpdateServerKey, SENTREL_UPDATE_SERVER);
    while (!server.empty() && server.back() == '/') server.pop_back();
    platform::HttpTimeouts timeouts;
    if (const int seconds = options_->ReadInteger(kUpdateTimeoutKey, 0); seconds > 0 && seconds < 60) {
        for (int* timeout : {&timeouts.resolveMs, &timeouts.connectMs, &timeouts.sendMs, &timeouts.receiveMs})
            *timeout = std::min(*timeout, seconds * 1000);
    }
    updateForm_ = std::make_unique<ui::TUpdateForm>(ui::TUpdateForm::Context{
        .options = *options_,
        .programFolder = ProgramFolder(),
        .updateServer = server,
        .timeouts = timeouts,
        .supportAddress = SENTREL_SUPPORT_ADDRESS,
        .helpFile = platform::FullPathName(ProgramFolder() + kHelpFileName),
        .help = help_.get(),
        .verify = [worker](const std::string& path) { ReadSignedUpdate(path, *worker->verifier); },
        .prepare =
            [worker](const std::string& path, const std::function<bool()>& cancelled) {
                return worker->updater.Prepare(path, cancelled);
            },
        .commit = [this](TPreparedUpdate prepared) { return updater_->Commit(std::move(prepared), *threats_); },
        .updated = [this] { DataBaseUpdated(); },
    });
    updateForm_->Create(mainForm_->Handle());
}

void Application::ShowUpdateWizard(bool modal) {
    updateForm_->Present(mainForm_->Handle(), modal);
}

void Application::DataBaseUpdated() {
    ShowDatabase();
}

void Application::ShowDatabase() {
    const TDateTime lastUpdate = options_->ReadDateTime("LastUpdate", CurrentDateTime());
    std::string date;
    try {
        date = FormatPicture(lastUpdate, UserDateTimeFormat().shortDate, UserDateTimeFormat());
    } catch (const std::exception&) {
        LogCaught("database date");
        // A date outside the calendar shows as nothing rather than stopping the level switch.
    }
    mainForm_->ShowDatabase(date, options_->ReadInteger("KnownSpywares", 50000));
    // The About page shows the same two lines.
    if (optionsForm_) optionsForm_->ShowDataBaseState();
}

TLookupSystem Application::LookupSystem() {
    return TLookupSystem{SystemFileAccess(), MacroFolders(), platform::ProgramFolder()};
}

bool Application::IsKnownSpywareProgram(const std::string& path) const {
    return IsKnownSpywareFile(*threats_, LookupSystem(), path).Found;
}

DangerVerdict Application::JudgeDanger(const DangerSubject& subject) const {
    const auto folderOf = [](std::string_view name) {
        const std::string pattern = "%" + std::string(name) + "%";
        std::string folder = platform::ExpandEnvironmentNames(pattern);
        return folder == pattern ? std::string() : folder;
    };
    return threats_->DangerRules().Judge(subject, folderOf,
                                         [this](std::string_view host) { return threats_->Hosts().IsMaliciousHost(host); });
}

WarningContext Application::MakeWarningContext() {
    return {
        .worker =
            {
                // From a fix's worker, which may outlive the tracker: the marks are shared.
                .markShieldMove = [moves = shieldMoves_](const std::string& path) { moves->Add(path, GetTickCount64()); },
                .holdAutostartPoint = [gate = autostart_->Gate()](const std::string& point) { gate->Hold(point); },
                .acceptAutostartPoint = [gate = autostart_->Gate()](const std::string& point,
                                                                    const std::string& item) { gate->Accept(point, item); },
                .registryEditor =
                    BuiltWithTestUpdateKey() ? options_->ReadString(kRegistryEditorKey, "") : std::string(),
                .runAdminPart = AdminPartRunner(),
                .adminAnswersFolder = AdminAnswersFolder(),
            },
        .window =
            {
                .isKnownSpywareFile = [this](const std::string& path) { return IsKnownSpywareProgram(path); },
                .isTrackingCookie =
                    [this](const std::string& name) { return IsTrackingCookie(threats_->DataBase(), name); },
                .isSpywareFolder =
                    [this](const std::string& folderPath) {
                        return IsSpywareFolder(threats_->DataBase(), MacroFolders(), folderPath);
                    },
                .refreshWatchedValue =
                    [this](RegistryRoot root, const std::string& key, const std::string& value, RegistryView view) {
                        registryWatches_->RefreshKnownRegString(root, key, value, view);
                    },
            },
    };
}

void Application::StartShield() {
    dispatcher_ = std::make_unique<TDispatcher>(TDispatcher::Context{
        .queue = *queue_,
        .whiteList = *whiteList_,
        .blackList = *blackList_,
        .options = *options_,
        .backuper = *backuper_,
        .showAlert =
            [this](const AlertTexts& texts) {
                alertForm_->ShowWarning(texts.title, texts.description, texts.identity, texts.picture, texts.danger,
                                        texts.signature, texts.command, texts.reasons);
                alertForm_->Present();
            },
        .tellUser = [this](const std::string& text) { mainForm_->ShowBalloon(text); },
        .tell = [this](const std::string& text) { ui::ShowInformation(text, mainForm_->Handle()); },
    });
    scheduler_ = std::make_unique<Scheduler>();
    scheduler_->SetMainTimerTick([this] { dispatcher_->MainTimerTimer(); });
    scheduler_->SetMonitors(MonitorEntries());

    queue_->SetAlertBusy(false);
    shieldLevel_ = std::make_unique<TShieldLevel>(TShieldLevel::Monitors{
        .options = *options_,
        .fileChanges = *fileChanges_,
        .scheduler = *scheduler_,
        .executablePath = platform::ExecutablePath(),
    });
    optionsForm_ = std::make_unique<ui::TOptionsForm>(ui::TOptionsForm::Context{
        .options = *options_,
        .shieldLevel = *shieldLevel_,
        .whiteList = *whiteList_,
        .blackList = *blackList_,
        .backuper = *backuper_,
        .warnings = *warnings_,
        .registryWatches = *registryWatches_,
        .mainForm = *mainForm_,
        .help = *help_,
        .helpFile = platform::FullPathName(ProgramFolder() + kHelpFileName),
        .showDatabase = [this] { ShowDatabase(); },
        .runOffThread =
            [this](std::function<void()> act, std::function<void()> finish) {
                if (!offThread_) throw std::logic_error("no undo starts once the windows are going");
                offThread_->Run(std::move(act), std::move(finish));
            },
    });
    optionsForm_->Create();
    // Decided before the first-run window can change "FirstRun": the very first start always
    // shows the main window.
    const bool hidden = StartsHidden();
    optionsForm_->SetOptions(options_->ReadInteger(kShieldKey, 0));
    mainForm_->ShowTrayIcon();
    LogEvent("in the tray");
    ShowFirstRun();
    // Ended while the first-run window was up: nothing more starts, the teardown follows.
    if (terminating_) return;
    scheduler_->SetTimerEnabled(kMainTimerName, true);
    if (!hidden) mainForm_->ShowMainWindow();
}

void Application::CompleteStartup() {
    shieldMoves_ = std::make_shared<TShieldMoves>();
    autostart_ = std::make_unique<AutostartMonitor>(
        SettingsFolder(platform::UserAppDataFolder()) + kAutostartBaselineFileName,
        [this](const std::string& path) { return IsKnownSpywareProgram(path); });
    std::vector<std::string> tableProblems;
    const std::vector<AutostartPoint> points =
        LoadAutostartPoints(ProgramFolder() + std::string(kAutostartPointsFileName), tableProblems);
    // Told once the window thread runs its messages, so start-up does not wait for the answer.
    if (!tableProblems.empty()) {
        platform::uitask::Post([this, text = AutostartTableProblemsMessage(tableProblems)] {
            ui::ShowError(text, mainForm_ ? mainForm_->Handle() : nullptr);
        });
    }
    autostart_->AddSource(MakeRegistryPointsSource(points));
    autostart_->AddSource(MakeStartupFilesSource(points));
    autostart_->AddSource(MakeFilePointsSource(
        points, SettingsFolder(platform::UserAppDataFolder()) + std::string(kKeptFilesFolderName) + "\\"));
    autostart_->AddSource(MakeServicesSource(points));
    const AutostartRunner offThread = [this](std::function<void()> work, std::function<void()> finish) {
        if (offThread_) offThread_->Run(std::move(work), std::move(finish));
    };
    autostart_->SetSignerLookup([signers = std::make_shared<ProgramSigners>(offThread)](const std::string& program) {
        return signers->Lookup(program);
    });
    autostart_->SetProgramLocator([](const std::string& program) { return ProgramFilePath(program); });
    autostart_->SetDangerJudge([this](const DangerSubject& subject) { return JudgeDanger(subject); });
    autostart_->AddSource(MakeScheduledTasksSource(points, autostart_->Gate(), offThread, kTaskListingIntervalMs));
    autostart_->AddSource(MakeWmiSubscriptionsSource(
        points, autostart_->Gate(), offThread, kComListingIntervalMs,
        ListInHelper(platform::ExecutablePath(), AutostartPointKind::WmiSubscriptions)));
    autostart_->AddSource(MakeBitsJobsSource(points, autostart_->Gate(), offThread, kComListingIntervalMs,
                                             ListInHelper(platform::ExecutablePath(), AutostartPointKind::BitsJobs)));
    autostart_->AddSource(MakeBrowserShortcutsSource(points, autostart_->Gate(), offThread));
    autostart_->AddSource(MakeBrowserExtensionsSource(UserBrowserDataFolders()));
    autostart_->AddSource(MakeFirefoxPreferencesSource(UserBrowserDataFolders()));
    autostart_->AddSource(MakeCookieStoresSource(UserBrowserDataFolders(), offThread,
                                                 [this]() -> const THostLists& { return threats_->Hosts(); },
                                                 [this](const std::string& cookie) {
                                                     return IsTrackingCookie(threats_->DataBase(), cookie);
                                                 }));
    processMonitor_->SetRunner([this](std::function<void()> work, std::function<void()> finish) {
        if (offThread_) offThread_->Run(std::move(work), std::move(finish));
    });
    warnings_ = std::make_unique<WarningContext>(MakeWarningContext());
    // A fix acts on a worker; its finish comes back to the window thread.
    queue_ = std::make_unique<WarningQueue>(*warnings_, [this](std::function<void()> act,
                                                               std::function<void()> finish) {
        if (!offThread_) throw std::logic_error("no fix starts once the windows are going");
        offThread_->Run(std::move(act), std::move(finish));
    });
    whiteList_ = std::make_unique<TColorList>(ProgramFolder() + std::string(kWhiteListFileName));
    blackList_ = std::make_unique<TColorList>(ProgramFolder() + std::string(kBlackListFileName));
    registryWatches_ = std::make_unique<TRegistryWatches>();
    registryWatches_->SetDangerJudge([this](const DangerSubject& subject) { return JudgeDanger(subject); });
    folderScan_ = std::make_unique<TSliceCursor>();
    cookieScan_ = std::make_unique<TCookieScan>();
    registryWatches_->AddRegTimerWatches(ProgramFolder() + std::string(kKeysToWatchFileName));
}

std::vector<MonitorEntry> Application::MonitorEntries() {
    return {
        {"ProcessTimer", 500, "Processes",
         [this](const SliceBudget&) {
             // One module per tick: every tick is a whole step of its own.
             processMonitor_->ProcessTimerTimer(*threats_, *queue_, LookupSystem());
             return true;
         }},
        // The autostart points, the autorun keys among them.
        {"AutorunListTimer", kAutorunListIntervalMs, "Autorun",
         [this](const SliceBudget& budget) { return autostart_->Slice(*queue_, budget); }},
        {"RegChangeTimer", 4500, "RegChange",
         [this](const SliceBudget& budget) { return registryWatches_->RegChangeTimerSlice(*queue_, budget); }},
        {"RegistryTimer", 5000, "Registry",
         [this](const SliceBudget& budget) {
             return registryWatches_->RegistryTimerSlice(*threats_, *queue_, budget);
         }},
        {"CookiesTimer", 10000, "Cookies",
         [this](const SliceBudget& budget) {
             return CookiesTimerSlice(*threats_, *queue_, CookiesFolder(), *cookieScan_, budget);
         }},
        {"FoldersTimer", 9000, "Folders",
         [this](const SliceBudget& budget) {
             return FoldersTimerSlice(*threats_, *queue_, MacroFolders(), *folderScan_, budget);
         }},
    };
}

int Application::RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL result = GetMessageA(&message, nullptr, 0, 0);
        if (result == 0) return static_cast<int>(message.wParam);
        if (result == -1) return 1;
        // F1 anywhere in the main window; Tab and the arrow keys move between the alert's
        // controls as in a dialog.
        if (mainForm_ && mainForm_->PreviewKey(message)) continue;
        if (optionsForm_ && optionsForm_->PreviewMessage(message)) continue;
        if (alertForm_ && IsDialogMessageA(alertForm_->Handle(), &message)) continue;
        if (updateForm_ && updateForm_->PreviewMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void Application::DestroyWindows() {
    // The clock stops first: no tick reaches a window or a monitor on its way out.
    if (scheduler_) {
        scheduler_->StopAll();
        scheduler_->LogCosts();
    }
    // A fix still acting is waited for (bounded) and finished while the queue and the windows
    // are there, so its backup record is written; one that does not end in time is left to the
    // process's end and uses nothing that goes here.
    if (offThread_ && offThread_->Pending() > 0) {
        LogEvent("waiting for " + std::to_string(offThread_->Pending()) + " fix(es) or undo(s) at the end");
        offThread_->Drain(kFixWaitAtEndMs);
    }
    // Nothing a late worker posts reaches what goes below.
    offThread_.reset();
    // In the reverse order of creation; the main window last: its tray icon goes and it closes
    // the help windows. Nothing of the shield is reached after.
    firstSplashForm_.reset();
    splashForm_.reset();
    // Waits (bounded) for a running update: it is either committed whole or not at all.
    updateForm_.reset();
    closingForm_.reset();
    if (queue_) queue_->SetCountListener({});
    alertForm_.reset();
    // It writes the level in force as the one the next start applies.
    optionsForm_.reset();
    mainForm_.reset();
    help_.reset();
    shieldLevel_.reset();
    scheduler_.reset();
    dispatcher_.reset();
    fileChanges_.reset();
    processMonitor_.reset();
    registryWatches_.reset();
    autostart_.reset();
    blackList_.reset();
    whiteList_.reset();
    queue_.reset();
    warnings_.reset();
}

void Application::WriteBack() {
    if (writtenBack_) return;
    writtenBack_ = true;
    if (threats_) {
        try {
            threats_->Save();
        } catch (const std::exception&) {
            LogCaught("database write-back");
            ui::ShowError(kInvalidDataBaseMessage);
        }
    }
}

}  // namespace sentrel
