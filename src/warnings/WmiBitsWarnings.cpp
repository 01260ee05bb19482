#include "warnings/WmiBitsWarnings.h"

#include <utility>

#include "common/SafeDisplayText.h"
#include "database/Table.h"

namespace sentrel {

namespace {

std::vector<KeptObject> ObjectsOf(const std::string& raw, std::string_view mark) {
    return KeptObjectsOfRaw(raw, mark).value_or(std::vector<KeptObject>{});
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A script's code on one line.
std::string OneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const bool blank = c == '\r' || c == '\n' || c == '\t' || c == ' ';
        if (!blank) line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

bool StartsWithProgram(std::string_view command, std::string_view program) {
    if (command.starts_with('"')) command.remove_prefix(1);
    return command.size() >= program.size() && SameNameIgnoringCase(command.substr(0, program.size()), program);
}

std::string QuotedWhenSpaced(const std::string& program) {
    return program.find(' ') != std::string::npos && !program.starts_with('"') ? Quoted(program) : program;
}

// The queries of the subscription's filters.
std::string WhenOf(const std::vector<KeptObject>& objects) {
    std::string when;
    for (const KeptObject& object : objects) {
        if (object.role != "filter") continue;
        when += (when.empty() ? "" : "; or when: ") + OneLine(object.Text("Query"));
    }
    return when;
}

// What runs and when, from an entry's raw part, for the texts.
struct Subscription {
    std::string runs;
    std::string when;
};
Subscription SubscriptionOf(const std::string& raw) {
    const std::vector<KeptObject> objects = ObjectsOf(raw, kWmiRawMark);
    const KeptObject* consumer = FindKeptObject(objects, "consumer");
    const std::string runs = consumer ? WmiConsumerRuns(*consumer) : std::string();
    const std::string when = WhenOf(objects);
    return {runs.empty() ? "nothing Sentrel can read" : runs, when.empty() ? "no event Sentrel can read" : when};
}

std::string JobCommandOf(const std::string& raw) {
    const std::vector<KeptObject> objects = ObjectsOf(raw, kBitsRawMark);
    const KeptObject* job = FindKeptObject(objects, "job");
    return job ? BitsJobCommand(*job) : std::string();
}

std::string JobFilesOf(const std::string& raw) {
    std::string files;
    for (const KeptObject& object : ObjectsOf(raw, kBitsRawMark)) {
        if (object.role != "file") continue;
        files += (files.empty() ? "" : ", ") + object.Text("Remote");
    }
    return files.empty() ? "no files" : files;
}

}  // namespace

WmiSubscriptionWarning::WmiSubscriptionWarning(std::string pointId, std::string consumerPath, std::string raw)
    : TWarning(ShieldWarningKind(kClassName), WmiNameOfPath(consumerPath)),
      PointId(std::move(pointId)),
      ConsumerPath(std::move(consumerPath)),
      Raw(std::move(raw)) {}

bool WmiSubscriptionWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const WmiSubscriptionWarning*>(&other);
    return same && same->ConsumerPath == ConsumerPath && same->Raw == Raw && same->Changed == Changed &&
           same->OldRaw == OldRaw;
}

BitsJobWarning::BitsJobWarning(std::string pointId, std::string jobId, std::string raw)
    : TWarning(ShieldWarningKind(kClassName), std::string()),
      PointId(std::move(pointId)),
      JobId(std::move(jobId)),
      Raw(std::move(raw)) {
    const std::vector<KeptObject> objects = ObjectsOf(Raw, kBitsRawMark);
    const KeptObject* job = FindKeptObject(objects, "job");
    Name = job && !job->Text("DisplayName").empty() ? job->Text("DisplayName") : JobId;
}

bool BitsJobWarning::AreEqual(const TWarning& other) const {
    const auto* same = dynamic_cast<const BitsJobWarning*>(&other);
    return same && same->JobId == JobId && same->Raw == Raw && same->Changed == Changed && same->OldRaw == OldRaw;
}

std::string WmiConsumerRuns(const KeptObject& consumer) {
    if (SameNameIgnoringCase(consumer.className, "ActiveScriptEventConsumer")) {
        const std::string engine = consumer.Text("ScriptingEngine");
        const std::string file = consumer.Text("ScriptFileName");
        if (!file.empty()) return QuotedWhenSpaced(file) + " (a " + engine + " script)";
        return "the " + engine + " code: " + OneLine(consumer.Text("ScriptText"));
    }
    const std::string program = consumer.Text("ExecutablePath");
    const std::string command = consumer.Text("CommandLineTemplate");
    if (program.empty()) return command;
    if (command.empty() || StartsWithProgram(command, program)) return command.empty() ? QuotedWhenSpaced(program) : command;
    return QuotedWhenSpaced(program) + " (command line: " + command + ")";
}

std::string WmiSubscriptionData(const std::vector<KeptObject>& objects) {
    const KeptObject* consumer = FindKeptObject(objects, "consumer");
    return (consumer ? WmiConsumerRuns(*consumer) : std::string()) + " when: " + WhenOf(objects);
}

std::string WmiNameOfPath(const std::string& path) {
    const std::size_t equals = path.find('=');
    if (equals == std::string::npos) return path;
    std::string name = path.substr(equals + 1);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    return name;
}

std::string BitsJobCommand(const KeptObject& job) {
    const std::string parameters = job.Text("NotifyParameters");
    return QuotedWhenSpaced(job.Text("NotifyProgram")) + (parameters.empty() ? "" : " " + parameters);
}

std::string BitsJobData(const std::vector<KeptObject>& objects) {
    const KeptObject* job = FindKeptObject(objects, "job");
    if (!job) return {};
    std::string files;
    for (const KeptObject& object : objects)
        if (object.role == "file") files += (files.empty() ? "" : ", ") + object.Text("Remote");
    return BitsJobCommand(*job) + " (the job " + Quoted(job->Text("DisplayName")) + ", files: " +
           (files.empty() ? "none" : files) + ")";
}

std::string WmiRemovalAdvice(const WmiSubscriptionWarning& warning) {
    std::string bindings;
    std::string filters;
    for (const KeptObject& object : ObjectsOf(warning.Raw, kWmiRawMark)) {
        if (object.role == "binding") bindings += (bindings.empty() ? "" : ", ") + ShownPath(object.path);
        if (object.role == "filter") filters += (filters.empty() ? "" : ", ") + ShownPath(object.path);
    }
    return "As an administrator, remove from the WMI namespace root\\subscription the binding " +
           (bindings.empty() ? std::string("of the consumer") : bindings) + ", the consumer " +
           ShownPath(warning.ConsumerPath) + " and, where nothing else is bound to it, the filter " +
           (filters.empty() ? std::string("it names") : filters) + ".";
}

namespace texts {

WarningTexts WmiSubscriptionTexts(const TWarning& found) {
    const auto& warning = WarningAs<WmiSubscriptionWarning>(found);
    const std::string name = ShownName(warning.Name);
    const Subscription now = SubscriptionOf(warning.Raw);
    const std::string runs = ShownPath(now.runs) + " when: " + ShownPath(now.when);
    const std::string identity = ShownPath(warning.ConsumerPath) + " in root\\subscription";
    const std::string backupLine = "WMI event subscription " + name + " was removed";
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is started by the WMI event subscription " + name + ", which runs " +
                               runs + ".",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = identity};
    }
    if (warning.Changed) {
        const Subscription before = SubscriptionOf(warning.OldRaw);
        return {.title = "WMI event subscription is changed",
                .description = "The WMI event subscription " + name + " was changed: it ran " + ShownPath(before.runs) +
                               " when: " + ShownPath(before.when) + " before, and runs " + runs +
                               " now. Click Shield me to remove it or Ignore to permit it.",
                .picture = "garbage",
                .backupLine = backupLine,
                .identity = identity};
    }
    return {.title = "New WMI event subscription",
            .description = "A WMI event subscription was added: " + name + " runs " + runs +
                           ". Click Shield me to remove it or Ignore to permit it.",
            .picture = "what",
            .backupLine = backupLine,
            .identity = identity};
}

WarningTexts BitsJobTexts(const TWarning& found) {
    const auto& warning = WarningAs<BitsJobWarning>(found);
    const std::string job = Quoted(ShownName(warning.Name));
    const std::string command = ShownPath(JobCommandOf(warning.Raw));
    const std::string files = ShownPath(JobFilesOf(warning.Raw));
    const std::string identity = "BITS job " + ShownName(warning.JobId);
    const std::string backupLine = "Background transfer " + job + " was cancelled";
    if (warning.KnownProgram) {
        return {.title = "Known malicious program",
                .description = "Malicious program is started by the background transfer " + job + ", which runs " +
                               command + " when it ends.",
                .picture = "bug",
                .danger = "_red",
                .backupLine = backupLine,
                .identity = identity};
    }
    if (warning.Changed) {
        return {.title = "Background transfer is changed",
                .description = "The background transfer " + job + " was changed: when it ends it ran " +
                               ShownPath(JobCommandOf(warning.OldRaw)) + " before, and runs " + command +
                               " now. Click Shield me to cancel it or Ignore to permit it.",
                .picture = "garbage",
                .backupLine = backupLine,
                .identity = identity};
    }
    return {.title = "New background transfer that runs a program",
            .description = "A background transfer (BITS job) that runs a program when it ends was added: " + job +
                           " runs " + command + "; it transfers " + files +
                           ". Click Shield me to cancel it or Ignore to permit it.",
            .picture = "what",
            .backupLine = backupLine,
            .identity = identity};
}

}  // namespace texts
}  // namespace sentrel
