#pragma once
// The fixes and undos of the shield's warning kinds. They change the Windows system and are built
// only there (one *RemediesWin.cpp per family of kinds); the rows of warnings/WarningKinds.cpp name them, and the
// portable build leaves them out, so its rows have none.

#include <stdexcept>
#include <string>
#include <utility>

#include "warnings/Backuper.h"

namespace sentrel {

class TBackuper;
class TWarning;
struct FixOutcome;
struct NewBackupResult;
struct WarningContext;
struct WarningWorkerContext;
struct AdminRemoval;

// Thrown by a fix that found, just before acting, that the thing is no longer a threat (gone,
// changed, or no longer in the threat database): nothing was changed and no record was made.
// The warning is settled all the same: there is nothing left to remove.
class ThreatGoneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown by a fix or an undo whose change the system refused for want of an administrator's
// rights (a machine point: HKLM, the common Startup folder, the machine's tasks, services): nothing
// was changed. `Subject` names what was to change, in plain words. Where the row names a removal for
// the administrator part (WarningKind::adminRemoval), the part is asked instead
// (warnings/AdminPart.h); else the message is the outcome.
class NeedsAdministratorError : public std::runtime_error {
public:
    NeedsAdministratorError(const std::string& message, std::string subject)
        : std::runtime_error(message), subject_(std::move(subject)) {}
    const std::string& Subject() const { return subject_; }

private:
    std::string subject_;
};

namespace remedies {

// The acts (worker thread) and the plans' checks (window thread) of the fixes.
void CheckProcess(const TWarning& warning, const WarningContext& context);
void CheckFile(const TWarning& warning, const WarningContext& context);
void CheckCookie(const TWarning& warning, const WarningContext& context);
void CheckFolder(const TWarning& warning, const WarningContext& context);

void FixKeyHook(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixMouseHook(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixProcess(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixFile(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixFileChange(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixAutorun(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixBrowserSetting(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixRegistryEntry(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixCookie(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void FixFolder(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);

// The undos act from a record read whole (on any thread) and leave the store alone: whoever runs
// them deletes the record once they returned.
// A process's and a file's record alike: the file goes back where it was.
void UndoFile(const BackupRecord& record, const WarningWorkerContext& context);
void UndoAutorun(const BackupRecord& record, const WarningWorkerContext& context);
void UndoBrowserSetting(const BackupRecord& record, const WarningWorkerContext& context);
void UndoRegistryEntry(const BackupRecord& record, const WarningWorkerContext& context);
void UndoCookie(const BackupRecord& record, const WarningWorkerContext& context);
void UndoFolder(const BackupRecord& record, const WarningWorkerContext& context);

// A registry autostart point (AutostartRemediesWin.cpp).
void FixAutostartPoint(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoAutostartPoint(const BackupRecord& record, const WarningWorkerContext& context);

// A Startup folder's file and a scheduled task (StartupRemediesWin.cpp).
void FixStartupFile(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoStartupFile(const BackupRecord& record, const WarningWorkerContext& context);
void FixScheduledTask(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoScheduledTask(const BackupRecord& record, const WarningWorkerContext& context);

// A watched file that programs start from (FilePointRemediesWin.cpp).
void FixWatchedFile(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoWatchedFile(const BackupRecord& record, const WarningWorkerContext& context);

// BrowserExtensionRemediesWin.cpp: the id goes into the browser's block list policy of the user.
void FixBrowserExtension(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoBrowserExtension(const BackupRecord& record, const WarningWorkerContext& context);

// BrowserPreferenceRemediesWin.cpp: the preference's lines go from user.js and prefs.js.
void FixBrowserPreference(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoBrowserPreference(const BackupRecord& record, const WarningWorkerContext& context);

// CookieStoreRemedies.cpp (every system): exactly the tracker's cookies go from the browser's
// store in one transaction, the rows kept in the record's folder; the undo puts back those the
// site has not set again.
void FixCookieStore(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                    const WarningWorkerContext& context);
void UndoCookieStore(const BackupRecord& record, const WarningWorkerContext& context);

// A service (ServiceRemediesWin.cpp).
void FixService(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
        const WarningWorkerContext& context);
void UndoService(const BackupRecord& record, const WarningWorkerContext& context);
void FixWmiSubscription(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                        const WarningWorkerContext& context);
void UndoWmiSubscription(const BackupRecord& record, const WarningWorkerContext& context);
void FixBitsJob(const TWarning& warning, const NewBackupResult& record, FixOutcome& outcome,
                const WarningWorkerContext& context);
void UndoBitsJob(const BackupRecord& record, const WarningWorkerContext& context);

// AdminRemovalsWin.cpp: what the administrator part is asked to remove instead (WarningKind::adminRemoval).
AdminRemoval AdminRemovalOfAutorun(const TWarning& warning);
AdminRemoval AdminRemovalOfAutostartPoint(const TWarning& warning);
AdminRemoval AdminRemovalOfStartupFile(const TWarning& warning);
AdminRemoval AdminRemovalOfScheduledTask(const TWarning& warning);
AdminRemoval AdminRemovalOfService(const TWarning& warning);

}  // namespace remedies
}  // namespace sentrel
