#pragma once
// The warning kinds: one row per kind says everything the shield needs to know about it apart
// from its data (the warning classes, warnings/Warning.h): the name its backup records carry,
// the categories of standing actions it belongs to, whether it has an undo, its fix, its undo
// and the builder of its texts. Adding a kind is adding a row and its functions
// (warnings/WarningKinds.cpp holds the shield's rows).
//
// What a fix or an undo needs of the running shield comes in one WarningContext, passed with
// every call; nothing is found through a global. It has two parts, and the type says which a
// function may reach: the worker part (WarningWorkerContext), safe from any thread, is all a
// fix's act and an undo get; the window part (WarningWindowContext) is only for the window
// thread: the plan's checks and the finish's hooks.
//
// A fix runs in three steps, so that the windows keep answering while it works: Plan on the
// window thread (the warning copied as values, the threat database asked again, the backup
// record reserved), Act on a worker thread (the system changed; it writes only into the
// reserved record's folder and leaves what it did in a FixOutcome) and Finish on the window
// thread again (the record written into the store, the context's hooks run). PlannedFix holds
// the three; FixNow runs them in a row.

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/AdminPart.h"
#include "warnings/Backuper.h"
#include "warnings/RootKeys.h"

namespace sentrel {

class TBackuper;
class TWarning;
struct WarningContext;
struct WarningWindowContext;
struct WarningWorkerContext;

// What a fix's act leaves for its finish.
struct FixOutcome {
    // The reserved record is written with these keys (its "BackupFolder" comes first by
    // itself); left false, the record is given up.
    bool keepRecord = false;
    std::vector<BackupValue> recordKeys;
    // What the user is to be told; the window layer shows it, owned by its window.
    std::vector<std::string> notices;
    // Runs in the finish, on the window thread (the context's window hooks).
    std::function<void(const WarningWindowContext& context)> after;
};

// What the alert shows of a warning, and the line its backup record keeps as "Desc". Each name
// from outside is put in made safe to show (common/SafeDisplayText.h): the builders are the one
// place where a name becomes text a person reads; the warning's own data stays as it was found.
struct WarningTexts {
    std::string title;
    std::string description;
    std::string picture;     // "bug", "what" or "garbage"
    std::string danger;      // "_red" or empty
    std::string backupLine;  // empty for a kind whose fix makes no backup record
    // What names the finding beyond doubt (an extension's id and folder, a file's path, a
    // registry entry's key), which the alert shows in a field of its own where no name in the
    // description can hide it; empty where there is nothing more to name.
    std::string identity;
};

// The option keys of the categories a kind can belong to; core/CategoryActions.h says in which
// order the dispatcher asks them.
inline constexpr std::string_view kFilesCategory = "FilesAction";
inline constexpr std::string_view kAutorunCategory = "AutorunAction";
inline constexpr std::string_view kProcessesCategory = "ProcessesAction";
inline constexpr std::string_view kBrowserSettingsCategory = "BrowserSettingsAction";
inline constexpr std::string_view kRegistryCategory = "RegistryAction";
inline constexpr std::string_view kCookiesCategory = "CookiesAction";
inline constexpr std::string_view kFoldersCategory = "FoldersAction";
inline constexpr std::string_view kAutostartCategory = "AutostartAction";
inline constexpr std::string_view kStartupFilesCategory = "StartupFilesAction";
inline constexpr std::string_view kScheduledTasksCategory = "ScheduledTasksAction";
inline constexpr std::string_view kBrowserExtensionsCategory = "BrowserExtensionsAction";
inline constexpr std::string_view kServicesCategory = "ServicesAction";

struct WarningKind {
    // The plan's look just before a fix acts (window thread): throws ThreatGoneError when the
    // thing found is no longer a threat. Gets a warning of this kind.
    using CheckFunction = void (*)(const TWarning& warning, const WarningContext& context);
    // The act of the fix (worker thread): remedies the threat with `warning`, shared with the
    // queue and changed by no one while the fix runs; what it saves goes into `record` (the
    // reserved record's folder, empty for a kind that makes none). It gets the worker part of
    // the context only; what the window thread must do waits for the finish through `outcome`.
    using FixFunction = void (*)(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                                 const WarningWorkerContext& context);
    // The act of the undo (any thread): restores what `record` saved; the store is left alone.
    using UndoFunction = void (*)(const BackupRecord& record, const WarningWorkerContext& context);
    // The texts from the warning's data alone: no side effect, no lookup.
    using TextsFunction = WarningTexts (*)(const TWarning& warning);
    // The removal the administrator part is asked for when the system refuses the fix for want of
    // rights (warnings/AdminPart.h), its digest read from the entry as it is now (worker thread).
    // Throws NeedsAdministratorError for a fix the part does not make, ThreatGoneError when the
    // entry is gone.
    using AdminRemovalFunction = AdminRemoval (*)(const TWarning& warning);

    // The name backup records keep as "Type": part of the file format, spelled as it always was.
    std::string_view name;
    // The categories of standing actions, any order; unused entries empty.
    std::array<std::string_view, 2> categories{};
    bool hasUndo = false;
    // Null where this system has no remedy (the portable build): Fix and Undo then refuse.
    FixFunction fix = nullptr;
    CheckFunction check = nullptr;  // none: nothing is asked again
    UndoFunction undo = nullptr;
    TextsFunction texts = nullptr;
    // Null: a refusal for want of rights is the outcome (the part never gets the fix).
    AdminRemovalFunction adminRemoval = nullptr;

    bool InCategory(std::string_view key) const;
    // The row's undo of `record`, logged (any thread); the undo of a change the administrator part
    // made goes to the part. Throws std::logic_error for a
    // kind without undo or where this system has none.
    void UndoRecord(const BackupRecord& record, const WarningWorkerContext& context) const;
    // The whole undo of record `index` in a row: read, restored, deleted.
    void Undo(TBackuper& backuper, int index, const WarningContext& context) const;
};

// The shield's kinds, in their fixed order: TKeyHookWarning, TMouseHookWarning,
// TProcessWarning, TFileWarning, TFileChangeWarning, TAutorunAddWarning,
// TBrowserSettingWarning, TRegistyWarning, TCookieWarning, TFolderWarning,
// AutostartPointWarning, StartupFileWarning, ScheduledTaskWarning, BrowserExtensionWarning,
// BrowserPreferenceWarning, ServiceWarning, BrowserShortcutWarning, WatchedFileWarning,
// WmiSubscriptionWarning, BitsJobWarning.
std::span<const WarningKind> ShieldWarningKinds();

// The row of `kinds` whose name equals `name` exactly (byte for byte); null when none does.
const WarningKind* FindWarningKind(std::span<const WarningKind> kinds, std::string_view name);

// The shield's row of that name; throws std::logic_error when there is none (a class naming a
// row the table lacks).
const WarningKind& ShieldWarningKind(std::string_view name);

// One fix of one warning, from its plan to its finish. Plan and Finish run on the window thread,
// Act on any one thread in between; the object owns what Act uses (the warning's copy, the
// reserved record, the context's copy), so it may outlive the queue.
class PlannedFix {
public:
    // The plan: keeps `warning` (no one changes a warning once it is being fixed), asks the
    // row's check (ThreatGoneError goes to the caller) and reserves a backup record when the
    // warning's texts promise one. Throws std::logic_error for a kind without a fix on this
    // system and for a warning whose texts were never made.
    static std::shared_ptr<PlannedFix> Plan(std::shared_ptr<const TWarning> warning, TBackuper& backuper,
                                            const WarningContext& context);
    ~PlannedFix();
    PlannedFix(const PlannedFix&) = delete;
    PlannedFix& operator=(const PlannedFix&) = delete;

    // The act, logged; an exception is kept for the finish.
    void Act() noexcept;
    bool Acted() const { return acted_; }
    // The finish: writes the record (or gives it up), runs the outcome's hooks and returns what
    // the user is to be told; an exception of the act (or of writing the record) is raised here.
    // Throws std::logic_error before Act or a second time.
    std::vector<std::string> Finish();
    const TWarning& Warning() const { return *warning_; }

private:
    PlannedFix() = default;

    std::shared_ptr<const TWarning> warning_;
    const WarningKind* kind_ = nullptr;
    TBackuper* backuper_ = nullptr;  // reached only in the plan and the finish
    std::shared_ptr<const WarningContext> context_;
    std::optional<NewBackupResult> record_;
    FixOutcome outcome_;
    std::exception_ptr error_;
    bool acted_ = false;
    bool finished_ = false;
};

// Plan, act and finish in a row on the calling thread (the tests, and a build without workers).
std::vector<std::string> FixNow(const TWarning& warning, TBackuper& backuper, const WarningContext& context);

// What a fix's act and an undo may use on any thread: everything here is safe from any thread.
struct WarningWorkerContext {
    // The kinds a backup record's "Type" is looked up in.
    std::span<const WarningKind> kinds = ShieldWarningKinds();
    std::function<void(const std::string& path)> markShieldMove;  // both ends of every file move
    // Around a fix or an undo at an autostart point: hold keeps the autostart monitor from
    // reading the point meanwhile; accept releases it and has the monitor take what it reads
    // next of the entry `item` (empty: of the whole point) as known, without a report.
    std::function<void(const std::string& pointId)> holdAutostartPoint;
    std::function<void(const std::string& pointId, const std::string& item)> acceptAutostartPoint;
    // The registry editor's program; empty: regedit.exe of the Windows folder. The tests put a
    // stand-in here.
    std::string registryEditor;
    // The cookies folder without a trailing separator; left empty, the cookie remedies ask the
    // shell (CSIDL_COOKIES). Tests point it at a folder of their own.
    std::function<std::string()> cookiesFolder;
    // Runs the administrator part (Sentrel4Admin.exe, warnings/AdminIntent.h) with `arguments`
    // through the system's question for an administrator's consent and waits for it; its exit
    // code, or nothing when the question was answered No. Empty where the part is not installed.
    std::function<std::optional<unsigned long>(const std::vector<std::string>& arguments)> runAdminPart;
    // The folder (with its trailing separator) where the part leaves its answers.
    std::string adminAnswersFolder;
    // For tests only (Wine refuses nothing for want of rights): true for a kind's name makes its
    // fix and undo count as refused for want of rights before they act.
    std::function<bool(std::string_view kindName)> refusedForRights;
};

// What only the window thread may call: the threat database, the monitors.
struct WarningWindowContext {
    // The threat database's tests: the file, cookie and folder plans ask them again just before
    // the fix moves anything, so that what changed since the finding (a file replaced, a
    // database updated) is left in place.
    std::function<bool(const std::string& path)> isKnownSpywareFile;     // a file, by content and place
    std::function<bool(const std::string& name)> isTrackingCookie;       // a cookie file name
    std::function<bool(const std::string& folderPath)> isSpywareFolder;  // with its trailing separator
    // After a browser-setting fix: the watches of the value the fix rewrote (its root, key
    // without trailing backslashes, name and registry view) take the new data as known.
    std::function<void(RegistryRoot root, const std::string& key, const std::string& value, RegistryView view)>
        refreshWatchedValue;
};

// What fixes and undos need of the running shield. The application fills it once its monitors
// exist; tests fill only what they check. A hook left empty is skipped.
struct WarningContext {
    WarningWorkerContext worker;
    WarningWindowContext window;
};

}  // namespace sentrel
