#pragma once
// The autostart monitor: reads every autostart point from its sources, one point per step and as
// many steps as a slice's time allows, compares what it reads with the baseline kept in the
// settings folder and queues a warning for each difference, once. At the first start (no
// baseline yet) and for a point new in the table, what is there is the baseline and nothing is
// reported; what changed while the shield was not running is reported by the first pass.
//
// A source is one family of points (the registry points of the table, monitors/
// RegistryPointsSource.h; the scheduled tasks, services, Startup folders and browser policies
// plug in the same way): it says how many points it has, reads one into entries and makes the
// warning of a finding. The monitor itself (baseline, comparison, gate, slices) is portable.
// Everything runs on the thread that made the monitor (the window thread), except the gate's
// hold and accept (any thread); a slice on another thread throws std::logic_error.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "database/DangerRules.h"
#include "monitors/AutostartPoints.h"
#include "monitors/SliceCursor.h"

namespace sentrel {

class TWarning;
class WarningSink;

class AutostartSource {
public:
    virtual ~AutostartSource() = default;
    virtual std::size_t PointCount() const = 0;
    // The point's id (its key in the baseline: stable across starts) and kind.
    virtual const std::string& PointId(std::size_t point) const = 0;
    virtual AutostartPointKind PointKind(std::size_t point) const = 0;
    // What the point holds now; nothing when it cannot be read at the moment (it is then neither
    // compared nor learned). A point that does not exist holds no entries.
    virtual std::optional<std::vector<AutostartEntry>> Read(std::size_t point) = 0;
    // The warning of a finding at the point, with its texts' data; `knownProgram`: the threat
    // database knows the program the entry runs.
    virtual std::unique_ptr<TWarning> MakeWarning(std::size_t point, const AutostartFinding& finding,
                                                  bool knownProgram) = 0;
    // The point's entries name programs: the threat database and the shield's own files are
    // looked up for them. A browser's extension or setting names none.
    virtual bool RunsPrograms(std::size_t) const { return true; }
    // The addresses a finding points to (a home page, a search or update address), blank-separated,
    // for the rules that judge hosts; by default the entry's data where it runs no program.
    virtual std::string AddressesOf(std::size_t point, const AutostartFinding& finding) const {
        return RunsPrograms(point) ? std::string() : finding.entry.data;
    }
    // Called when a pass begins, before its first point is read.
    virtual void PassStarts() {}
};

// Holds of points while a fix or an undo changes them, and the points to take as they are next.
class AutostartGate {
public:
    void Hold(const std::string& point);
    // Ends one hold of the point; what its next reading holds of `item` (an entry the fix or undo
    // wrote; empty: the whole point) is taken as known without a report. Anything else that
    // changed there meanwhile is still compared.
    void Accept(const std::string& point, const std::string& item = {});
    bool Held(const std::string& point) const;
    // Once, the items of a point accepted since the last call ("" for the whole point); nothing
    // when none was.
    std::optional<std::set<std::string>> TakeAccepted(const std::string& point);
    // Counts every hold and accept: a reading begun before the count changed may miss a fix's or
    // an undo's change (sources that read off the window thread compare it).
    std::uint64_t Generation() const;

private:
    mutable std::mutex mutex_;
    std::uint64_t generation_ = 0;
    std::multiset<std::string> held_;
    std::map<std::string, std::set<std::string>> accepted_;
};

// The program a finding's entry runs is known to the threat database (by content and place).
using KnownAutostartProgram = std::function<bool(const std::string& path)>;

// Who signed a program: std::nullopt while that is not known yet (the check runs off the window
// thread; the finding waits for a later pass).
using AutostartSignerLookup = std::function<std::optional<ProgramSignature>(const std::string& program)>;

// Why a finding looks dangerous, by the rules of the threat database.
using AutostartDangerJudge = std::function<DangerVerdict(const DangerSubject& subject)>;

class AutostartMonitor {
public:
    // Loads the baseline from `baselinePath` (none there: this is the first start).
    AutostartMonitor(std::string baselinePath, KnownAutostartProgram isKnownProgram);

    // Each finding that runs a program then waits until its signer is known, and its warning says
    // who signed it (none set: nothing is said).
    void SetSignerLookup(AutostartSignerLookup lookup) { signerOf_ = std::move(lookup); }
    // Each finding's warning says why it looks dangerous where the rules find reasons, and names a
    // host that spread malware (none set: nothing is said).
    void SetDangerJudge(AutostartDangerJudge judge) { judge_ = std::move(judge); }
    // Where a program a command names lies (with its folder, environment names expanded); the
    // alert shows the command with it (none set: as the command names it).
    void SetProgramLocator(std::function<std::string(const std::string& program)> locate) {
        locate_ = std::move(locate);
    }

    void AddSource(std::unique_ptr<AutostartSource> source);

    // One slice of the pass: points are read and compared while `budget` allows (at least one).
    // True when the slice ended the pass; the baseline file is then rewritten (in one step) when
    // anything changed.
    bool Slice(WarningSink& queue, const SliceBudget& budget);
    // No pass is under way (the next slice begins one).
    bool AtPassStart() const { return cursor_.Position() == 0; }
    std::size_t PointCount() const { return points_.size(); }

    const std::shared_ptr<AutostartGate>& Gate() const { return gate_; }

private:
    void Visit(std::size_t index, WarningSink& queue);
    // Puts judge_'s reasons and host into the warning of a finding at the point `id`.
    void TellWhyDangerous(TWarning& warning, const std::string& id, const AutostartEntry& entry,
                          const std::string& command, const std::string& addresses) const;
    // The command as the alert shows it: the program with its folder, then its arguments.
    std::string ShownCommand(const std::string& command) const;
    // signerOf_'s answer; an empty signature where it failed.
    std::optional<ProgramSignature> SignerOf(const std::string& program) const;
    // The entry `finding` may replace under another program name (IsAutostartRename): the one it
    // changed, or one that went from the point within kUpdateGapSeconds of `time`.
    std::optional<AutostartEntry> RenamedFrom(const std::string& id, AutostartPointKind kind,
                                              const AutostartFinding& finding, std::int64_t time) const;
    void SaveBaseline();

    std::string baselinePath_;
    KnownAutostartProgram isKnownProgram_;
    AutostartSignerLookup signerOf_;
    AutostartDangerJudge judge_;
    std::function<std::string(const std::string& program)> locate_;
    std::vector<std::unique_ptr<AutostartSource>> sources_;
    struct PointRef {
        AutostartSource* source;
        std::size_t index;
    };
    std::vector<PointRef> points_;
    AutostartBaseline baseline_;
    AutostartRemovals removals_;  // kept in the baseline's file
    bool firstStart_ = false;
    bool dirty_ = false;
    TSliceCursor cursor_;
    std::shared_ptr<AutostartGate> gate_ = std::make_shared<AutostartGate>();
    std::thread::id owner_ = std::this_thread::get_id();
};

// The points watched: the built-in ones and those the program folder's table (`path`) adds, if it
// is there. Each of its rows that cannot be read (or the file, when it cannot be read) is logged
// and gets a line in `problems`, for the user.
std::vector<AutostartPoint> LoadAutostartPoints(const std::string& path, std::vector<std::string>& problems);

}  // namespace sentrel
