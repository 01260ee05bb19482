#include "monitors/AutostartPoints.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

#include "BuiltInAutostartPoints.h"
#include "common/CommandLine.h"
#include "database/PathParts.h"
#include "database/Table.h"
#include "monitors/FilePoints.h"
#include "warnings/AutostartEntryData.h"
#include "warnings/AutostartPointIds.h"

namespace sentrel {

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

std::optional<AutostartPointKind> KindOf(std::string_view word) {
    constexpr std::array<std::pair<std::string_view, AutostartPointKind>, 11> kKinds = {{
        {"values", AutostartPointKind::KeyValues},
        {"autorun", AutostartPointKind::AutorunValues},
        {"value", AutostartPointKind::OneValue},
        {"subkeys", AutostartPointKind::SubKeys},
        {"files", AutostartPointKind::Files},
        {"file", AutostartPointKind::OneFile},
        {"tasks", AutostartPointKind::Tasks},
        {"services", AutostartPointKind::Services},
        {"shortcuts", AutostartPointKind::BrowserShortcuts},
        {"wmi", AutostartPointKind::WmiSubscriptions},
        {"bits", AutostartPointKind::BitsJobs},
    }};
    for (const auto& [name, kind] : kKinds)
        if (SameNameIgnoringCase(word, name)) return kind;
    return std::nullopt;
}

std::string WithoutTrailingSeparators(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return std::string(path);
}

// The root of "HKCU\..." or "HKLM\..." (any letter case); nothing for another text.
std::optional<RegistryRoot> RootOf(std::string_view key) {
    const std::string_view prefix = key.substr(0, 5);
    if (SameNameIgnoringCase(prefix, "HKCU\\")) return RegistryRoot::CurrentUser;
    if (SameNameIgnoringCase(prefix, "HKLM\\")) return RegistryRoot::LocalMachine;
    return std::nullopt;
}

// Why the row cannot be a point; empty when it can (`point` then holds it).
std::string ReadRow(std::string_view line, AutostartPoint& point) {
    const std::vector<std::string_view> fields = Split(line, '|');
    if (fields.size() != 4) return "it has " + std::to_string(fields.size()) + " fields instead of 4";
    const std::optional<AutostartPointKind> kind = KindOf(Trimmed(fields[0]));
    if (!kind) return "its kind \"" + std::string(Trimmed(fields[0])) + "\" is none of values, autorun, value, subkeys, files, file, tasks, services, shortcuts, wmi, bits";
    point.kind = *kind;
    const std::string_view where = Trimmed(fields[1]);
    const std::string_view value = Trimmed(fields[2]);
    point.name = std::string(Trimmed(fields[3]));
    if (point.name.empty()) return "it gives the point no name";
    if (point.IsRegistry()) {
        const std::optional<RegistryRoot> root = RootOf(where);
        if (!root) return "its key does not begin with HKCU\\ or HKLM\\";
        point.root = *root;
        point.path = WithoutTrailingSeparators(where.substr(5));
        if (point.path.empty()) return "it names a root, not a key";
    } else {
        if (where.empty()) return "it names no folder";
        point.path = std::string(where);
        const bool startup = point.kind == AutostartPointKind::Files &&
                             (SameNameIgnoringCase(where, "Startup") || SameNameIgnoringCase(where, "Common Startup"));
        const bool filePlace = point.kind == AutostartPointKind::Files || point.kind == AutostartPointKind::OneFile;
        if (filePlace && !startup) {
            const std::optional<FilePlace> place = FilePlaceOf(where);
            if (!place) return "its place does not begin with a known folder (Documents, AppData, System, ...)";
            if (point.kind == AutostartPointKind::OneFile && place->relative.empty()) return "it names a folder, not a file";
        }
    }
    if (point.kind == AutostartPointKind::OneValue) {
        point.values = {value == "@" ? std::string() : std::string(value)};
    } else if (point.kind == AutostartPointKind::SubKeys && !value.empty()) {
        for (const std::string_view part : Split(value, ',')) {
            const std::string_view name = Trimmed(part);
            if (name.empty()) continue;
            if (!name.starts_with('>')) {
                point.values.emplace_back(name);
                continue;
            }
            point.shadowsRoot = RootOf(name.substr(1));
            point.shadowsPath = WithoutTrailingSeparators(name.substr(std::min<std::size_t>(6, name.size())));
            if (!point.shadowsRoot || point.shadowsPath.empty()) return "its \">\" names no key of HKCU or HKLM";
        }
    } else if (point.kind == AutostartPointKind::KeyValues && !value.empty()) {
        for (const std::string_view part : Split(value, ',')) {
            const std::string_view name = Trimmed(part);
            if (name.empty()) continue;
            if (name.find('*') != std::string_view::npos && (name.find('*') != name.size() - 1 || name.size() == 1))
                return "its value name \"" + std::string(name) + "\" has a \"*\" that is not the end of a name";
            point.values.emplace_back(name);
        }
    } else if (!value.empty()) {
        return "a row of this kind takes no value";
    }
    return {};
}

// The baseline's escapes: a backslash, a tab and the line breaks.
std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

const AutostartEntry* FindItem(const std::vector<AutostartEntry>& entries, std::string_view item) {
    for (const AutostartEntry& entry : entries)
        if (SameNameIgnoringCase(entry.item, item)) return &entry;
    return nullptr;
}

bool SameNames(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const std::string& x, const std::string& y) { return SameNameIgnoringCase(x, y); });
}

// The notify program and parameters a background transfer's entry keeps; nothing for an entry
// that keeps none.
std::optional<std::pair<std::string, std::string>> BitsCommandOfRaw(std::string_view raw) {
    const std::optional<std::vector<KeptObject>> objects = KeptObjectsOfRaw(raw, kBitsRawMark);
    const KeptObject* job = objects ? FindKeptObject(*objects, "job") : nullptr;
    if (!job) return std::nullopt;
    return std::pair(job->Text("NotifyProgram"), job->Text("NotifyParameters"));
}

// Whether the entry changed in a way that is a finding at a point of `kind`.
bool RunsOtherwise(AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after) {
    switch (kind) {
    case AutostartPointKind::KeyValues:
    case AutostartPointKind::AutorunValues:
    case AutostartPointKind::OneValue:
        return before.data != after.data || before.raw != after.raw;
    case AutostartPointKind::Services:
        if (before.data == after.data &&
            ServiceEntryPartsOf(before.raw).serviceDll == ServiceEntryPartsOf(after.raw).serviceDll)
            return false;
        break;
    case AutostartPointKind::Tasks:
        if (before.data == after.data || !TaskActionsOfRaw(before.raw) || !TaskActionsOfRaw(after.raw)) return false;
        break;
    case AutostartPointKind::Files:
    case AutostartPointKind::BrowserShortcuts:
        if (before.data == after.data || !ShortcutOfRaw(before.raw) || !ShortcutOfRaw(after.raw)) return false;
        break;
    case AutostartPointKind::OneFile: {
        const std::optional<WatchedFileState> was = WatchedFileOfRaw(before.raw);
        const std::optional<WatchedFileState> is = WatchedFileOfRaw(after.raw);
        return was && is && WatchedContentChanged(*was, *is);
    }
    case AutostartPointKind::SubKeys:
        return false;
    case AutostartPointKind::WmiSubscriptions:
        // What it runs and when (the data): another program, script or query.
        return before.data != after.data;
    case AutostartPointKind::BitsJobs:
        // The command run when the job ends; its name or files alone are no finding.
        return BitsCommandOfRaw(before.raw) != BitsCommandOfRaw(after.raw);
    }
    return true;
}

bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of a GUID at the start of `text` ("{" and "}" with it), 0 when none is.
std::size_t GuidLength(std::string_view text) {
    const bool braced = text.starts_with('{');
    std::size_t at = braced ? 1 : 0;
    for (const std::size_t group : {8, 4, 4, 4, 12}) {
        for (std::size_t i = 0; i < group; ++i, ++at)
            if (at >= text.size() || !IsHex(text[at])) return 0;
        if (group != 12) {
            if (at >= text.size() || text[at] != '-') return 0;
            ++at;
        }
    }
    if (braced) {
        if (at >= text.size() || text[at] != '}') return 0;
        ++at;
    }
    return at;
}

// The length of a version at the start of `text`: digits and one to three dotted parts.
std::size_t VersionLength(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsDigit(text[at])) ++at;
    if (at == 0) return 0;
    int parts = 0;
    while (parts < 3 && at + 1 < text.size() && text[at] == '.' && IsDigit(text[at + 1])) {
        ++at;
        while (at < text.size() && IsDigit(text[at])) ++at;
        ++parts;
    }
    return parts == 0 ? 0 : at;
}

// The length of a hexadecimal suffix at the start of `text` (after its "_", "-" or "."): four or
// more hexadecimal characters with a digit among them, ending the name (no letter or digit after).
std::size_t HexSuffixLength(std::string_view text) {
    std::size_t at = 0;
    bool digit = false;
    while (at < text.size() && IsHex(text[at])) digit |= IsDigit(text[at++]);
    if (at < 4 || !digit) return 0;
    if (at < text.size() && std::isalnum(static_cast<unsigned char>(text[at]))) return 0;
    return at;
}

bool IsAlphanumeric(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// Whether `after` moved the command `before` to another version only (see IsAutostartUpdate).
bool IsVersionMove(std::string_view before, std::string_view after) {
    if (before == after) return true;
    const std::string was = CommandProgram(before);
    const std::string is = CommandProgram(after);
    if (was.empty() || is.empty() || !SameNameIgnoringCase(PathFileName(was), PathFileName(is))) return false;
    return SameNameIgnoringCase(WithoutVersions(before), WithoutVersions(after));
}

}  // namespace

std::string WithoutVersions(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::string_view rest = text.substr(at);
        // Only where a word starts: "x64" or "v2" keep their digits.
        const bool wordStart = at == 0 || !IsAlphanumeric(text[at - 1]);
        std::size_t skip = 0;
        if (wordStart || rest.starts_with('{')) skip = GuidLength(rest);
        if (skip == 0 && (at == 0 || !IsDigit(text[at - 1]))) skip = VersionLength(rest);
        if (skip == 0 && at > 0 && (text[at - 1] == '_' || text[at - 1] == '-' || text[at - 1] == '.'))
            skip = HexSuffixLength(rest);
        if (skip > 0) {
            kept += '#';
            at += skip;
        } else {
            kept += text[at++];
        }
    }
    return kept;
}

namespace {

// The kinds whose entries an update replaces by a program of another version: those that start
// a program by a command.
bool UpdatedByVersion(AutostartPointKind kind) {
    switch (kind) {
    case AutostartPointKind::KeyValues:
    case AutostartPointKind::AutorunValues:
    case AutostartPointKind::OneValue:
    case AutostartPointKind::Tasks:
    case AutostartPointKind::Files:
    case AutostartPointKind::BrowserShortcuts:
    case AutostartPointKind::Services:
        return true;
    case AutostartPointKind::SubKeys:
    case AutostartPointKind::OneFile:
    case AutostartPointKind::WmiSubscriptions:
    case AutostartPointKind::BitsJobs:
        return false;
    }
    return false;
}

std::string ServiceLibrary(const AutostartEntry& entry) {
    return ServiceEntryPartsOf(entry.raw).serviceDll;
}

}  // namespace

bool IsAutostartUpdate(AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after) {
    if (!UpdatedByVersion(kind)) return false;
    if (kind == AutostartPointKind::Services) {
        const std::string wasLibrary = ServiceLibrary(before);
        const std::string isLibrary = ServiceLibrary(after);
        if (!IsVersionMove(wasLibrary, isLibrary)) return false;
        if (before.data == after.data && wasLibrary != isLibrary)
            return SameNameIgnoringCase(WithoutVersions(before.item), WithoutVersions(after.item));
    }
    if (before.data == after.data && SameNameIgnoringCase(before.item, after.item)) return false;
    return SameNameIgnoringCase(WithoutVersions(before.item), WithoutVersions(after.item)) &&
           IsVersionMove(before.data, after.data) && !CommandProgram(after.data).empty();
}

std::vector<AutostartPoint> ParseAutostartPoints(std::string_view text,
                                                 const std::function<void(const std::string&)>& log) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<AutostartPoint> points;
    int number = 0;
    for (const std::string_view rawLine : Split(text, '\n')) {
        ++number;
        const std::string_view line = Trimmed(rawLine);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        AutostartPoint point;
        const std::string problem = ReadRow(line, point);
        if (problem.empty()) {
            points.push_back(std::move(point));
        } else if (log) {
            log(std::string(kAutostartPointsFileName) + " line " + std::to_string(number) + " skipped: " + problem);
        }
    }
    return points;
}

const std::vector<AutostartPoint>& BuiltInAutostartPoints() {
    static const std::vector<AutostartPoint> points = ParseAutostartPoints(kBuiltInAutostartPoints, {});
    return points;
}

bool SameAutostartPoint(const AutostartPoint& a, const AutostartPoint& b) {
    // An autorun key is the same point as a "values" row of it (an older table had the user's
    // RunServices keys so): it is watched once, as the autorun list.
    const bool sameKind = a.kind == b.kind || (a.HoldsValues() && b.HoldsValues());
    return sameKind && a.root == b.root && SameNameIgnoringCase(a.path, b.path) &&
           SameNames(a.values, b.values) && a.shadowsRoot == b.shadowsRoot &&
           SameNameIgnoringCase(a.shadowsPath, b.shadowsPath);
}

std::vector<AutostartPoint> MergeAutostartPoints(std::vector<AutostartPoint> builtIn, std::string_view added,
                                                 const std::function<void(const std::string&)>& problem) {
    std::vector<AutostartPoint> points = std::move(builtIn);
    for (AutostartPoint& point : ParseAutostartPoints(added, problem)) {
        const bool known = std::any_of(points.begin(), points.end(),
                                       [&](const AutostartPoint& other) { return SameAutostartPoint(point, other); });
        if (!known) points.push_back(std::move(point));
    }
    return points;
}

std::string AutostartBaselineText(const AutostartBaseline& baseline) {
    std::string text;
    for (const auto& [point, entries] : baseline) {
        text += "point\t" + Escaped(point) + "\n";
        for (const AutostartEntry& entry : entries)
            text += "entry\t" + Escaped(point) + "\t" + Escaped(entry.item) + "\t" + Escaped(entry.data) + "\t" +
                    Escaped(entry.raw) + "\n";
    }
    return text;
}

AutostartBaseline ParseAutostartBaseline(std::string_view text) {
    AutostartBaseline baseline;
    for (const std::string_view line : Split(text, '\n')) {
        const std::vector<std::string_view> fields = Split(line, '\t');
        if (fields.size() == 2 && fields[0] == "point") {
            baseline[Unescaped(fields[1])];
        } else if (fields.size() == 5 && fields[0] == "entry") {
            baseline[Unescaped(fields[1])].push_back(
                {Unescaped(fields[2]), Unescaped(fields[3]), Unescaped(fields[4])});
        }
    }
    return baseline;
}

bool IsAutostartRename(AutostartPointKind kind, const AutostartEntry& before, const AutostartEntry& after) {
    if (!UpdatedByVersion(kind)) return false;
    if (kind == AutostartPointKind::Services &&
        !SameNameIgnoringCase(WithoutVersions(ServiceLibrary(before)), WithoutVersions(ServiceLibrary(after))))
        return false;
    if (!SameNameIgnoringCase(WithoutVersions(before.item), WithoutVersions(after.item))) return false;
    const std::string was = CommandProgram(before.data);
    const std::string is = CommandProgram(after.data);
    const std::string_view wasName = PathFileName(was);
    const std::string_view isName = PathFileName(is);
    if (wasName.empty() || isName.empty() || SameNameIgnoringCase(wasName, isName)) return false;
    // The old command with the new file name in its program's place is the new one, versions aside.
    const std::size_t at = before.data.find(was);
    if (at == std::string::npos) return false;
    std::string renamed = before.data;
    renamed.replace(at + was.size() - wasName.size(), wasName.size(), isName);
    return SameNameIgnoringCase(WithoutVersions(renamed), WithoutVersions(after.data));
}

std::vector<AutostartFinding> CompareAutostartEntries(AutostartPointKind kind, const std::vector<AutostartEntry>& known,
                                                      const std::vector<AutostartEntry>& now) {
    // The entries that went, each the update of at most one new entry.
    std::vector<const AutostartEntry*> went;
    for (const AutostartEntry& old : known)
        if (!FindItem(now, old.item)) went.push_back(&old);
    std::vector<AutostartFinding> findings;
    for (const AutostartEntry& entry : now) {
        const AutostartEntry* old = FindItem(known, entry.item);
        if (!old) {
            const auto updated = std::find_if(went.begin(), went.end(), [&](const AutostartEntry* gone) {
                return gone && IsAutostartUpdate(kind, *gone, entry);
            });
            if (updated != went.end()) {
                findings.push_back({AutostartChange::Updated, entry, **updated});
                *updated = nullptr;
            } else {
                findings.push_back({AutostartChange::Added, entry, std::nullopt});
            }
        } else if (RunsOtherwise(kind, *old, entry)) {
            const bool update = IsAutostartUpdate(kind, *old, entry);
            findings.push_back({update ? AutostartChange::Updated : AutostartChange::Changed, entry, *old});
        }
    }
    if (kind == AutostartPointKind::OneValue) {
        for (const AutostartEntry* old : went)
            if (old) findings.push_back({AutostartChange::Vanished, *old, *old});
    }
    return findings;
}

std::string AutostartRemovalsText(const AutostartRemovals& removals) {
    std::string text;
    for (const auto& [point, removed] : removals)
        for (const RemovedAutostartEntry& gone : removed)
            text += "removed\t" + Escaped(point) + "\t" + Escaped(gone.entry.item) + "\t" + Escaped(gone.entry.data) +
                    "\t" + Escaped(gone.entry.raw) + "\t" + std::to_string(gone.removedAt) + "\n";
    return text;
}

AutostartRemovals ParseAutostartRemovals(std::string_view text) {
    AutostartRemovals removals;
    for (const std::string_view line : Split(text, '\n')) {
        const std::vector<std::string_view> fields = Split(line, '\t');
        if (fields.size() != 6 || fields[0] != "removed") continue;
        std::int64_t time = 0;
        const auto [end, error] = std::from_chars(fields[5].data(), fields[5].data() + fields[5].size(), time);
        if (error != std::errc() || end != fields[5].data() + fields[5].size()) continue;
        removals[Unescaped(fields[1])].push_back(
            {{Unescaped(fields[2]), Unescaped(fields[3]), Unescaped(fields[4])}, time});
    }
    return removals;
}

bool RememberRemovals(std::vector<RemovedAutostartEntry>& removed, const std::vector<AutostartEntry>& known,
                      const std::vector<AutostartEntry>& now, std::int64_t time) {
    constexpr std::size_t kKept = 64;
    const std::size_t before = removed.size();
    const auto dropped = std::erase_if(removed, [&](const RemovedAutostartEntry& gone) {
        return time - gone.removedAt > kRemovalMemorySeconds || FindItem(now, gone.entry.item) != nullptr;
    });
    for (const AutostartEntry& old : known)
        if (!FindItem(now, old.item)) removed.push_back({old, time});
    if (removed.size() > kKept) removed.erase(removed.begin(), removed.end() - kKept);  // oldest first
    return dropped > 0 || removed.size() != before;
}

const RemovedAutostartEntry* RemovedEntryBroughtBack(AutostartPointKind kind,
                                                     const std::vector<RemovedAutostartEntry>& removed,
                                                     const AutostartEntry& entry, std::int64_t time) {
    for (auto gone = removed.rbegin(); gone != removed.rend(); ++gone)
        if (time - gone->removedAt <= kRemovalMemorySeconds && SameNameIgnoringCase(gone->entry.item, entry.item) &&
            gone->entry.data == entry.data && gone->entry.raw == entry.raw)
            return &*gone;
    for (auto gone = removed.rbegin(); gone != removed.rend(); ++gone)
        if (time - gone->removedAt <= kUpdateGapSeconds && IsAutostartUpdate(kind, gone->entry, entry)) return &*gone;
    return nullptr;
}

std::string AutostartListFacts(std::string_view pointId, std::string_view item, std::string_view program) {
    std::string facts = "autostart | " + std::string(pointId) + " | " + WithoutVersions(item) + " | " +
                        WithoutVersions(program);
    // A line of the list file: a line break in a name would cut it in two.
    std::replace_if(facts.begin(), facts.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return facts;
}

std::string CommandProgram(std::string_view command) {
    const CommandParts parts = SplitCommand(command);
    // rundll32 runs the library it is given.
    const std::string lowerProgram = LowerAscii(parts.program);
    if (lowerProgram.ends_with("rundll32.exe") || lowerProgram.ends_with("rundll32")) {
        const std::string_view argument = parts.arguments;
        if (!argument.empty()) return CommandProgram(argument.substr(0, argument.find(',')));
    }
    return parts.program;
}

std::vector<AutostartPoint> AutostartPointsOfKind(const std::vector<AutostartPoint>& points, AutostartPointKind kind) {
    std::vector<AutostartPoint> chosen;
    for (const AutostartPoint& point : points)
        if (point.kind == kind) chosen.push_back(point);
    return chosen;
}

std::string AutostartKindWord(AutostartPointKind kind) {
    switch (kind) {
    case AutostartPointKind::KeyValues: return "values";
    case AutostartPointKind::AutorunValues: return std::string(kAutorunPointKind);
    case AutostartPointKind::OneValue: return "value";
    case AutostartPointKind::SubKeys: return "subkeys";
    case AutostartPointKind::Files: return "files";
    case AutostartPointKind::OneFile: return "file";
    case AutostartPointKind::Tasks: return "tasks";
    case AutostartPointKind::Services: return "services";
    case AutostartPointKind::BrowserShortcuts: return "shortcuts";
    case AutostartPointKind::WmiSubscriptions: return "wmi";
    case AutostartPointKind::BitsJobs: return "bits";
    }
    return {};
}

bool AutostartPointCounts(const AutostartPoint& point, std::string_view valueName) {
    if (point.kind != AutostartPointKind::KeyValues || point.values.empty()) return true;
    return std::any_of(point.values.begin(), point.values.end(), [&](const std::string& pattern) {
        if (!pattern.ends_with('*')) return SameNameIgnoringCase(pattern, valueName);
        const std::string_view prefix = std::string_view(pattern).substr(0, pattern.size() - 1);
        return valueName.size() >= prefix.size() && SameNameIgnoringCase(valueName.substr(0, prefix.size()), prefix);
    });
}

std::string RegistryPointId(const AutostartPoint& point, RegistryView view) {
    std::string path = point.path;
    if (point.HoldsValues()) {
        // A row of some of the key's values is another point than the whole key.
        std::string values;
        for (const std::string& value : point.values) values += (values.empty() ? "|" : ",") + value;
        path += values;
    } else {
        std::string values;
        for (const std::string& value : point.values) values += (values.empty() ? "|" : ",") + value;
        path += values.empty() ? "|" : values;
        if (point.shadowsRoot) path += ">" + point.shadowsPath;
    }
    return KeyPointId(AutostartKindWord(point.kind), point.root, path, view);
}

}  // namespace sentrel
