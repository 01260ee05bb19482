#pragma once
// The autostart points: the places a program can make itself start with Windows, listed in the
// table built into the program (one row per point; the program folder's autostart_points.ini
// can add rows), what each holds at one moment (its entries), the baseline the shield keeps of
// them between starts and the comparison that turns a point's change into findings. All of it
// portable; the reading of the points is the Windows monitor's (monitors/AutostartMonitor.h).

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "warnings/RootKeys.h"

namespace sentrel {

// The name of the table of rows added to the built-in ones, in the program folder.
inline constexpr const char* kAutostartPointsFileName = "autostart_points.ini";
// The name of the baseline, in the settings folder.
inline constexpr const char* kAutostartBaselineFileName = "autostart_baseline.txt";

enum class AutostartPointKind {
    KeyValues,  // "values": every value of a key is an entry; a new value name is a finding
    // "autorun": the same, for the keys of the autorun list (Run, RunOnce, RunServices): a new
    // value is a new entry of the autorun list, reported as always; a changed one as for "values"
    AutorunValues,
    OneValue,   // "value": one value; its change, its appearance and its going are findings
    SubKeys,    // "subkeys": every subkey (holding one of the listed values) is an entry
    Files,      // "files": every file of a folder is an entry
    OneFile,    // "file": one file; its content (by digest) is the entry's
    Tasks,      // "tasks": every scheduled task of a folder (and its subfolders) is an entry
    Services,   // "services": every service of the services key is an entry
    // "shortcuts": every browser shortcut of a folder of shortcuts (the desktop, the Start menu,
    // the taskbar) is an entry; arguments that make the browser do more are a finding
    BrowserShortcuts,
    WmiSubscriptions,  // "wmi": every WMI event consumer bound to a filter that runs something
    BitsJobs,          // "bits": every background transfer of the user's with a notify command
};

// One row of the table.
struct AutostartPoint {
    AutostartPointKind kind = AutostartPointKind::KeyValues;
    // Registry kinds: the root (HKCU or HKLM in the table) and the key below it, without
    // trailing backslashes. Files, tasks and a file: the folder or file as the table names it, in
    // `path` ("Startup", "Common Startup", or a known folder and a path below it: monitors/FilePoints.h).
    RegistryRoot root = RegistryRoot::CurrentUser;
    std::string path;
    // OneValue: the value's name (empty: the key's default value). KeyValues: the names of the
    // values that count (a trailing "*" stands for any rest); none: every value. SubKeys: the values that make
    // a subkey run, each a name or "Subkey\Name" (a name of a key below the subkey; "Subkey\"
    // is that key's default value); none: every subkey counts, its default value shown.
    std::vector<std::string> values;
    // SubKeys: only a subkey whose name is also a subkey of this key counts (the root and path
    // of another key, "HKLM\..."): a per-user class that shadows a machine-wide one.
    std::optional<RegistryRoot> shadowsRoot;
    std::string shadowsPath;
    // What the alert calls the point, in plain words ("the Winlogon shell").
    std::string name;

    bool IsRegistry() const {
        return kind == AutostartPointKind::KeyValues || kind == AutostartPointKind::AutorunValues ||
               kind == AutostartPointKind::OneValue || kind == AutostartPointKind::SubKeys;
    }
    // Every value of the key is an entry.
    bool HoldsValues() const {
        return kind == AutostartPointKind::KeyValues || kind == AutostartPointKind::AutorunValues;
    }
};

// The table's rows from its text (UTF-8). A row is
//     kind | where | value | name
// with kind one of values, autorun, value, subkeys, files, file, tasks, services, shortcuts, wmi, bits; where "HKCU\..." or
// "HKLM\..." for the registry kinds, a known folder and a path below it for "file" and for "files"
// other than the Startup folders; value the value name of a "value" row ("@" or nothing: the
// default value), the comma-separated names of the values that count at a "values" row (a trailing
// "*" stands for any rest; nothing: all of them) or the comma-separated run values of a "subkeys"
// row, where ">HKLM\..." among them names the key
// whose subkeys alone count (see AutostartPoint::shadowsPath). Blank lines and lines starting with ";" or
// "#" are skipped; a bad row is skipped and `log` gets a line saying which and why.
std::vector<AutostartPoint> ParseAutostartPoints(std::string_view text,
                                                 const std::function<void(const std::string&)>& log);

// The rows built into the program (data/autostart_points.ini at build time), read once.
const std::vector<AutostartPoint>& BuiltInAutostartPoints();

// Whether two rows name the same point: the same kind, root, key or folder, values and shadowed
// key, without regard to letter case; what the alert calls them does not count, and "values" and
// "autorun" rows of one key are one point.
bool SameAutostartPoint(const AutostartPoint& a, const AutostartPoint& b);

// The points watched: `builtIn`, then each row of `added` (the program folder's table) that names
// no point already among them. `problem` gets a line for each row of `added` that cannot be read,
// naming the file, the line and why.
std::vector<AutostartPoint> MergeAutostartPoints(std::vector<AutostartPoint> builtIn, std::string_view added,
                                                 const std::function<void(const std::string&)>& problem);

// One entry of a point: a value, a subkey, a file or a task.
struct AutostartEntry {
    std::string item;  // the value name, subkey name, file name or task path
    std::string data;  // what it runs, as shown to the user
    std::string raw;   // what a fix needs to put it back exactly (registry: "type:hex bytes")

    bool operator==(const AutostartEntry&) const = default;
};

// What the shield knows of every point it has read: the entries by the point's id. A point
// without a row here was never read (it is new in the table, or this is the first start).
using AutostartBaseline = std::map<std::string, std::vector<AutostartEntry>>;

// The baseline file's text (UTF-8, one line per point and per entry) and back. Unreadable lines
// are skipped.
std::string AutostartBaselineText(const AutostartBaseline& baseline);
AutostartBaseline ParseAutostartBaseline(std::string_view text);

// Updated: an entry that replaced another one of the point (`before`: a value's data, or an
// entry that went) by the same program of another version (IsAutostartUpdate); logged, not asked.
enum class AutostartChange { Added, Changed, Vanished, Updated };

struct AutostartFinding {
    AutostartChange change = AutostartChange::Added;
    AutostartEntry entry;                 // as it is now (Vanished: as it was)
    std::optional<AutostartEntry> before; // Changed and Vanished: as the baseline had it
    std::string signer;                   // who signed the program it runs, where Windows trusts it
};

// Who signed the program a finding runs, as the alert tells it.
struct ProgramSignature {
    std::string signer;  // where Windows trusts the signature; else empty
    std::string text;    // the alert's line ("Program signed by ..."); empty where unknown
};

// What changed at a point of `kind` from `known` to `now`, in the order of `now` (items compared
// without regard to letter case): a new item is Added; for the value kinds, other data is
// Changed; for one value, an item that went is Vanished. Where data decides what runs, a change
// of what runs is Changed too: a service's command (ImagePath) or library (ServiceDll), a
// scheduled task's programs or arguments, a Startup shortcut's target or arguments; for a task
// or a shortcut only when both entries keep what a fix needs to put it back (an entry of an
// older version's baseline keeps nothing there, and is learned again without a report). Their
// other changes (a service's start or name, a task's start folder, a file that is no shortcut)
// and subkeys that change, and whatever goes but one value, are no finding.
std::vector<AutostartFinding> CompareAutostartEntries(AutostartPointKind kind, const std::vector<AutostartEntry>& known,
                                                      const std::vector<AutostartEntry>& now);

// `text` with what changes from one version of a program to the next set aside: versions
// (digits with one to three dotted parts: "1.2", "10.0.19045.1"), GUIDs (with or without braces)
// and hexadecimal suffixes of four or more characters, a digit among them, after "_", "-" or "."
// ("CDPUserSvc_3a8f2"). Each becomes "#"; the rest is kept as it is.
std::string WithoutVersions(std::string_view text);

// Whether `after` is `before` updated: an entry of the same point whose name and command are the
// same once versions are set aside (WithoutVersions, letter case aside), that starts a program of
// the same file name, and differs. A service's library is held to the same rule. Anything else
// differing (another folder, another file name, other arguments) is no update.
bool IsAutostartUpdate(AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after);

// Whether `after` may be `before` updated under another program name: an entry of the same
// point whose name is the same once versions are set aside, whose program lies in the same folder
// (versions aside) under another file name, and whose command is otherwise the same. Such an
// update is quiet only when both programs are signed by the same publisher (the monitor asks).
bool IsAutostartRename(AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after);

// An entry that went from a point, and when (seconds since 1970).
struct RemovedAutostartEntry {
    AutostartEntry entry;
    std::int64_t removedAt = 0;

    bool operator==(const RemovedAutostartEntry&) const = default;
};
// What went from each point lately, by the point's id: an entry written again as it was is
// not new (a program's start with Windows switched off and on again), and one replaced a little
// later by its update is an update.
using AutostartRemovals = std::map<std::string, std::vector<RemovedAutostartEntry>>;

// How long what went is remembered: a week.
inline constexpr std::int64_t kRemovalMemorySeconds = 7 * 24 * 3600;
// How long after an entry went its update may come and still be one, not new: an hour.
inline constexpr std::int64_t kUpdateGapSeconds = 3600;

// Lines of the baseline file for them, which the baseline's own reading skips (and so do earlier
// versions of it); and back (unreadable lines skipped).
std::string AutostartRemovalsText(const AutostartRemovals& removals);
AutostartRemovals ParseAutostartRemovals(std::string_view text);

// Keeps `removed` up to date at `time`, as a point went from `known` to `now`: entries of `known`
// missing from `now` (by item) are added, entries back in `now` and those older than
// kRemovalMemorySeconds dropped, and no more than the newest 64 kept. Whether it changed.
bool RememberRemovals(std::vector<RemovedAutostartEntry>& removed, const std::vector<AutostartEntry>& known,
                      const std::vector<AutostartEntry>& now, std::int64_t time);

// The entry of `removed` that an Added `entry` brings back at `time`: the same item, data and
// raw, gone no longer than kRemovalMemorySeconds ago; else one it updates (IsAutostartUpdate),
// gone no longer than kUpdateGapSeconds ago. Null when neither.
const RemovedAutostartEntry* RemovedEntryBroughtBack(AutostartPointKind kind,
                                                     const std::vector<RemovedAutostartEntry>& removed,
                                                     const AutostartEntry& entry, std::int64_t time);

// The line of the white and black lists that names an entry of the point `pointId` by its facts:
// the point, the entry's name and what it runs (`program`, else its data) with versions set aside
// (WithoutVersions), on one line.
std::string AutostartListFacts(std::string_view pointId, std::string_view item, std::string_view program);

// The program a command starts: the quoted first part, else the text up to and with the first
// ".exe", ".dll", ".com", ".bat", ".cmd", ".scr" or ".vbs" that ends a word, else the first
// blank-separated word; "rundll32.exe x.dll,Entry" names x.dll.
std::string CommandProgram(std::string_view command);

// The rows of `points` of one kind, in their order.
std::vector<AutostartPoint> AutostartPointsOfKind(const std::vector<AutostartPoint>& points, AutostartPointKind kind);

// The word of a kind in the table ("values", "subkeys", ...).
std::string AutostartKindWord(AutostartPointKind kind);

// Whether a value of that name is an entry of the point: every value is, but at a "values" row
// that names the values that count (letter case aside; "OPEN*" counts "OPEN" and "OPEN2").
bool AutostartPointCounts(const AutostartPoint& point, std::string_view valueName);

// The id a registry point of the table has in the baseline and the gate, read in `view`.
std::string RegistryPointId(const AutostartPoint& point, RegistryView view);

}  // namespace sentrel
