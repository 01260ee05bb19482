#pragma once
// The autorun monitor, the watched-value monitor and the registry-entry monitor, with the watch
// registry they share. The shield's clock (core/Scheduler.h) runs the three passes as its
// AutorunListTimer (6 s), RegChangeTimer (4.5 s) and RegistryTimer (5 s), the last two a slice
// per tick; everything runs on the window thread, and the passes check that they do.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <map>
#include <memory>
#include <vector>

#include "common/OwnerThread.h"
#include "monitors/SliceCursor.h"
#include "platform/RegistryWatch.h"
#include "warnings/RootKeys.h"

namespace sentrel {

class TDataBase;
class TThreatTables;
class WarningSink;

// One watch. The key text carries a four-letter root prefix and a backslash
// ("HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run").
struct TRegMonitor {
    // 'r' autorun watch (the value names of a key), 'z' watched value (the string data of one
    // value), 'b' subkey-name watch (the subkey names of a key).
    char Kind = 'r';
    // The root the watch's key is opened below on each pass.
    RegistryRoot Registry = RegistryRoot::CurrentUser;
    // The registry view the key is read in: a key of HKEY_LOCAL_MACHINE is watched once in each.
    RegistryView View = RegistryView::Bits64;
    // Kinds 'r' and 'b': the names read on the latest pass.
    std::vector<std::string> CurrentNames;
    // The key below the root: the key text without its prefix and backslash.
    std::string KeyPath;
    // The key text, prefix included.
    std::string FullKey;
    // Kinds 'r' and 'b': the names known before the latest pass.
    std::vector<std::string> KnownNames;
    // Kind 'z': the watched value's name. Kind 'r': the name of the last new value found.
    std::string ValueName;
    // Kind 'z': the data last seen.
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

// The keys watched from start-up, as key texts with their prefix.
struct TStartupWatchKeys {
    // The autorun keys (watches of kind 'r'), in registration order.
    std::vector<std::string> AutorunKeys;
    // The key whose subkeys are the installed Browser Helper Objects (the watch of kind 'b').
    std::string BrowserHelperObjectsKey;
};

// The Run, RunOnce, RunServices and RunServicesOnce keys of the machine, the Run and RunOnce
// keys of the current user, and the machine's Browser Helper Objects key.
TStartupWatchKeys DefaultStartupWatchKeys();

// What the watched keys hold at one moment: the value names of each autorun watch and the data
// of each watched value (nothing where it cannot be read), in watch order.
struct TRegistrySnapshot {
    std::vector<std::vector<std::string>> AutorunNames;
    std::vector<std::optional<std::string>> ValueData;
};

// Whether the threat database knows the program file at `path` (by content and place).
using KnownProgramTest = std::function<bool(const std::string& path)>;

// The watch registry and the three passes.
class TRegistryWatches {
public:
    // The autorun pass asks `isKnownProgram` about each new value's program; without it, every
    // program is taken as unknown.
    explicit TRegistryWatches(KnownProgramTest isKnownProgram = {});

    // Creates the watch in each of WatchedViews (kind 'b': the 64-bit view only), as below.
    void AddRegWatch(const std::string& key, const std::string& value, char kind);
    // Creates one watch in `view`. Only a key text beginning exactly with "HKLM" or "HKCU" is
    // watched.
    // Kind 'r': the key's value names become the known names; the watch joins AutorunWatches
    // (also when the key cannot be opened yet: it then knows no names).
    // Kind 'z': the watch joins ValueWatches only when the value exists as plain string data
    // (REG_SZ); its data becomes the known data.
    // Kind 'b': the key's subkey names become the known names; the watch is kept as
    // BrowserHelperObjects (see there).
    void AddRegWatch(const std::string& key, const std::string& value, char kind, RegistryView view);

    // Creates the watched values listed in the INI file `iniPath` (normally the program folder's
    // keys_to_watch.ini): section "Count", key "Count" (36 when missing) entries, each in the
    // section named by its number (0, 1, ...) with "Key" and "Value"; Value "ALL" watches every
    // value the key has now (in each view). A missing file watches nothing.
    void AddRegTimerWatches(const std::string& iniPath);

    // Every autorun watch accepts the names it read last (called when a security level is
    // applied).
    void ResyncAutorunWatches();

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

    // The changes made since `before` are the user's own (an undo has just put a value back):
    // names that have appeared in an autorun key become known, and a watched value whose data
    // changed takes the new data as known, so no pass reports them. Other names and values keep
    // what the passes know, so a finding that arrives meanwhile elsewhere is still reported.
    void AcceptChangesSince(const TRegistrySnapshot& before);

    // While an undo acts on a worker, between its snapshot and its AcceptChangesSince: the
    // autorun and value passes are held (they neither report nor learn), so a pass in between
    // does not report what the undo is putting back. Counted; every hold is released once.
    void HoldPasses() { ++passHolds_; }
    void ReleasePasses() { if (passHolds_ > 0) --passHolds_; }
    bool PassesHeld() const { return passHolds_ > 0; }

    // The autorun pass: queues a TAutorunAddWarning for every value of an autorun key that was
    // not there on the previous pass, except the entries of this program and of its sibling
    // scanner. Data that is not a string is reported as the registry editor shows it. A program
    // the threat database knows makes the warning a known one, and when its file exists, a
    // TFileWarning for the file follows it into the queue. A lookup that fails (a damaged row, a
    // file that cannot be read) takes the program as unknown: the user is still asked.
    void AutorunListTimerTimer(WarningSink& queue);

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

    // The watches of kind 'r', in registration order.
    std::vector<TRegMonitor> AutorunWatches;
    // The watches of kind 'z', in registration order.
    std::vector<TRegMonitor> ValueWatches;
    // The watch of kind 'b' (the installed Browser Helper Objects at start-up), when it was
    // created. No pass compares it: no warning class describes a new Browser Helper Object, and
    // its remedy (deleting a whole key) is not one to offer for every program the user installs.
    std::optional<TRegMonitor> BrowserHelperObjects;

private:
    // One watched value of the watched-value pass.
    static void CheckWatchedValue(TRegMonitor& watch, WarningSink& queue);
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

    KnownProgramTest isKnownProgram_;
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

// The start-up registration: an autorun watch for each of keys.AutorunKeys, the subkey-name watch
// of keys.BrowserHelperObjectsKey, then the watched values of `iniPath`.
void RegisterStartupWatches(TRegistryWatches& watches, const TStartupWatchKeys& keys, const std::string& iniPath);

}  // namespace sentrel
