#pragma once
// The process monitor: tests the module files (executables and libraries) loaded by every
// running process against the threat tables, one file per tick of the shield clock's
// ProcessTimer (500 ms, core/Scheduler.h), on the window thread. The list of modules is taken afresh at the start of every pass; a pass
// goes through it in the order the system listed it.
//
// A pass over every module of every process takes minutes, and a program started and ended
// meanwhile would never be tested. So every fourth tick (each 2 s) also looks for processes
// started since it last looked and tests their executables at once; those running when the
// monitor first looks are left to the pass. Listing the processes is the dearest part of a tick,
// hence not at every one.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

#include "common/OwnerThread.h"
#include "database/Lookups.h"
#include "database/ThreatTables.h"

namespace sentrel {

class WarningSink;

// The full path of a process's executable; empty when it cannot be read.
std::string ExecutablePathOf(DWORD processId);
// The executables' paths of the running processes, those that could be read.
std::vector<std::string> ListRunningProgramPaths();

// Where the monitor looks for started processes: their identifiers (all of them, each tick) and
// the executable of one (only of those not seen before).
struct ProgramSource {
    std::function<std::vector<DWORD>()> ids;
    std::function<std::string(DWORD processId)> executable;
};

class ProcessMonitor {
public:
    // Appends the full paths of the loaded modules of all processes to the list.
    using ModuleLister = std::function<void(std::vector<std::string>&)>;

    // Runs `work` away from the window thread, then `finish` on it.
    using Runner = std::function<void(std::function<void()> work, std::function<void()> finish)>;

    // Lists the modules with ListRunningModules and the processes with EnumProcesses.
    ProcessMonitor();
    // Lists them with `lister` instead, and the processes with `programs` (left empty: started
    // processes are not looked for).
    explicit ProcessMonitor(ModuleLister lister, ProgramSource programs = {});

    // From now on the list is taken through `runner` (walking every process's modules is a slow
    // call into other processes): the tick that starts a pass asks for it and tests nothing,
    // and the first tick after it came tests its first entry.
    void SetRunner(Runner runner) { runner_ = std::move(runner); }

    // One tick: at the start of a pass (ProcessIndex 0) the list is taken afresh; then the entry
    // at ProcessIndex is tested with IsKnownSpywareFile, and a known file is queued as a
    // TProcessWarning (Name its file name, FilePath the whole entry). The position moves on
    // before the test, so a test that throws (a malformed folder mask) costs that entry only,
    // and the pass does not stall on it; the exception still reaches the caller. An empty list
    // tests nothing and the next tick lists afresh. After the last entry ProcessIndex is 0 again.
    // Then, every kStartedEveryTicks ticks, the executable of every process started since the
    // last look is tested in the same way (a process whose executable cannot be read yet is
    // looked at again at the next look).
    void ProcessTimerTimer(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system);

    // The modules of the current pass, in enumeration order (a library loaded by several
    // processes is listed once for each).
    const std::vector<std::string>& ProcessList() const { return processList_; }
    // The position of the next entry to test; 0 means the next tick takes a fresh list.
    int ProcessIndex() const { return processIndex_; }
    // Whether a started program of this executable (any letter case) was queued at or after the
    // tick count `sinceMs`: the file monitor then has nothing to add about its file.
    bool ToldAsStartedSince(const std::string& path, std::uint64_t sinceMs) const;
    // The file monitor queued the running program of `path` (it saw the file first): a start of
    // it found within kToldElsewhereMs is not queued again.
    void NoteToldAsProgram(const std::string& path);

    static constexpr int kStartedEveryTicks = 4;
    static constexpr std::uint64_t kToldElsewhereMs = 10000;

private:
    void TestStartedPrograms(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system);
    // Whether a fresh list is in processList_; starts taking one through the runner when not.
    bool TakeList();

    struct Listing {
        bool running = false;
        bool ready = false;
        std::vector<std::string> list;
    };
    OwnerThread owner_;  // the window thread: the ticks and the file monitor's questions
    ModuleLister lister_;
    ProgramSource programs_;
    Runner runner_;
    std::shared_ptr<Listing> listing_ = std::make_shared<Listing>();  // shared with its finish
    std::vector<std::string> processList_;
    int processIndex_ = 0;
    bool programsSeen_ = false;  // the processes of the first look are the pass's
    std::set<DWORD> seenIds_;
    static constexpr int kUnreadableTries = 4;
    std::map<DWORD, int> unreadable_;  // started processes whose executable could not be read yet
    struct Told {
        std::string path;
        std::uint64_t atMs;
    };
    static constexpr std::size_t kToldLimit = 64;
    // Keeps the path with the time, the oldest forgotten beyond kToldLimit.
    static void Remember(std::deque<Told>& told, const std::string& path);
    // Whether `told` holds the path (any letter case) from `sinceMs` on.
    static bool Names(const std::deque<Told>& told, const std::string& path, std::uint64_t sinceMs);
    std::deque<Told> told_;          // the started programs queued last
    std::deque<Told> toldElsewhere_;  // and those the file monitor queued
    int startedTick_ = 0;             // the started programs are looked for when it is 0
};

}  // namespace sentrel
