#pragma once
// The life of the shield process: the start-up work that comes before any window, the windows,
// the message loop and the teardown that writes everything back.

#include <memory>
#include <string>

#include "app/SingleInstance.h"
#include "core/Scheduler.h"
#include "database/Lookups.h"
#include "ui/MainForm.h"

namespace sentrel {

class Scheduler;
class TBackuper;
class TDispatcher;
class TShieldLevel;
class ProcessMonitor;
class TColorList;
class TCookieScan;
class TSliceCursor;
class TFileChangesTracker;
class TShieldMoves;
class TRegistryWatches;
class AutostartMonitor;
class WarningQueue;
class TThreatTables;
class TOptions;
class TDataBaseUpdater;
class TSignatureVerifier;
struct WarningContext;

namespace platform {
class OffThread;
}
namespace platform::uitask {
class Host;
}

namespace ui {
class TAlertForm;
class TClosingForm;
class TFirstSplashForm;
class TOptionsForm;
class TSplashForm;
class TUpdateForm;
class HelpEngine;
}

class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the whole life of the process and returns its exit code.
    int Run();

    // Asks the message loop to end; the teardown follows.
    void Terminate();

private:
    // The start-up steps before any window. False when the program must end at once (the
    // user has been told why).
    bool StartBeforeWindows();
    // Loads database.db from the program folder; false (after telling the user) when it is
    // missing or damaged.
    bool OpenDataBase();
    void CreateWindows();
    // The help file's path and the help engine; says so when there is no engine.
    void FindHelp();
    // The first-run window on the first start; "FirstRun" becomes false once the user closed it.
    void ShowFirstRun();
    // Whether the main window stays in the tray at start ("RunMinimized" after the first run).
    bool StartsHidden() const;
    // The entry points of the options dialog and the update wizard.
    void ShowOptions(ui::OptionsPage page);
    void ShowUpdateWizard(bool modal);
    // After an update was applied: the windows show the new database's date and count.
    void DataBaseUpdated();
    void CreateUpdateForm();
    // The main window's database lines from the options.
    void ShowDatabase();
    // The rest of start-up, once the main window exists: the program folder as the current
    // folder, the warning context, the warning queue, the white and black lists, the registry
    // watches.
    void CompleteStartup();
    // What fixes and undos reach of the running shield: the threat database and the monitors.
    WarningContext MakeWarningContext();
    // Whether the threat database knows the program file at `path` (autorun pass and file fixes).
    bool IsKnownSpywareProgram(const std::string& path) const;
    // Why a finding looks dangerous, by the rules and the malicious hosts of the threat database.
    DangerVerdict JudgeDanger(const DangerSubject& subject) const;
    // Connects the monitors and the dispatcher to each other and to the scheduler, applies the
    // stored security level and starts the dispatcher.
    void StartShield();
    // The timer-driven monitors as the scheduler runs them: name, interval, level switch, slice.
    std::vector<MonitorEntry> MonitorEntries();
    int RunMessageLoop();
    // How the lookups see this machine now (the folders may change while the shield runs).
    static TLookupSystem LookupSystem();
    // Writes the database and the options back; runs once, at the end of the message loop or
    // when the Windows session ends.
    void WriteBack();
    // Destroys the windows before what they use (the options, the level, the lists, the help
    // engine); after the message loop, and from the destructor when start-up failed (a second
    // call finds nothing left).
    void DestroyWindows();

    SingleInstance instance_;
    // The window thread's tasks: what worker threads hand over. Goes after every window.
    std::unique_ptr<platform::uitask::Host> uiTasks_;
    // The fixes' workers; drained before the windows and the queue go.
    std::unique_ptr<platform::OffThread> offThread_;
    // The file monitor's marks of the shield's own moves, shared with the fixes' workers.
    std::shared_ptr<TShieldMoves> shieldMoves_;
    std::unique_ptr<TBackuper> backuper_;
    std::unique_ptr<TOptions> options_;
    std::unique_ptr<TThreatTables> threats_;
    std::unique_ptr<ui::TMainForm> mainForm_;
    std::unique_ptr<ProcessMonitor> processMonitor_;
    std::unique_ptr<WarningContext> warnings_;
    std::unique_ptr<WarningQueue> queue_;
    std::unique_ptr<TRegistryWatches> registryWatches_;
    std::unique_ptr<AutostartMonitor> autostart_;
    // Where the sliced folder and cookie scans stand between their ticks.
    std::unique_ptr<TSliceCursor> folderScan_;
    std::unique_ptr<TCookieScan> cookieScan_;
    std::unique_ptr<TFileChangesTracker> fileChanges_;
    std::unique_ptr<TColorList> whiteList_;
    std::unique_ptr<TColorList> blackList_;
    std::unique_ptr<ui::TOptionsForm> optionsForm_;
    std::unique_ptr<ui::TAlertForm> alertForm_;
    std::unique_ptr<ui::TClosingForm> closingForm_;
    std::shared_ptr<const TSignatureVerifier> verifier_;
    std::unique_ptr<TDataBaseUpdater> updater_;
    std::unique_ptr<ui::TUpdateForm> updateForm_;
    std::unique_ptr<ui::TSplashForm> splashForm_;
    std::unique_ptr<ui::TFirstSplashForm> firstSplashForm_;
    std::unique_ptr<ui::HelpEngine> help_;
    std::string helpFile_;
    std::unique_ptr<TDispatcher> dispatcher_;
    std::unique_ptr<Scheduler> scheduler_;
    std::unique_ptr<TShieldLevel> shieldLevel_;
    bool writtenBack_ = false;
    bool terminating_ = false;
};

}  // namespace sentrel
