#include "warnings/AdminPart.h"

#include <random>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/RecordKeys.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {


std::string NewTicket() {
    return NewAdminTicket([](std::span<std::uint8_t> bytes) {
        std::random_device random;  // the system's random source
        for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random());
    });
}

// Runs the part and returns its answer of a done act; throws with the message the user reads
// otherwise.
AdminAnswer RunPart(const WarningWorkerContext& context, const AdminRequest& request, const std::string& subject) {
    const std::vector<std::string> arguments = AdminArguments(request);
    LogEvent("administrator part " + arguments[0] + " " + (request.undo ? request.change : request.item));
    const std::optional<unsigned long> exitCode = context.runAdminPart(arguments);
    if (!exitCode) {
        LogEvent("administrator part: the system's question was answered No");
        throw std::runtime_error("Changing " + subject +
                                 " needs the rights of an administrator, and they were not given (the system's "
                                 "question was answered No); nothing was changed.");
    }
    LogEvent("administrator part ended with " + std::to_string(*exitCode));
    if (*exitCode == static_cast<unsigned long>(kAdminNotTrusted))
        throw std::runtime_error("Sentrel's administrator part refused to work: it is not installed where only "
                                 "administrators can write. Have an administrator install it again; nothing was "
                                 "changed.");
    std::optional<AdminAnswer> answer;
    const std::string path = context.adminAnswersFolder + request.ticket + ".ini";
    try {
        if (FileExists(path)) answer = ParseAdminAnswer(ReadFileText(path));
    } catch (const std::exception&) {
        LogCaught("administrator part's answer");
    }
    if (answer && answer->outcome == AdminOutcome::Done && *exitCode == kAdminDone &&
        (request.undo || !answer->change.empty()))
        return *answer;
    if (answer && answer->outcome == AdminOutcome::Gone && *exitCode == kAdminThreatGone)
        throw ThreatGoneError(answer->message);
    if (answer && answer->outcome == AdminOutcome::Failed && !answer->message.empty())
        throw std::runtime_error("Sentrel's administrator part could not change " + subject + ": " + answer->message);
    throw std::runtime_error("Sentrel's administrator part ended without changing " + subject + " (exit code " +
                             std::to_string(*exitCode) + "); nothing was changed.");
}

}  // namespace

std::string NeedsAdministratorMessage(const std::string& subject, const std::string& whatToDo) {
    return "Changing " + subject + " needs the rights of an administrator, which Sentrel does not have; nothing was "
           "changed. " + whatToDo;
}

void FixThroughAdminPart(const AdminRemoval& removal, FixOutcome& outcome, const WarningWorkerContext& context,
                         const std::string& subject) {
    if (!context.runAdminPart)
        throw NeedsAdministratorError(
            NeedsAdministratorMessage(subject, "Sentrel changes what belongs to the whole computer only through its "
                                               "administrator part, which is not installed here. Have an "
                                               "administrator install it (Sentrel4-Admin-Setup.exe), or remove " +
                                                   removal.entry + " as an administrator; or ignore it."),
            subject);
    AdminRequest request = removal.request;
    request.ticket = NewTicket();
    AdminAnswer answer;
    {
        const AutostartPointHold hold(context, request.point);
        answer = RunPart(context, request, subject);
    }
    outcome = FixOutcome{};
    outcome.keepRecord = true;
    outcome.recordKeys = {BackupString(kPointKey, request.point), BackupString(kAdminEntryKey, removal.entry),
                          BackupString(kAdminChangeKey, answer.change)};
}

void UndoThroughAdminPart(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string entry = record.GetString(kAdminEntryKey);
    const std::string subject = entry.empty() ? "an entry of the whole computer" : entry;
    if (!context.runAdminPart)
        throw NeedsAdministratorError(
            NeedsAdministratorMessage(subject, "The change was made by Sentrel's administrator part, which is not "
                                               "installed here any more; it keeps what it removed until it is "
                                               "installed again."),
            subject);
    AdminRequest request{.undo = true, .ticket = NewTicket(), .change = record.GetString(kAdminChangeKey)};
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    RunPart(context, request, subject);
}

}  // namespace sentrel
