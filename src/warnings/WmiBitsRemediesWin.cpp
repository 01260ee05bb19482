// The fixes and undos of a WMI event subscription and of a background transfer.
//
// The subscription's fix deletes the consumer's bindings, the consumer, and each filter no other
// binding uses, keeping their properties in the record; the undo makes them again (a filter or a
// binding that is there by now is left as it is; a consumer of the same path there by now makes it
// refuse). Windows lets only an administrator change root\subscription: a refusal says what an
// administrator is to remove.
//
// The transfer's fix cancels the job, keeping its name, type, files and notify command; the undo
// makes a job with those again and resumes it (a new id: BITS gives no job its old one), unless a
// job with the same name and command is there by now.
//
// Each acts only while the entry is still what was reported, holding the autostart point
// meanwhile so that its own change is not reported.
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/DiagnosticLog.h"
#include "database/Table.h"
#include "platform/BitsJobs.h"
#include "platform/WmiSubscriptions.h"
#include "platform/Win32Error.h"
#include "warnings/AdminPart.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/Backuper.h"
#include "warnings/RecordKeys.h"
#include "warnings/RemediesWin.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"
#include "warnings/WmiBitsKeptWin.h"
#include "warnings/WmiBitsWarnings.h"

namespace sentrel {

namespace {

// The consumer's path, and the consumer, filters and bindings the fix removed (KeptObjectsRaw).
constexpr std::string_view kConsumerKey = "Consumer";
constexpr std::string_view kRemovedKey = "Removed";
// The job's id, and the job as it was cancelled (KeptObjectsRaw).
constexpr std::string_view kJobKey = "Job";
constexpr std::string_view kJobKeptKey = "JobKept";

bool Refused(const platform::Win32Error& error) {
    return error.Code() == ERROR_ACCESS_DENIED;
}

// A subscription as it is now: its consumer, the filters and bindings that start it; nothing when
// the consumer is not bound (gone).
std::vector<KeptObject> SubscriptionNow(const std::string& consumerPath) {
    std::vector<KeptObject> objects;
    for (const platform::WmiSubscription& subscription : platform::ListWmiSubscriptions()) {
        if (!SameNameIgnoringCase(subscription.consumer.path, consumerPath)) continue;
        if (objects.empty()) objects.push_back(KeptWmiObject("consumer", subscription.consumer));
        bool filterKept = false;
        for (const KeptObject& object : objects)
            filterKept = filterKept || (object.role == "filter" && SameNameIgnoringCase(object.path, subscription.filter.path));
        if (!filterKept) objects.push_back(KeptWmiObject("filter", subscription.filter));
        objects.push_back(KeptWmiObject("binding", subscription.binding));
    }
    return objects;
}

// Whether a binding not among `removed` uses the filter at `filterPath`.
bool FilterServesOthers(const std::string& filterPath, const std::vector<KeptObject>& removed) {
    for (const platform::WmiObject& binding : platform::ListWmiObjects("__FilterToConsumerBinding")) {
        if (!SameNameIgnoringCase(platform::RelativeWmiPath(binding.Text("Filter")), filterPath)) continue;
        const bool ours = std::any_of(removed.begin(), removed.end(), [&](const KeptObject& object) {
            return object.role == "binding" && SameNameIgnoringCase(object.path, binding.path);
        });
        if (!ours) return true;
    }
    return false;
}

[[noreturn]] void ThrowWmiError(const WmiSubscriptionWarning& warning, const platform::Win32Error& error,
                                const std::string& changed) {
    const std::string subject = "the WMI event subscription " + warning.Name;
    if (Refused(error)) throw NeedsAdministratorError(NeedsAdministratorMessage(subject, WmiRemovalAdvice(warning)), subject);
    throw std::runtime_error("Sentrel could not remove " + subject + " (" + error.what() + "); " + changed);
}

}  // namespace

namespace remedies {

void FixWmiSubscription(const TWarning& found, const NewBackupResult&, FixOutcome& outcome,
                        const WarningWorkerContext& context) {
    const auto& warning = WarningAs<WmiSubscriptionWarning>(found);
    const std::optional<std::vector<KeptObject>> reported = KeptObjectsOfRaw(warning.Raw, kWmiRawMark);
    if (!reported) throw std::runtime_error("Sentrel does not know what " + warning.Name + " runs; nothing was changed.");
    std::vector<KeptObject> now;
    try {
        now = SubscriptionNow(warning.ConsumerPath);
    } catch (const platform::Win32Error& error) {
        ThrowWmiError(warning, error, "nothing was changed.");
    }
    if (now.empty())
        throw ThreatGoneError("The WMI event subscription " + warning.Name + " is gone; nothing was changed.");
    if (WmiSubscriptionData(now) != WmiSubscriptionData(*reported))
        throw ThreatGoneError("The WMI event subscription " + warning.Name +
                              " has changed again since it was found; nothing was changed.");

    const AutostartPointHold hold(context, warning.PointId);
    std::vector<KeptObject> removed;
    try {
        for (const KeptObject& binding : now) {
            if (binding.role != "binding") continue;
            platform::DeleteWmiObject(binding.path);
            removed.push_back(binding);
        }
        platform::DeleteWmiObject(warning.ConsumerPath);
        removed.insert(removed.begin(), now.front());
    } catch (const platform::Win32Error& error) {
        LogCaught("WMI subscription removal");
        // The bindings already gone are put back: what runs stays as it was, and so does the word.
        for (const KeptObject& binding : removed) {
            try {
                platform::CreateWmiObject(WmiObjectOf(binding));
            } catch (const std::exception&) {
                LogCaught("WMI binding put back");
                ThrowWmiError(warning, error, "its binding " + binding.path + " was removed and could not be put back.");
            }
        }
        ThrowWmiError(warning, error, "nothing was changed.");
    }
    for (const KeptObject& filter : now) {
        if (filter.role != "filter") continue;
        try {
            if (FilterServesOthers(filter.path, removed)) continue;
            platform::DeleteWmiObject(filter.path);
            removed.push_back(filter);
        } catch (const std::exception&) {
            LogCaught("WMI filter removal");  // a filter alone starts nothing
        }
    }
    KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kConsumerKey, warning.ConsumerPath),
                         BackupString(kRemovedKey, KeptObjectsRaw(kWmiRawMark, removed))});
}

void UndoWmiSubscription(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::string consumerPath = record.GetString(kConsumerKey);
    const std::optional<std::vector<KeptObject>> removed = KeptObjectsOfRaw(record.GetString(kRemovedKey), kWmiRawMark);
    if (consumerPath.empty() || !removed || !FindKeptObject(*removed, "consumer"))
        throw std::runtime_error("The backup record names no WMI event subscription; nothing was restored");
    const std::string subject = "the WMI event subscription " + WmiNameOfPath(consumerPath);
    try {
        if (platform::ReadWmiObject(consumerPath))
            throw std::runtime_error("A WMI event consumer " + consumerPath + " is there again; nothing was restored");
        const AutostartPointHold hold(context, record.GetString(kPointKey), consumerPath);
        // The filters and the consumer before the bindings that name them.
        for (const std::string_view role : {"filter", "consumer", "binding"}) {
            for (const KeptObject& object : *removed) {
                if (object.role != role) continue;
                if (role != "consumer" && platform::ReadWmiObject(object.path)) continue;  // there by now
                platform::CreateWmiObject(WmiObjectOf(object));
            }
        }
    } catch (const platform::Win32Error& error) {
        if (Refused(error))
            throw NeedsAdministratorError("Putting back " + subject + " needs the rights of an administrator; " +
                                              "nothing was restored.",
                                          subject);
        throw std::runtime_error("Sentrel could not put back " + subject + " (" + error.what() +
                                 "); what was made of it before the failure stays.");
    }
}

void FixBitsJob(const TWarning& found, const NewBackupResult&, FixOutcome& outcome,
                const WarningWorkerContext& context) {
    const auto& warning = WarningAs<BitsJobWarning>(found);
    const std::string subject = "the background transfer \"" + warning.Name + "\"";
    const std::optional<std::vector<KeptObject>> reported = KeptObjectsOfRaw(warning.Raw, kBitsRawMark);
    const std::optional<platform::BitsJob> reportedJob = reported ? BitsJobOf(*reported) : std::nullopt;
    if (!reportedJob) throw std::runtime_error("Sentrel does not know what " + subject + " runs; nothing was changed.");
    try {
        const std::optional<platform::BitsJob> job = platform::ReadBitsJob(warning.JobId);
        if (!job) throw ThreatGoneError("The background transfer " + warning.JobId + " is gone; nothing was changed.");
        if (job->notifyProgram != reportedJob->notifyProgram || job->notifyParameters != reportedJob->notifyParameters)
            throw ThreatGoneError("The background transfer " + warning.JobId +
                                  " has changed again since it was found; nothing was changed.");
        const AutostartPointHold hold(context, warning.PointId);
        if (!platform::CancelBitsJob(warning.JobId))
            throw ThreatGoneError("The background transfer " + warning.JobId + " is gone; nothing was changed.");
        KeepRecord(outcome, {BackupString(kPointKey, warning.PointId), BackupString(kJobKey, warning.JobId),
                             BackupString(kJobKeptKey, KeptObjectsRaw(kBitsRawMark, KeptBitsJob(*job)))});
    } catch (const platform::Win32Error& error) {
        LogCaught("background transfer cancel");
        throw std::runtime_error("Sentrel could not cancel " + subject + " (" + error.what() + "); nothing was changed.");
    }
}

void UndoBitsJob(const BackupRecord& record, const WarningWorkerContext& context) {
    const std::optional<std::vector<KeptObject>> kept = KeptObjectsOfRaw(record.GetString(kJobKeptKey), kBitsRawMark);
    const std::optional<platform::BitsJob> job = kept ? BitsJobOf(*kept) : std::nullopt;
    if (!job || job->notifyProgram.empty())
        throw std::runtime_error("The backup record names no background transfer; nothing was restored");
    const std::string subject = "the background transfer \"" + job->displayName + "\"";
    try {
        for (const platform::BitsJob& other : platform::ListBitsJobsWithCommands()) {
            if (other.displayName == job->displayName && other.notifyProgram == job->notifyProgram &&
                other.notifyParameters == job->notifyParameters)
                throw std::runtime_error("A background transfer like " + subject + " is there again (" + other.id +
                                         "); nothing was restored");
        }
        const AutostartPointHold hold(context, record.GetString(kPointKey));
        const std::string id = platform::CreateBitsJob(*job);
        LogEvent("background transfer made again as " + id);
    } catch (const platform::Win32Error& error) {
        throw std::runtime_error("Sentrel could not make " + subject + " again (" + error.what() +
                                 "); nothing was restored.");
    }
}

}  // namespace remedies
}  // namespace sentrel
