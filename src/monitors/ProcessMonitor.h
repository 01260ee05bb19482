#pragma once
// The process monitor: tests the module files (executables and libraries) loaded by every
// running process against the threat tables, one file per tick of the main window's
// ProcessTimer (500 ms). The list of modules is taken afresh at the start of every pass; a pass
// goes through it in the order the system listed it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "database/Lookups.h"
#include "database/ThreatTables.h"

namespace sentrel {

class WarningSink;

class ProcessMonitor {
public:
    // Appends the full paths of the loaded modules of all processes to the list.
    using ModuleLister = std::function<void(std::vector<std::string>&)>;

    // Runs `work` away from the window thread, then `finish` on it.
    using Runner = std::function<void(std::function<void()> work, std::function<void()> finish)>;

    // Lists the modules with ListRunningModules.
    ProcessMonitor();
    // Lists them with `lister` instead.
    explicit ProcessMonitor(ModuleLister lister);

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
    void ProcessTimerTimer(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system);

    // The modules of the current pass, in enumeration order (a library loaded by several
    // processes is listed once for each).
    const std::vector<std::string>& ProcessList() const { return processList_; }
    // The position of the next entry to test; 0 means the next tick takes a fresh list.
    int ProcessIndex() const { return processIndex_; }

private:
    // Whether a fresh list is in processList_; starts taking one through the runner when not.
    bool TakeList();

    struct Listing {
        bool running = false;
        bool ready = false;
        std::vector<std::string> list;
    };
    ModuleLister lister_;
    Runner runner_;
    std::shared_ptr<Listing> listing_ = std::make_shared<Listing>();  // shared with its finish
    std::vector<std::string> processList_;
    int processIndex_ = 0;
};

}  // namespace sentrel
