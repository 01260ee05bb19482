// The shield's table of warning kinds, and the logged fix and undo of a row.
#include "warnings/WarningKinds.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "common/DiagnosticLog.h"
#include "warnings/AutostartWarning.h"
#include "warnings/StartupWarnings.h"
#include "warnings/Backuper.h"
#include "warnings/BrowserExtensionWarning.h"
#include "warnings/BrowserPreferenceWarning.h"
#include "warnings/CookieStoreWarning.h"
#include "warnings/FilePointWarnings.h"
#include "warnings/AdminPart.h"
#include "warnings/ServiceWarning.h"
#include "warnings/Warning.h"
#include "warnings/WarningRemedies.h"
#include "warnings/WarningTexts.h"
#include "warnings/WmiBitsWarnings.h"

// The remedies change the Windows system and are built only there; in the portable build a row
// names its remedy all the same, and has none.
#ifdef _WIN32
#define SENTREL_WINDOWS_REMEDY(function) (&(function))
#else
#define SENTREL_WINDOWS_REMEDY(function) nullptr
#endif

namespace sentrel {

namespace {

using namespace remedies;
using namespace texts;

// The names are the "Type" of the backup records: stored, so spelled as they always were
// (TRegistyWarning included). A file-change warning's fix makes no record; its undo would be a
// file's.
constexpr WarningKind kShieldKinds[] = {
    {.name = TKeyHookWarning::kClassName,
     .fix = SENTREL_WINDOWS_REMEDY(FixKeyHook),
     .texts = &KeyHookTexts},
    {.name = TMouseHookWarning::kClassName,
     .fix = SENTREL_WINDOWS_REMEDY(FixMouseHook),
     .texts = &MouseHookTexts},
    {.name = TProcessWarning::kClassName,
     .categories = {kProcessesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixProcess),
     .check = SENTREL_WINDOWS_REMEDY(CheckProcess),
     .undo = SENTREL_WINDOWS_REMEDY(UndoFile),
     .texts = &ProcessTexts},
    {.name = TFileWarning::kClassName,
     .categories = {kFilesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixFile),
     .check = SENTREL_WINDOWS_REMEDY(CheckFile),
     .undo = SENTREL_WINDOWS_REMEDY(UndoFile),
     .texts = &FileTexts},
    {.name = TFileChangeWarning::kClassName,
     .categories = {kFilesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixFileChange),
     .undo = SENTREL_WINDOWS_REMEDY(UndoFile),
     .texts = &FileChangeTexts},
    {.name = TAutorunAddWarning::kClassName,
     .categories = {kAutorunCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixAutorun),
     .undo = SENTREL_WINDOWS_REMEDY(UndoAutorun),
     .texts = &AutorunTexts,
     .adminRemoval = SENTREL_WINDOWS_REMEDY(AdminRemovalOfAutorun)},
    {.name = TBrowserSettingWarning::kClassName,
     .categories = {kAutorunCategory, kBrowserSettingsCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixBrowserSetting),
     .undo = SENTREL_WINDOWS_REMEDY(UndoBrowserSetting),
     .texts = &BrowserSettingTexts},
    {.name = TRegistyWarning::kClassName,
     .categories = {kAutorunCategory, kRegistryCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixRegistryEntry),
     .undo = SENTREL_WINDOWS_REMEDY(UndoRegistryEntry),
     .texts = &RegistryEntryTexts},
    {.name = TCookieWarning::kClassName,
     .categories = {kCookiesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixCookie),
     .check = SENTREL_WINDOWS_REMEDY(CheckCookie),
     .undo = SENTREL_WINDOWS_REMEDY(UndoCookie),
     .texts = &CookieTexts},
    {.name = TFolderWarning::kClassName,
     .categories = {kFoldersCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixFolder),
     .check = SENTREL_WINDOWS_REMEDY(CheckFolder),
     .undo = SENTREL_WINDOWS_REMEDY(UndoFolder),
     .texts = &FolderTexts},
    {.name = AutostartPointWarning::kClassName,
     .categories = {kAutostartCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixAutostartPoint),
     .undo = SENTREL_WINDOWS_REMEDY(UndoAutostartPoint),
     .texts = &AutostartPointTexts,
     .adminRemoval = SENTREL_WINDOWS_REMEDY(AdminRemovalOfAutostartPoint)},
    {.name = StartupFileWarning::kClassName,
     .categories = {kStartupFilesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixStartupFile),
     .undo = SENTREL_WINDOWS_REMEDY(UndoStartupFile),
     .texts = &StartupFileTexts,
     .adminRemoval = SENTREL_WINDOWS_REMEDY(AdminRemovalOfStartupFile)},
    {.name = ScheduledTaskWarning::kClassName,
     .categories = {kScheduledTasksCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixScheduledTask),
     .undo = SENTREL_WINDOWS_REMEDY(UndoScheduledTask),
     .texts = &ScheduledTaskTexts,
     .adminRemoval = SENTREL_WINDOWS_REMEDY(AdminRemovalOfScheduledTask)},
    {.name = BrowserExtensionWarning::kClassName,
     .categories = {kBrowserExtensionsCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixBrowserExtension),
     .undo = SENTREL_WINDOWS_REMEDY(UndoBrowserExtension),
     .texts = &BrowserExtensionTexts},
    {.name = CookieStoreWarning::kClassName,
     .categories = {kCookiesCategory},
     .hasUndo = true,
     .fix = &FixCookieStore,
     .undo = &UndoCookieStore,
     .texts = &CookieStoreTexts},
    {.name = BrowserPreferenceWarning::kClassName,
     .categories = {kBrowserSettingsCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixBrowserPreference),
     .undo = SENTREL_WINDOWS_REMEDY(UndoBrowserPreference),
     .texts = &BrowserPreferenceTexts},
    {.name = ServiceWarning::kClassName,
     .categories = {kServicesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixService),
     .undo = SENTREL_WINDOWS_REMEDY(UndoService),
     .texts = &ServiceTexts,
     .adminRemoval = SENTREL_WINDOWS_REMEDY(AdminRemovalOfService)},
    {.name = BrowserShortcutWarning::kClassName,
     .categories = {kBrowserSettingsCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixStartupFile),
     .undo = SENTREL_WINDOWS_REMEDY(UndoStartupFile),
     .texts = &BrowserShortcutTexts},
    {.name = WatchedFileWarning::kClassName,
     .categories = {kStartupFilesCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixWatchedFile),
     .undo = SENTREL_WINDOWS_REMEDY(UndoWatchedFile),
     .texts = &WatchedFileTexts},
    // Standing actions as for the other autostart points: they have no category of their own.
    {.name = WmiSubscriptionWarning::kClassName,
     .categories = {kAutostartCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixWmiSubscription),
     .undo = SENTREL_WINDOWS_REMEDY(UndoWmiSubscription),
     .texts = &WmiSubscriptionTexts},
    {.name = BitsJobWarning::kClassName,
     .categories = {kAutostartCategory},
     .hasUndo = true,
     .fix = SENTREL_WINDOWS_REMEDY(FixBitsJob),
     .undo = SENTREL_WINDOWS_REMEDY(UndoBitsJob),
     .texts = &BitsJobTexts},
};

}  // namespace

bool WarningKind::InCategory(std::string_view key) const {
    for (std::string_view category : categories) {
        if (!category.empty() && category == key) return true;
    }
    return false;
}

std::shared_ptr<PlannedFix> PlannedFix::Plan(std::shared_ptr<const TWarning> warning, TBackuper& backuper,
                                             const WarningContext& context) {
    const WarningKind& kind = warning->Kind();
    if (!kind.fix)
        throw std::logic_error(std::string(kind.name) + ": no fix on this system (the remedies change the Windows "
                               "system and are built there only)");
    if (!warning->HasTexts())
        throw std::logic_error(std::string(kind.name) + ": the texts were never made (the queue makes them when it "
                               "takes the warning)");
    LogEvent("fix " + std::string(kind.name) + " \"" + warning->Name + "\"");
    if (kind.check) kind.check(*warning, context);
    std::shared_ptr<PlannedFix> planned(new PlannedFix());
    planned->kind_ = &kind;
    planned->backuper_ = &backuper;
    planned->context_ = std::make_shared<const WarningContext>(context);
    if (!warning->GetBackupStr().empty()) planned->record_ = backuper.ReserveRecord();
    planned->warning_ = std::move(warning);
    return planned;
}

PlannedFix::~PlannedFix() {
    // A fix planned and never finished (its act failed to start, or the program ended first)
    // gives its reservation up, unless the act may have saved something there.
    if (record_ && !finished_ && !acted_) backuper_->ReleaseRecord(*record_);
}

namespace {

// The tests' stand-in for a system that refuses a change for want of rights.
void ThrowWhenRefusedForRights(const WarningKind& kind, const WarningWorkerContext& context) {
    if (context.refusedForRights && context.refusedForRights(kind.name))
        throw NeedsAdministratorError(std::string(kind.name) + " is refused for want of rights (a test)",
                                      std::string(kind.name));
}

}  // namespace

void PlannedFix::Act() noexcept {
    try {
        try {
            ThrowWhenRefusedForRights(*kind_, context_->worker);
            kind_->fix(*warning_, record_ ? *record_ : NewBackupResult{}, outcome_, context_->worker);
        } catch (const NeedsAdministratorError& refused) {
            if (!record_ || !kind_->adminRemoval) throw;
            LogCaught("fix " + std::string(kind_->name) + ", for the administrator part");
            FixThroughAdminPart(kind_->adminRemoval(*warning_), outcome_, context_->worker, refused.Subject());
        }
    } catch (...) {
        error_ = std::current_exception();
    }
    acted_ = true;
}

std::vector<std::string> PlannedFix::Finish() {
    if (!acted_ || finished_) throw std::logic_error("PlannedFix::Finish: before its act or twice");
    finished_ = true;
    if (record_) {
        if (!error_ && outcome_.keepRecord) {
            if (!warning_->DangerReasons.empty()) {
                std::string reasons;
                for (const std::string& reason : warning_->DangerReasons) reasons += (reasons.empty() ? "" : "; ") + reason;
                outcome_.recordKeys.push_back(BackupString(kBackupReasonsKey, reasons));
            }
            backuper_->CommitRecord(*record_, kind_->name, warning_->GetBackupStr(), outcome_.recordKeys);
            LogEvent("fix " + std::string(kind_->name) + ": backup record " + record_->code);
        } else {
            backuper_->ReleaseRecord(*record_);
        }
    }
    if (error_) std::rethrow_exception(error_);
    if (outcome_.after) outcome_.after(context_->window);
    return std::move(outcome_.notices);
}

std::vector<std::string> FixNow(const TWarning& warning, TBackuper& backuper, const WarningContext& context) {
    // Not owned: the three steps end before this returns.
    const std::shared_ptr<PlannedFix> planned =
        PlannedFix::Plan(std::shared_ptr<const TWarning>(std::shared_ptr<void>(), &warning), backuper, context);
    planned->Act();
    return planned->Finish();
}

void WarningKind::UndoRecord(const BackupRecord& record, const WarningWorkerContext& context) const {
    if (!hasUndo) throw std::logic_error(std::string(name) + " makes no backup and has no undo");
    if (!undo)
        throw std::logic_error(std::string(name) + ": no undo on this system (the remedies change the Windows system "
                               "and are built there only)");
    LogEvent("undo " + std::string(name) + " record " + record.code);
    if (!record.GetString(kAdminChangeKey).empty()) {
        UndoThroughAdminPart(record, context);
    } else {
        try {
            ThrowWhenRefusedForRights(*this, context);
            undo(record, context);
        } catch (const NeedsAdministratorError& refused) {
            // A change Sentrel made with an administrator's rights before it had its administrator
            // part: what it saved lies in the user's program folder, which no administrator's
            // write is ever taken from.
            throw NeedsAdministratorError("Putting back " + refused.Subject() +
                                              " needs the rights of an administrator. Sentrel never writes there "
                                              "from its own backup, which your programs can change; nothing was "
                                              "restored, and the change stays listed.",
                                          refused.Subject());
        }
    }
    LogEvent("undone " + std::string(name));
}

void WarningKind::Undo(TBackuper& backuper, int index, const WarningContext& context) const {
    const BackupRecord record = backuper.ReadRecord(index);
    UndoRecord(record, context.worker);
    backuper.DeleteBackup(index);
}

std::span<const WarningKind> ShieldWarningKinds() {
    return kShieldKinds;
}

const WarningKind* FindWarningKind(std::span<const WarningKind> kinds, std::string_view name) {
    for (const WarningKind& kind : kinds) {
        if (kind.name == name) return &kind;
    }
    return nullptr;
}

const WarningKind& ShieldWarningKind(std::string_view name) {
    if (const WarningKind* kind = FindWarningKind(kShieldKinds, name)) return *kind;
    throw std::logic_error("no warning kind is named " + std::string(name));
}

}  // namespace sentrel
