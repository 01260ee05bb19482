#pragma once
// The watched-value monitor and the registry-entry monitor, with the watch registry of the
// watched values. The shield's clock (core/Scheduler.h) runs their passes as its RegChangeTimer
// (4.5 s) and RegistryTimer (5 s), a slice per tick; everything runs on the window thread, and
// the passes check that they do. (The autorun keys are autostart points: monitors/
// AutostartMonitor.h.)

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <map>
#include <memory>
#include <vector>

#include "common/OwnerThread.h"
#include "database/DangerRules.h"
#include "monitors/SliceCursor.h"
#include "platform/RegistryWatch.h"
#include "warnings/RootKeys.h"

namespace sentrel {

class TDataBase;
class TThreatTables;
class WarningSink;

// One watch. The key text carries a four-letter root prefix and a backslash
// ("HKCU\Software\Microsoft\Internet Explorer\Main").
struct TRegMonitor {
    // 'z' watched value (the string data of one value); the only kind left of the older watch
    // model, whose autorun ('r') and subkey-name ('b') watches are autostart points now.
    char Kind = 'z';
    // The root the watch's key is opened below on each pass.
    RegistryRoot Registry = RegistryRoot::CurrentUser;
    // The registry view the key is read in: a key of HKEY_LOCAL_MACHINE is watched once in each.
    RegistryView View = RegistryView::Bits64;
    // The key below the root: the key text without its prefix and backslash.
    std::string KeyPath;
    // The key text, prefix included.
    std::string FullKey;
    // The watched value's name.
    std::string ValueName;
    // The data last seen.
    std::string KnownRegString;
};

// The string data of a value: opens `keyPath` below `root` read-only in `view`, reads and closes.
// A key that cannot be opened, or a value that does not exist, gives an empty text; data of a
// type other than REG_SZ and REG_EXPAND_SZ throws.
std::string ReadRegString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                          RegistryView view = RegistryView::Bits64);

// The views a key below `root` is watched and checked in: HKEY_LOCAL_MACHINE in both, every other
// root (HKEY_CURRENT_USER's keys are shared by 32-bit and 64-bit programs) in the 64-bit view.
// Where Windows shares a key of HKEY_LOCAL_MACHINE between the views (or the system has only
// one), the 32-bit view of that key reads as absent, so nothing is reported twice.
std::vector<RegistryView> WatchedViews(RegistryRoot root);

// The name of the file that holds the watch list, in the program folder.
inline constexpr const char* kKeysToWatchFileName = "keys_to_watch.ini";

// What the watched values hold at one moment: the data of each (nothing where it cannot be
// read), in watch order.
struct TRegistrySnapshot {
    std::vector<std::optional<std::string>> ValueData;
};

// The watch registry and the two passes.
class TRegistryWatches {
public:
    // A changed browser setting's warning says why its new value looks dangerous (a host that
    // spread malware) where the rules of the threat database find reasons.
    void SetDangerJudge(std::function<DangerVerdict(const DangerSubject&)> judge) { judge_ = std::move(judge); }

    // Creates the watch in each of WatchedViews, as below.
    void AddRegWatch(const std::string& key, const std::string& value, char kind);
    // Creates one watch in `view`. Only a key text beginning exactly with "HKLM" or "HKCU", and
    // only kind 'z', is watched: the watch joins ValueWatches only when the value exists as plain
    // string data (REG_SZ); its data becomes the known data.
    void AddRegWatch(const std::string& key, const std::string& value, char kind, RegistryView view);

    // Creates the watched values listed in the INI file `iniPath` (normally the program folder's
    // keys_to_watch.ini): section "Count", key "Count" (36 when missing) entries, each in the
    // section named by its number (0, 1, ...) with "Key" and "Value"; Value "ALL" watches every
    // value the key has now (in each view). A missing file watches nothing.
    void AddRegTimerWatches(const std::string& iniPath);

    // Every watched value takes its current data as the known data, without a report (for the
    // fix of a browser-setting warning, which rewrites the value itself). A value that cannot be
    // read keeps its known data.
    void RefreshKnownRegStrings();
    // The same for the watches of one value in one registry view only (any letter case of key
    // and name), read once:
    // what a browser-setting fix calls after rewriting that value. Costs one read whatever the
    // length of the watch list, and a change of another watched value is still reported.
    void RefreshKnownRegString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                               RegistryView view = RegistryView::Bits64);

    // What the watched keys hold now.
    TRegistrySnapshot TakeSnapshot() const;

    // The changes made since `before` are the user's own (an undo has just put a value back): a
    // watched value whose data changed takes the new data as known, so no pass reports it. Other
    // values keep what the passes know, so a finding that arrives meanwhile is still reported.
    void AcceptChangesSince(const TRegistrySnapshot& before);

    // While an undo acts on a worker, between its snapshot and its AcceptChangesSince: the
    // value passes are held (they neither report nor learn), so a pass in between
    // does not report what the undo is putting back. Counted; every hold is released once.
    void HoldPasses() { ++passHolds_; }
    void ReleasePasses() { if (passHolds_ > 0) --passHolds_; }
    bool PassesHeld() const { return passHolds_ > 0; }

    // The watched-value pass, walked in slices: the watches from where the previous slice
    // stopped, while `budget` allows; a watch list that changed since then is walked from its
    // first watch. Queues a TBrowserSettingWarning for every watched value whose data differs
    // from the known data, which then becomes the known data. A value that cannot be read as a
    // string (another type, access refused) is skipped on that pass and keeps its known data; a
    // deleted value reads as empty and is reported as changed to empty. True when this slice
    // ended the pass.
    bool RegChangeTimerSlice(WarningSink& queue, const SliceBudget& budget);
    // The slices of the pass under way, to its end, in one call.
    void RegChangeTimerTimer(WarningSink& queue);

    // The registry-entry pass, walked in slices: the rows from where the previous slice stopped,
    // while `budget` allows; tables replaced or changed since then are walked from their first
    // row. Queues a TRegistyWarning for every row of the threat database's RegEntries whose key
    // or value exists, once for each view it exists in. A row found missing in every view is
    // skipped until something changes below the key its path starts from. True when this slice
    // ended the pass.
    bool RegistryTimerSlice(const TThreatTables& tables, WarningSink& queue, const SliceBudget& budget);
    // The slices of the pass under way, to its end, in one call.
    void RegistryTimerTimer(const TThreatTables& tables, WarningSink& queue);

    // The watches of kind 'z', in registration order.
    std::vector<TRegMonitor> ValueWatches;

private:
    std::function<DangerVerdict(const DangerSubject&)> judge_;
    // One watched value of the watched-value pass.
    void CheckWatchedValue(TRegMonitor& watch, WarningSink& queue);
    // The watch of a key the rows' paths start from ("SOFTWARE"), with everything below it, and
    // its generation at the last slice; by root, view and lower-case name.
    struct TopWatch {
        std::unique_ptr<platform::RegistryWatch> watch;
        std::uint64_t seen = 0;
    };
    using TopWatches = std::map<std::string, TopWatch>;
    // One row of RegEntries for the registry-entry pass; the watch in `tops` of the key its path
    // starts from is made where missing. True when nothing of it is there in any view.
    static bool CheckRegEntryRow(const TDataBase& dataBase, int row, WarningSink& queue, TopWatches& tops);

    TSliceCursor valueCursor_;
    TSliceCursor regEntryCursor_;
    // The rows found missing in every view, while nothing changed below the keys in
    // regEntryTops_: the sliced pass skips them (a row found there is read at every pass).
    std::vector<bool> regEntryAbsent_;
    std::uint64_t regEntryAbsentFor_ = 0;
    TopWatches regEntryTops_;
    // Counts the watched values added: with the length, tells a sliced pass its list changed.
    std::uint64_t valueWatchesAdded_ = 0;
    int passHolds_ = 0;
    OwnerThread owner_;
};

}  // namespace sentrel
