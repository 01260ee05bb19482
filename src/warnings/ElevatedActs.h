#pragma once
// Fixes and undos that need the rights of an administrator. The shield runs as the user; when the
// system refuses a change for want of rights (NeedsAdministratorError), the fix's worker starts a
// second copy of the program elevated (the system's consent prompt) for that one act, waits for
// it and reads what it did. The copy gets nothing but a switch and a backup record's code:
//
//     Sentrel4.exe /ElevatedFix <code>     the fix whose record <code> is reserved
//     Sentrel4.exe /ElevatedUndo <code>    the undo of record <code> of backups.ini
//
// For a fix the shield first writes the warning's data into the reserved record's folder
// (elevated_request.ini); for an undo the copy reads the record from the store. The copy checks
// the kind and the place it names (the guard, app/ElevatedCopy.h), acts, and writes its outcome
// into elevated_result.ini of the record's folder in one step: for a fix the keys the record gets,
// which the shield writes into the store as for any fix (the copy never writes backups.ini). The
// shield removes both files once it has read them.
//
// Values in both files are hexadecimal bytes, so any text (line breaks, blanks at the ends) goes
// through unchanged.

#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/Backuper.h"

namespace sentrel {

class TWarning;
struct FixOutcome;
struct WarningContext;
struct WarningKind;

inline constexpr std::string_view kElevatedFixSwitch = "/ElevatedFix";
inline constexpr std::string_view kElevatedUndoSwitch = "/ElevatedUndo";
inline constexpr const char* kElevatedRequestFileName = "elevated_request.ini";
inline constexpr const char* kElevatedResultFileName = "elevated_result.ini";

// The copy's exit codes.
inline constexpr int kElevatedDone = 0;
inline constexpr int kElevatedFailed = 1;        // the act failed; the result file says why
inline constexpr int kElevatedBadCommandLine = 2;  // nothing read, nothing touched
inline constexpr int kElevatedThreatGone = 3;    // nothing left to change

// What the command line asks of the copy.
struct ElevatedAct {
    bool undo = false;
    std::string code;
};

// True when the first argument (after the program's name) is one of the copy's switches: the
// process is the copy, whatever else the line holds, and never the shield.
bool IsElevatedCommandLine(std::span<const std::string> arguments);
// The act of a copy's command line: exactly a switch and a backup code (digits only); nothing for
// any other line.
std::optional<ElevatedAct> ParseElevatedCommandLine(std::span<const std::string> arguments);

// Thrown by the copy's guard: the record names a kind or a place the copy does not change.
class ElevatedRefusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- The shield's side (the fix's or undo's worker) ---

// Has the copy do the fix of `warning` into `record` (reserved for it) and fills `outcome` from
// its result. Throws: the user refused the prompt, the copy failed or left no result (nothing
// promised: the record is given up), ThreatGoneError when the copy found nothing left to change.
// `subject` names the point for the messages.
void FixThroughElevatedCopy(const WarningKind& kind, const TWarning& warning, const NewBackupResult& record,
                            FixOutcome& outcome, const WarningContext& context, const std::string& subject);
// Has the copy undo `record`; throws as FixThroughElevatedCopy. The record stays in the store
// for the caller to delete.
void UndoThroughElevatedCopy(const BackupRecord& record, const WarningContext& context, const std::string& subject);

// --- The copy's side ---

// Throws ElevatedRefusal unless the copy may act on the record (or a fix's fields) of kind
// `kindName`; `undo` tells which.
using ElevatedGuard = std::function<void(std::string_view kindName, const BackupRecord& keys, bool undo)>;

// Runs the act on the store of `backuper` with the kinds and hooks of `context`, writes the
// result file and returns the exit code. `guard` runs before the act; `acted` after one that
// succeeded (for a fix with the keys the record gets; what it throws is logged, the act stands).
// Never throws.
int RunElevatedAct(const ElevatedAct& act, TBackuper& backuper, const WarningContext& context,
                   const ElevatedGuard& guard, const ElevatedGuard& acted) noexcept;

}  // namespace sentrel
