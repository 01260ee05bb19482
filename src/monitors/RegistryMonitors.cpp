#include "monitors/RegistryMonitors.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/Files.h"
#include "config/IniText.h"
#include "warnings/WarningSink.h"
#include "database/PathParts.h"
#include "database/Table.h"
#include "database/ThreatTables.h"
#include "monitors/RegistryRules.h"
#include "platform/Registry.h"
#include "platform/RegistryWatch.h"
#include "warnings/RegistryFile.h"
#include "warnings/RootKeysWin.h"
#include "warnings/Warning.h"

namespace sentrel {

namespace {

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryValue;

constexpr int kDefaultWatchCount = 36;
constexpr std::string_view kAllValues = "ALL";
constexpr std::string_view kRegEntriesTable = "RegEntries";
constexpr std::string_view kRegPathColumn = "REG_PATH";

// Opens a key for reading in `view`; nothing when it is missing. In the 32-bit view, a key that
// opens as the very key of the 64-bit view (one Windows shares between the views, or a system
// with one view) is nothing too: the 64-bit watch or check reads it already. Throws on any
// other failure (access refused). The monitors only read, so they never ask for write access:
// a standard user may read the machine's keys but not change them.
std::optional<RegistryKey> OpenInView(RegistryRoot root, const std::string& keyPath, RegistryView view) {
    std::optional<RegistryKey> key = RegistryKey::Open(ToHkey(root), keyPath, RegistryAccess::Read, ViewFlag(view));
    if (!key || view == RegistryView::Bits64) return key;
    try {
        const std::optional<RegistryKey> native =
            RegistryKey::Open(ToHkey(root), keyPath, RegistryAccess::Read, ViewFlag(RegistryView::Bits64));
        if (native && platform::IsSameKey(key->Get(), native->Get())) return std::nullopt;
    } catch (const std::exception&) {
        LogCaught("registry key open, 64-bit view");
        // The 64-bit key cannot be read: the 32-bit one is read on its own.
    }
    return key;
}

// OpenInView, with nothing also when the key cannot be opened (access refused).
std::optional<RegistryKey> OpenForReading(RegistryRoot root, const std::string& keyPath,
                                          RegistryView view = RegistryView::Bits64) {
    try {
        return OpenInView(root, keyPath, view);
    } catch (const std::exception&) {
        LogCaught("registry key open");
        return std::nullopt;
    }
}

// The values of a key, in enumeration order; none when it cannot be read.
std::vector<RegistryValue> ReadValues(RegistryRoot root, const std::string& keyPath,
                                      RegistryView view = RegistryView::Bits64) {
    try {
        if (auto key = OpenForReading(root, keyPath, view)) return key->Values();
    } catch (const std::exception&) {
        LogCaught("registry values read");
    }
    return {};
}

// An integer as the private-profile functions read it: optional blanks and sign, then decimal
// digits up to the first other character; 0 when there are none; `fallback` when missing.
int ProfileInt(const IniText& ini, std::string_view section, std::string_view key, int fallback) {
    const std::optional<std::string> text = ini.Get(section, key);
    if (!text) return fallback;
    errno = 0;
    const long long value = std::strtoll(text->c_str(), nullptr, 10);
    if (errno == ERANGE || value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The entry number a section name stands for when it is written as the decimal number alone
// (the way entry i's section is named); nothing otherwise.
std::optional<int> EntryNumber(const std::string& section) {
    if (section.empty() || section.size() > 9) return std::nullopt;
    if (section.size() > 1 && section.front() == '0') return std::nullopt;
    if (!std::all_of(section.begin(), section.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    return std::stoi(section);
}

// The text a registry-entry row reports for a value: string data without its terminator, binary
// data without its final byte; other types as the registry editor shows them.
std::string RegEntryValueText(const RegistryValue& value) {
    switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return platform::StringFromRegistryData(value.data);
    case REG_BINARY:
        return value.data.empty() ? std::string() : value.data.substr(0, value.data.size() - 1);
    default:
        return RegistryDataAsText(value.type, value.data);
    }
}

// The registry-entry check of one row in one view: the row's key, or else its value, when it
// exists there. One row that cannot be read (access refused) must not hide the rows after it.
// True when neither is there in this view (false when it could not be read).
bool CheckRegEntry(const TRegEntryTarget& target, RegistryView view, WarningSink& queue) {
    try {
        const std::optional<RegistryKey> parent = OpenForReading(target.Root, target.Parent, view);
        if (!parent) return true;
        if (OpenInView(target.Root, target.KeyText, view)) {
            // A key right below a root ("HKEY_LOCAL_MACHINE\\SOFTWARE", and its 32-bit view
            // SOFTWARE\\WOW6432Node) is never offered for removal, whatever the row says.
            if (!IsRemovableKeyPath(ViewKeyPath(target.KeyText, view))) return false;
            queue.QueueWarning(
                std::make_unique<TRegistyWarning>(target.Root, target.KeyText, target.KeyText, "", "", view));
            return false;
        }
        const std::optional<RegistryValue> value = parent->ReadValue(target.Last);
        if (!value) return true;
        queue.QueueWarning(std::make_unique<TRegistyWarning>(target.Root, target.Parent, target.Parent, target.Last,
                                                             RegEntryValueText(*value), view));
    } catch (const std::exception&) {
        LogCaught("RegistryTimer row");
    }
    return false;
}

}  // namespace

std::vector<RegistryView> WatchedViews(RegistryRoot root) {
    if (root == RegistryRoot::LocalMachine) return {RegistryView::Bits64, RegistryView::Bits32};
    return {RegistryView::Bits64};
}

std::string ReadRegString(RegistryRoot root, const std::string& keyPath, const std::string& valueName,
                          RegistryView view) {
    const std::optional<RegistryKey> key = OpenForReading(root, keyPath, view);
    if (!key) return {};
    return key->ReadString(valueName).value_or(std::string());
}

void TRegistryWatches::AddRegWatch(const std::string& key, const std::string& value, char kind) {
    const std::string_view prefix = std::string_view(key).substr(0, 4);
    if (prefix != "HKLM" && prefix != "HKCU") return;
    const RegistryRoot root = prefix == "HKLM" ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    for (const RegistryView view : WatchedViews(root)) AddRegWatch(key, value, kind, view);
}

void TRegistryWatches::AddRegWatch(const std::string& key, const std::string& value, char kind, RegistryView view) {
    const std::string_view prefix = std::string_view(key).substr(0, 4);
    if (prefix != "HKLM" && prefix != "HKCU") return;

    if (kind != 'z') return;
    TRegMonitor watch;
    watch.Kind = kind;
    watch.Registry = prefix == "HKLM" ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    watch.View = view;
    watch.ValueName = value;
    watch.KeyPath = KeyPathOfWatch(key);
    watch.FullKey = key;
    try {
        const std::optional<RegistryKey> opened = OpenForReading(watch.Registry, watch.KeyPath, watch.View);
        if (!opened) return;
        const std::optional<RegistryValue> data = opened->ReadValue(watch.ValueName);
        // Only plain strings: a missing value or an expandable string is not watched.
        if (!data || data->type != REG_SZ) return;
        watch.KnownRegString = platform::StringFromRegistryData(data->data);
    } catch (const std::exception&) {
        LogCaught("watched value registration");
        return;
    }
    ValueWatches.push_back(std::move(watch));
    ++valueWatchesAdded_;
}

void TRegistryWatches::AddRegTimerWatches(const std::string& iniPath) {
    IniText ini;
    if (FileExists(iniPath)) {
        const std::vector<std::uint8_t> bytes = ReadFileBytes(iniPath);
        ini = IniText::Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }
    const int count = ProfileInt(ini, "Count", "Count", kDefaultWatchCount);

    // Entry i lives in the section named i. A missing section reads as an empty key, which is
    // refused, so only the sections present need a visit (a hand-edited huge Count costs nothing).
    std::set<int> entries;
    for (const std::string& section : ini.SectionNames()) {
        if (const std::optional<int> number = EntryNumber(section); number && *number < count) entries.insert(*number);
    }
    for (const int entry : entries) {
        const std::string section = std::to_string(entry);
        const std::string key = ini.Get(section, "Key").value_or(std::string());
        const std::string value = ini.Get(section, "Value").value_or(std::string());
        if (value != kAllValues) {
            AddRegWatch(key, value, 'z');
            continue;
        }
        const std::optional<RegistryRoot> root = RootFromPrefix(key);
        if (!root) continue;
        for (const RegistryView view : WatchedViews(*root)) {
            for (const RegistryValue& named : ReadValues(*root, KeyPathOfWatch(key), view))
                AddRegWatch(key, named.name, 'z', view);
        }
    }
}

void TRegistryWatches::RefreshKnownRegStrings() {
    owner_.Check("RefreshKnownRegStrings");
    for (TRegMonitor& watch : ValueWatches) {
        try {
            watch.KnownRegString = ReadRegString(watch.Registry, watch.KeyPath, watch.ValueName, watch.View);
        } catch (const std::exception&) {
            LogCaught("RegChangeTimer refresh");
        }
    }
}

void TRegistryWatches::RefreshKnownRegString(RegistryRoot root, const std::string& keyPath,
                                             const std::string& valueName, RegistryView view) {
    owner_.Check("RefreshKnownRegString");
    std::string text;
    try {
        text = ReadRegString(root, keyPath, valueName, view);
    } catch (const std::exception&) {
        LogCaught("RegChangeTimer refresh");
        return;
    }
    for (TRegMonitor& watch : ValueWatches) {
        if (watch.Registry == root && watch.View == view && SameNameIgnoringCase(watch.KeyPath, keyPath) &&
            SameNameIgnoringCase(watch.ValueName, valueName))
            watch.KnownRegString = text;
    }
}

TRegistrySnapshot TRegistryWatches::TakeSnapshot() const {
    TRegistrySnapshot snapshot;
    for (const TRegMonitor& watch : ValueWatches) {
        try {
            snapshot.ValueData.emplace_back(ReadRegString(watch.Registry, watch.KeyPath, watch.ValueName, watch.View));
        } catch (const std::exception&) {
            LogCaught("registry snapshot of a watched value");
            snapshot.ValueData.emplace_back();
        }
    }
    return snapshot;
}

void TRegistryWatches::AcceptChangesSince(const TRegistrySnapshot& before) {
    const TRegistrySnapshot now = TakeSnapshot();
    for (std::size_t i = 0; i < ValueWatches.size() && i < before.ValueData.size(); ++i) {
        if (now.ValueData[i] && now.ValueData[i] != before.ValueData[i]) ValueWatches[i].KnownRegString = *now.ValueData[i];
    }
}

void TRegistryWatches::RegChangeTimerTimer(WarningSink& queue) {
    while (!RegChangeTimerSlice(queue, WholePass())) {
    }
}

bool TRegistryWatches::RegChangeTimerSlice(WarningSink& queue, const SliceBudget& budget) {
    owner_.Check("RegChangeTimer");
    if (PassesHeld()) return true;
    return valueCursor_.Walk(ValueWatches.size(), valueWatchesAdded_, budget,
                             [&](std::size_t index) { CheckWatchedValue(ValueWatches[index], queue); });
}

void TRegistryWatches::CheckWatchedValue(TRegMonitor& watch, WarningSink& queue) {
    // A key or value that is gone reads as empty and is reported; one that cannot be read
    // (access refused, another type) is skipped for this pass: nothing to compare.
    std::string text;
    try {
        const std::optional<RegistryKey> key = OpenInView(watch.Registry, watch.KeyPath, watch.View);
        if (key) text = key->ReadString(watch.ValueName).value_or(std::string());
    } catch (const std::exception&) {
        LogCaught("RegChangeTimer");
        return;
    }
    if (text == watch.KnownRegString) return;
    auto warning = std::make_unique<TBrowserSettingWarning>(watch.Registry, watch.KeyPath, watch.ValueName,
                                                            watch.KnownRegString, text, watch.View);
    if (judge_) {
        try {
            DangerVerdict verdict =
                judge_({.address = text, .where = watch.KeyPath, .item = watch.ValueName, .data = text});
            warning->DangerReasons = std::move(verdict.reasons);
            warning->MaliciousHost = std::move(verdict.maliciousHost);
        } catch (const std::exception&) {
            LogCaught("browser setting danger rules");
        }
    }
    queue.QueueWarning(std::move(warning));
    watch.KnownRegString = text;
}

void TRegistryWatches::RegistryTimerTimer(const TThreatTables& tables, WarningSink& queue) {
    while (!RegistryTimerSlice(tables, queue, WholePass())) {
    }
}

bool TRegistryWatches::RegistryTimerSlice(const TThreatTables& tables, WarningSink& queue, const SliceBudget& budget) {
    owner_.Check("RegistryTimer");
    const TDataBase& dataBase = tables.DataBase();
    const TTable* table = dataBase.FindTable(kRegEntriesTable);
    const std::size_t rows = table == nullptr ? 0 : static_cast<std::size_t>(table->RowCount());
    if (regEntryAbsent_.size() != rows || regEntryAbsentFor_ != tables.Generation()) {
        regEntryAbsent_.assign(rows, false);
        regEntryAbsentFor_ = tables.Generation();
    }
    // Any change below a key the rows start from ("HKLM\\SOFTWARE") may have made an entry:
    // every row is checked again.
    bool changed = false;
    for (auto& [name, top] : regEntryTops_) {
        const std::uint64_t generation = top.watch->Generation();
        changed = changed || generation != top.seen;
        top.seen = generation;
    }
    if (changed) std::fill(regEntryAbsent_.begin(), regEntryAbsent_.end(), false);
    return regEntryCursor_.Walk(rows, tables.Generation(), budget, [&](std::size_t row) {
        if (regEntryAbsent_[row]) return;
        regEntryAbsent_[row] = CheckRegEntryRow(dataBase, static_cast<int>(row), queue, regEntryTops_);
    });
}

bool TRegistryWatches::CheckRegEntryRow(const TDataBase& dataBase, int row, WarningSink& queue, TopWatches& tops) {
    std::string path;
    std::int32_t spywareRef = 0;
    if (!dataBase.GetStringCell(kRegEntriesTable, kRegPathColumn, row, path)) return false;
    if (!dataBase.GetIntCell(kRegEntriesTable, kSpywareRefColumn, row, spywareRef)) return false;

    const TRegEntryTarget target = RegEntryTargetOf(std::move(path));
    // A row with no key below its root ("HKEY_CURRENT_USER\\", an empty text) would name the
    // root itself, whose remedy is deleting the whole hive: such a row is no entry.
    if (target.Parent == "\\") return false;
    bool absent = true;
    for (const RegistryView view : WatchedViews(target.Root)) {
        // The watch of the key the row starts from is set before the row is read, so a parent
        // made after the reading is seen.
        const std::string top = target.Parent.substr(0, target.Parent.find('\\'));
        std::string name = std::to_string(static_cast<int>(target.Root)) + ":" +
                           std::to_string(static_cast<int>(view)) + ":" + top;
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        TopWatch& watch = tops[name];
        if (!watch.watch) {
            watch.watch = std::make_unique<platform::RegistryWatch>(ToHkey(target.Root), top, ViewFlag(view), true);
            watch.seen = watch.watch->Generation();
        }
        absent = CheckRegEntry(target, view, queue) && absent;
    }
    return absent;
}

}  // namespace sentrel
