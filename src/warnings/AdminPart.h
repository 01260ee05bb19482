#pragma once
// The shield's side of the administrator part (warnings/AdminIntent.h): a fix that the system
// refuses for want of an administrator's rights is handed to the part as the removal of one entry,
// and the undo of such a fix as the undo of the part's change. Without the part, or for a change
// the part does not make (putting data back), the user is told in plain words what an
// administrator has to do, and nothing is changed.

#include <string>
#include <string_view>

#include "warnings/AdminIntent.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"

namespace sentrel {

class TWarning;
struct FixOutcome;
struct WarningWorkerContext;

// What a kind asks of the part for one warning: the request (its ticket left empty) with the
// digest of the entry as it is now, and the entry in plain words ("HKEY_LOCAL_MACHINE\...\Run,
// the value X") for the messages.
struct AdminRemoval {
    AdminRequest request;
    std::string entry;
};

// Has the part remove the entry of `removal` and fills `outcome` with the record that names the
// part's change. Throws NeedsAdministratorError with what an administrator can do when the part
// is not installed; std::runtime_error when the user refused the system's question, or the part
// refused or failed; ThreatGoneError when it found the entry gone or changed. Nothing changed in
// any of those. `subject` names the point for the messages.
void FixThroughAdminPart(const AdminRemoval& removal, FixOutcome& outcome, const WarningWorkerContext& context,
                         const std::string& subject);

// Has the part undo the change `record` names; throws as FixThroughAdminPart. The record stays
// in the store for the caller to delete.
void UndoThroughAdminPart(const BackupRecord& record, const WarningWorkerContext& context);

// The message for a fix that needs an administrator and that the part cannot make.
std::string NeedsAdministratorMessage(const std::string& subject, const std::string& whatToDo);

}  // namespace sentrel
