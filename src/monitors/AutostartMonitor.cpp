#include "monitors/AutostartMonitor.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/CommandLine.h"
#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "common/StoredText.h"
#include "database/PathParts.h"
#include "database/Table.h"
#include "monitors/RegistryRules.h"
#include "warnings/Warning.h"
#include "warnings/WarningSink.h"

namespace sentrel {

namespace {

// The command a finding is about, for the threat database and the own-program test: a subkey's
// shown values give the first one's data.
std::string CommandOf(const AutostartFinding& finding) {
    const std::string& data = finding.entry.data;
    const std::size_t equals = data.find('=');
    if (equals != std::string::npos && data.find(':') > equals) {
        const std::size_t end = data.find("; ", equals);
        return data.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1);
    }
    return data;
}

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

// --- The gate ---

void AutostartGate::Hold(const std::string& point) {
    const std::lock_guard lock(mutex_);
    held_.insert(point);
    ++generation_;
}

void AutostartGate::Accept(const std::string& point, const std::string& item) {
    const std::lock_guard lock(mutex_);
    if (const auto found = held_.find(point); found != held_.end()) held_.erase(found);
    accepted_[point].insert(item);
    ++generation_;
}

std::uint64_t AutostartGate::Generation() const {
    const std::lock_guard lock(mutex_);
    return generation_;
}

bool AutostartGate::Held(const std::string& point) const {
    const std::lock_guard lock(mutex_);
    return held_.contains(point);
}

std::optional<std::set<std::string>> AutostartGate::TakeAccepted(const std::string& point) {
    const std::lock_guard lock(mutex_);
    auto found = accepted_.extract(point);
    if (found.empty()) return std::nullopt;
    return std::move(found.mapped());
}

// --- The monitor ---

AutostartMonitor::AutostartMonitor(std::string baselinePath, KnownAutostartProgram isKnownProgram)
    : baselinePath_(std::move(baselinePath)), isKnownProgram_(std::move(isKnownProgram)) {
    try {
        if (FileExists(baselinePath_)) {
            const std::string text = ReadFileText(baselinePath_);
            baseline_ = ParseAutostartBaseline(text);
            removals_ = ParseAutostartRemovals(text);
            return;
        }
    } catch (const std::exception&) {
        LogCaught("autostart baseline read");
    }
    firstStart_ = true;
}

void AutostartMonitor::AddSource(std::unique_ptr<AutostartSource> source) {
    for (std::size_t i = 0; i < source->PointCount(); ++i) points_.push_back({source.get(), i});
    sources_.push_back(std::move(source));
    cursor_.Reset();
}

bool AutostartMonitor::Slice(WarningSink& queue, const SliceBudget& budget) {
    if (std::this_thread::get_id() != owner_)
        throw std::logic_error("the autostart monitor is used off the thread that made it");
    if (AtPassStart())
        for (const auto& source : sources_) source->PassStarts();
    const bool done =
        cursor_.Walk(points_.size(), sources_.size(), budget, [&](std::size_t index) { Visit(index, queue); });
    if (done) {
        firstStart_ = false;
        if (dirty_) SaveBaseline();
    }
    return done;
}

void AutostartMonitor::Visit(std::size_t index, WarningSink& queue) {
    AutostartSource& source = *points_[index].source;
    const std::size_t point = points_[index].index;
    const std::string& id = source.PointId(point);
    if (gate_->Held(id)) return;
    const std::optional<std::vector<AutostartEntry>> now = source.Read(point);
    if (!now) return;
    const auto known = baseline_.find(id);
    const std::optional<std::set<std::string>> accepted = gate_->TakeAccepted(id);
    // Taken as it is: the first start, a point new in the table, a point a fix or undo changed
    // as a whole.
    if (firstStart_ || known == baseline_.end() || (accepted && accepted->contains(""))) {
        if (known == baseline_.end() || known->second != *now) {
            baseline_[id] = *now;
            dirty_ = true;
        }
        return;
    }
    // The entries a fix or an undo wrote are known as they are now.
    if (accepted) {
        const auto acceptedItem = [&](const AutostartEntry& entry) {
            return std::any_of(accepted->begin(), accepted->end(),
                               [&](const std::string& item) { return SameNameIgnoringCase(item, entry.item); });
        };
        std::erase_if(known->second, acceptedItem);
        std::copy_if(now->begin(), now->end(), std::back_inserter(known->second), acceptedItem);
        dirty_ = true;
    }
    // The usual pass: the point holds what it held. Nothing to compare (a point of hundreds of
    // entries, a browser's tracker domains, would otherwise be compared entry by entry each pass).
    if (!accepted && known->second == *now) return;
    const AutostartPointKind kind = source.PointKind(point);
    std::vector<AutostartFinding> findings = CompareAutostartEntries(kind, known->second, *now);
    // What went lately and is back as it was, or came back updated, and every update, is logged
    // and learned, not asked.
    const std::int64_t time = SecondsNow();
    std::vector<RemovedAutostartEntry>& removed = removals_[id];
    std::erase_if(findings, [&](AutostartFinding& finding) {
        if (finding.change == AutostartChange::Added) {
            if (const RemovedAutostartEntry* gone = RemovedEntryBroughtBack(kind, removed, finding.entry, time)) {
                if (gone->entry == finding.entry) {
                    LogEvent("autostart entry back as it was at " + id + ": " + finding.entry.item);
                    return true;
                }
                finding.change = AutostartChange::Updated;
                finding.before = gone->entry;
            }
        }
        if (finding.change != AutostartChange::Updated) return false;
        LogEvent("autostart update at " + id + ": " + finding.before->item + " \"" + finding.before->data +
                 "\" is now " + finding.entry.item + " \"" + finding.entry.data + "\"");
        return true;
    });
    if (RememberRemovals(removed, known->second, *now, time)) dirty_ = true;
    if (removed.empty()) removals_.erase(id);
    if (findings.empty()) {
        if (known->second != *now) {
            known->second = *now;  // what went, or changed without being a finding
            dirty_ = true;
        }
        return;
    }
    std::vector<AutostartEntry> learned = *now;
    const bool runsPrograms = source.RunsPrograms(point);
    // A finding not reported in this pass keeps its old state in the baseline, so a later pass
    // finds it again.
    const auto keepForLater = [&](const AutostartFinding& finding) {
        std::erase_if(learned, [&](const AutostartEntry& entry) { return entry.item == finding.entry.item; });
        if (finding.before) learned.push_back(*finding.before);
    };
    for (AutostartFinding& finding : findings) {
        const std::string program = runsPrograms ? CommandProgram(CommandOf(finding)) : std::string();
        if (runsPrograms && IsOwnAutorunFile(PathFileName(program))) continue;
        if (!queue.HasRoom()) {
            keepForLater(finding);
            continue;
        }
        std::optional<ProgramSignature> signature;
        if (signerOf_ && !program.empty()) {
            signature = SignerOf(program);
            if (!signature) {
                keepForLater(finding);
                continue;
            }
            finding.signer = signature->signer;
        }
        bool knownProgram = false;
        try {
            knownProgram = isKnownProgram_ && !program.empty() && isKnownProgram_(program);
        } catch (const std::exception&) {
            LogCaught("autostart program lookup");
        }
        // An update under another program name: quiet where the publisher that signed the program
        // it replaced signed this one too.
        if (signature && !signature->signer.empty() && !knownProgram) {
            if (const std::optional<AutostartEntry> replaced = RenamedFrom(id, kind, finding, time)) {
                const std::optional<ProgramSignature> was = SignerOf(CommandProgram(replaced->data));
                if (!was) {
                    keepForLater(finding);
                    continue;
                }
                if (was->signer == signature->signer) {
                    LogEvent("autostart update at " + id + " signed by " + signature->signer + " as before: " +
                             replaced->item + " \"" + replaced->data + "\" is now " + finding.entry.item + " \"" +
                             finding.entry.data + "\"");
                    continue;
                }
            }
        }
        std::unique_ptr<TWarning> warning = source.MakeWarning(point, finding, knownProgram);
        if (!warning) continue;
        if (signature) warning->SignatureText = signature->text;
        const std::string command = runsPrograms ? CommandOf(finding) : std::string();
        if (!command.empty()) warning->Command = ShownCommand(command);
        TellWhyDangerous(*warning, id, finding.entry, command, source.AddressesOf(point, finding));
        // The autorun list's alert names its program alone, as a list line of it always did;
        // other alerts show the whole command, which an update changes: their lines name facts.
        if (warning->ClassName() != TAutorunAddWarning::kClassName)
            warning->ListFacts = AutostartListFacts(id, finding.entry.item, program.empty() ? finding.entry.data : program);
        LogEvent("autostart finding at " + id + ": " + finding.entry.item +
                 (warning->DangerReasons.empty() ? "" : " (" + DangerReasonsLine(warning->DangerReasons) + ")"));
        queue.QueueWarning(std::move(warning));
        // The program file itself goes as well, as for the autorun list.
        if (knownProgram && FileExists(program))
            queue.QueueWarning(std::make_unique<TFileWarning>(FileNamePart(program), program));
    }
    known->second = std::move(learned);
    dirty_ = true;
}

std::string AutostartMonitor::ShownCommand(const std::string& command) const {
    const CommandParts parts = SplitCommand(command);
    std::string program = parts.program;
    try {
        if (locate_) program = locate_(program);
    } catch (const std::exception&) {
        LogCaught("autostart program path");
    }
    if (program.empty()) program = parts.program;
    if (program.find(' ') != std::string::npos) program = "\"" + program + "\"";
    return parts.arguments.empty() ? program : program + " " + parts.arguments;
}

void AutostartMonitor::TellWhyDangerous(TWarning& warning, const std::string& id, const AutostartEntry& entry,
                                        const std::string& command, const std::string& addresses) const {
    if (!judge_) return;
    // The point's key: its id without the kind's word, the values it watches and the view.
    std::string where = id.substr(std::min(id.find(' '), id.size()) + 1);
    where = where.substr(0, where.find('|'));
    try {
        DangerVerdict verdict = judge_({.command = command,
                                        .address = addresses,
                                        .where = where,
                                        .item = entry.item,
                                        .data = entry.data});
        warning.DangerReasons = std::move(verdict.reasons);
        warning.MaliciousHost = std::move(verdict.maliciousHost);
    } catch (const std::exception&) {
        LogCaught("autostart danger rules");
    }
}

std::optional<ProgramSignature> AutostartMonitor::SignerOf(const std::string& program) const {
    try {
        return signerOf_(program);
    } catch (const std::exception&) {
        LogCaught("autostart program signer");
        return ProgramSignature{};  // nothing said of it
    }
}

std::optional<AutostartEntry> AutostartMonitor::RenamedFrom(const std::string& id, AutostartPointKind kind,
                                                            const AutostartFinding& finding, std::int64_t time) const {
    if (finding.change == AutostartChange::Changed && finding.before) {
        if (IsAutostartRename(kind, *finding.before, finding.entry)) return finding.before;
        return std::nullopt;
    }
    if (finding.change != AutostartChange::Added) return std::nullopt;
    const auto removed = removals_.find(id);
    if (removed == removals_.end()) return std::nullopt;
    for (auto gone = removed->second.rbegin(); gone != removed->second.rend(); ++gone)
        if (time - gone->removedAt <= kUpdateGapSeconds && IsAutostartRename(kind, gone->entry, finding.entry))
            return gone->entry;
    return std::nullopt;
}

void AutostartMonitor::SaveBaseline() {
    try {
        WriteFileAtomically(baselinePath_, AutostartBaselineText(baseline_) + AutostartRemovalsText(removals_));
        dirty_ = false;
    } catch (const std::exception&) {
        LogCaught("autostart baseline write");
    }
}

std::vector<AutostartPoint> LoadAutostartPoints(const std::string& path, std::vector<std::string>& problems) {
    const auto problem = [&](const std::string& line) {
        LogEvent(line);
        problems.push_back(line);
    };
    try {
        // No file: the built-in points alone, as intended.
        if (!FileExists(path)) return BuiltInAutostartPoints();
        // A table edited and saved in the system's code page is read as well as a UTF-8 one.
        return MergeAutostartPoints(BuiltInAutostartPoints(), Utf8FromStoredText(ReadFileText(path)), problem);
    } catch (const std::exception& error) {
        LogCaught("autostart points read");
        problem(std::string(kAutostartPointsFileName) + " could not be read: " + error.what());
        return BuiltInAutostartPoints();
    }
}

}  // namespace sentrel
