#include "warnings/ElevatedActs.h"

#include <exception>
#include <map>
#include <memory>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"
#include "warnings/AutostartPointHold.h"
#include "warnings/RegistryFile.h"
#include "warnings/Warning.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningRemedies.h"

namespace sentrel {

namespace {

constexpr std::string_view kRequestSection = "Request";
constexpr std::string_view kKindKey = "Kind";
constexpr std::string_view kFieldsSection = "Fields";
constexpr std::string_view kResultSection = "Result";
constexpr std::string_view kOutcomeKey = "Outcome";
constexpr std::string_view kMessageKey = "Message";
constexpr std::string_view kRecordSection = "Record";
constexpr std::string_view kNoticesSection = "Notices";
constexpr std::string_view kPointKey = "Point";

constexpr std::string_view kDone = "Done";
constexpr std::string_view kFailed = "Failed";
constexpr std::string_view kGone = "Gone";

// The keys of a section, their values read back from hexadecimal; a value that is no
// hexadecimal text makes the whole file unreadable.
std::map<std::string, std::string, std::less<>> ReadSection(const IniText& ini, std::string_view section) {
    std::map<std::string, std::string, std::less<>> keys;
    for (std::string& name : ini.KeyNames(section)) {
        const std::optional<std::string> bytes = BytesFromHex(ini.Get(section, name).value_or(std::string()));
        if (!bytes) throw std::runtime_error("the value of " + name + " cannot be read");
        keys.emplace(std::move(name), *bytes);
    }
    return keys;
}

void WriteValue(IniText& ini, std::string_view section, std::string_view name, std::string_view value) {
    ini.Set(section, name, HexFromBytes(value));
}

struct ElevatedResult {
    std::string outcome;
    std::string message;
    std::vector<BackupValue> keys;
    std::vector<std::string> notices;
};

void WriteResult(const std::string& folder, const ElevatedResult& result) {
    IniText ini = IniText::Parse("");
    WriteValue(ini, kResultSection, kOutcomeKey, result.outcome);
    WriteValue(ini, kResultSection, kMessageKey, result.message);
    for (const BackupValue& key : result.keys) WriteValue(ini, kRecordSection, key.name, key.text);
    for (std::size_t i = 0; i < result.notices.size(); ++i)
        WriteValue(ini, kNoticesSection, std::to_string(i + 1), result.notices[i]);
    WriteFileAtomically(folder + kElevatedResultFileName, ini.ToText());
}

std::optional<ElevatedResult> ReadResult(const std::string& folder) {
    const std::string path = folder + kElevatedResultFileName;
    if (!FileExists(path)) return std::nullopt;
    try {
        const IniText ini = IniText::Parse(ReadFileText(path));
        const auto result = ReadSection(ini, kResultSection);
        ElevatedResult read;
        if (const auto found = result.find(kOutcomeKey); found != result.end()) read.outcome = found->second;
        if (const auto found = result.find(kMessageKey); found != result.end()) read.message = found->second;
        for (auto& [name, value] : ReadSection(ini, kRecordSection)) read.keys.push_back(BackupString(name, value));
        for (auto& [name, value] : ReadSection(ini, kNoticesSection)) read.notices.push_back(value);
        return read;
    } catch (const std::exception&) {
        LogCaught("elevated result");
        return std::nullopt;
    }
}

// Starts the copy for `parameters` on the record of `folder` and returns its result when it did
// the act; throws with the message the user reads otherwise.
ElevatedResult RunCopy(const WarningContext& context, std::string_view act, const std::string& code,
                       const std::string& folder, const std::string& subject) {
    RemoveFile(folder + kElevatedResultFileName);  // only what this copy writes counts
    const std::string parameters = std::string(act) + " " + code;
    LogEvent("elevated copy " + parameters);
    const std::optional<unsigned long> exitCode = context.startElevatedCopy(parameters);
    std::optional<ElevatedResult> result = ReadResult(folder);
    RemoveFile(folder + kElevatedResultFileName);
    RemoveFile(folder + kElevatedRequestFileName);
    if (!exitCode) {
        LogEvent("elevated copy: the prompt was refused");
        throw std::runtime_error("Changing " + subject +
                                 " needs the rights of an administrator, and they were not given (the system's "
                                 "question was answered No); nothing was changed.");
    }
    LogEvent("elevated copy ended with " + std::to_string(*exitCode));
    if (result && result->outcome == kDone && *exitCode == kElevatedDone) return std::move(*result);
    if (result && result->outcome == kGone && *exitCode == kElevatedThreatGone) throw ThreatGoneError(result->message);
    if (result && result->outcome == kFailed && !result->message.empty())
        throw std::runtime_error("Sentrel, started with the rights of an administrator, could not change " + subject +
                                 ": " + result->message);
    throw std::runtime_error("Sentrel, started with the rights of an administrator to change " + subject +
                             ", ended without doing it (exit code " + std::to_string(*exitCode) +
                             "); it was not changed.");
}

std::string PointOf(const std::vector<BackupValue>& fields) {
    for (const BackupValue& field : fields)
        if (field.name == kPointKey) return field.text;
    return {};
}

void ActedOn(const ElevatedGuard& acted, std::string_view kindName, const BackupRecord& keys, bool undo) noexcept {
    try {
        if (acted) acted(kindName, keys, undo);
    } catch (...) {
        LogCaught("elevated act, after");
    }
}

}  // namespace

bool IsElevatedCommandLine(std::span<const std::string> arguments) {
    return !arguments.empty() && (arguments[0] == kElevatedFixSwitch || arguments[0] == kElevatedUndoSwitch);
}

std::optional<ElevatedAct> ParseElevatedCommandLine(std::span<const std::string> arguments) {
    if (arguments.size() != 2 || !IsElevatedCommandLine(arguments) || !TBackuper::IsBackupCode(arguments[1]))
        return std::nullopt;
    return ElevatedAct{.undo = arguments[0] == kElevatedUndoSwitch, .code = arguments[1]};
}

void FixThroughElevatedCopy(const WarningKind& kind, const TWarning& warning, const NewBackupResult& record,
                            FixOutcome& outcome, const WarningContext& context, const std::string& subject) {
    const std::vector<BackupValue> fields = kind.fields(warning);
    IniText request = IniText::Parse("");
    WriteValue(request, kRequestSection, kKindKey, kind.name);
    for (const BackupValue& field : fields) WriteValue(request, kFieldsSection, field.name, field.text);
    WriteFileAtomically(record.folderPath + kElevatedRequestFileName, request.ToText());
    ElevatedResult result;
    {
        const AutostartPointHold hold(context, PointOf(fields));
        result = RunCopy(context, kElevatedFixSwitch, record.code, record.folderPath, subject);
    }
    outcome = FixOutcome{};
    outcome.keepRecord = true;
    outcome.recordKeys = std::move(result.keys);
    outcome.notices = std::move(result.notices);
}

void UndoThroughElevatedCopy(const BackupRecord& record, const WarningContext& context, const std::string& subject) {
    const AutostartPointHold hold(context, record.GetString(kPointKey));
    RunCopy(context, kElevatedUndoSwitch, record.code, record.folderPath, subject);
}

int RunElevatedAct(const ElevatedAct& act, TBackuper& backuper, const WarningContext& context,
                   const ElevatedGuard& guard, const ElevatedGuard& acted) noexcept {
    std::string folder;
    try {
        folder = backuper.RecordFolder(act.code);
    } catch (...) {
        return kElevatedBadCommandLine;
    }
    ElevatedResult result;
    int exitCode = kElevatedDone;
    try {
        if (act.undo) {
            const int index = backuper.IndexOfCode(act.code);
            if (index < 0) throw std::runtime_error("the change " + act.code + " is not in the list of changes");
            const BackupRecord record = backuper.ReadRecord(index);
            const WarningKind* kind = FindWarningKind(context.kinds, record.GetString(kBackupTypeKey));
            if (!kind) throw ElevatedRefusal("the change " + act.code + " is of no kind Sentrel knows");
            guard(kind->name, record, true);
            kind->UndoRecord(record, context);
            ActedOn(acted, kind->name, record, true);
        } else {
            const IniText request = IniText::Parse(ReadFileText(folder + kElevatedRequestFileName));
            const auto kindName = ReadSection(request, kRequestSection);
            const auto named = kindName.find(kKindKey);
            const WarningKind* kind =
                named == kindName.end() ? nullptr : FindWarningKind(context.kinds, named->second);
            if (!kind || !kind->fix || !kind->fromFields)
                throw ElevatedRefusal("the request names no fix Sentrel makes");
            const BackupRecord fields{.code = act.code, .folderPath = folder, .keys = ReadSection(request, kFieldsSection)};
            guard(kind->name, fields, false);
            const std::unique_ptr<TWarning> warning = kind->fromFields(fields);
            LogEvent("elevated fix " + std::string(kind->name) + " \"" + warning->Name + "\"");
            FixOutcome outcome;
            kind->fix(*warning, NewBackupResult{.folderPath = folder, .code = act.code}, outcome, context);
            if (!outcome.keepRecord) throw std::runtime_error("the fix kept no record of what it changed");
            BackupRecord kept{.code = act.code, .folderPath = folder, .keys = {}};
            for (const BackupValue& key : outcome.recordKeys) kept.keys[key.name] = key.text;
            ActedOn(acted, kind->name, kept, false);
            result.keys = std::move(outcome.recordKeys);
            result.notices = std::move(outcome.notices);
        }
        result.outcome = kDone;
    } catch (const ThreatGoneError& error) {
        LogCaught("elevated act");
        result = ElevatedResult{.outcome = std::string(kGone), .message = error.what()};
        exitCode = kElevatedThreatGone;
    } catch (const std::exception& error) {
        LogCaught("elevated act");
        result = ElevatedResult{.outcome = std::string(kFailed), .message = error.what()};
        exitCode = kElevatedFailed;
    }
    try {
        WriteResult(folder, result);
    } catch (...) {
        LogCaught("elevated result");
        return kElevatedFailed;
    }
    return exitCode;
}

}  // namespace sentrel
