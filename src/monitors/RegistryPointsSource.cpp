// The registry points of the table, read in every view they are watched in.
#include "monitors/RegistryPointsSource.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/TextCase.h"
#include "database/PathParts.h"
#include "database/Table.h"
#include "platform/Registry.h"
#include "platform/RegistryWatch.h"
#include "warnings/AutostartWarning.h"
#include "warnings/RegistryFile.h"
#include "warnings/RootKeysWin.h"
#include "warnings/Warning.h"

namespace sentrel {

namespace {

using platform::RegistryAccess;
using platform::RegistryKey;

// Opens a key for reading in `view`; nothing when it is missing, and nothing in the 32-bit view
// for a key Windows shares between the views (the 64-bit reading has it). Throws when it cannot
// be read (access refused).
std::optional<RegistryKey> OpenPointKey(RegistryRoot root, const std::string& path, RegistryView view) {
    std::optional<RegistryKey> key = RegistryKey::Open(ToHkey(root), path, RegistryAccess::Read, ViewFlag(view));
    if (!key || view == RegistryView::Bits64) return key;
    const std::optional<RegistryKey> native =
        RegistryKey::Open(ToHkey(root), path, RegistryAccess::Read, ViewFlag(RegistryView::Bits64));
    if (native && platform::IsSameKey(key->Get(), native->Get())) return std::nullopt;
    return key;
}

std::string RawText(const platform::RegistryValue& value) {
    return std::to_string(value.type) + ":" + HexFromBytes(value.data);
}

AutostartEntry EntryOf(const platform::RegistryValue& value) {
    return {value.name, RegistryDataAsText(value.type, value.data), RawText(value)};
}

// The policy keys of applications (SOFTWARE\Policies\<maker>\..., Windows' own aside) hold
// settings: web addresses, switches, lists of ids, not commands.
bool IsApplicationPolicyKey(const std::string& path) {
    const auto startsWith = [&](std::string_view prefix) {
        return path.size() >= prefix.size() && SameNameIgnoringCase(std::string_view(path).substr(0, prefix.size()), prefix);
    };
    return startsWith("SOFTWARE\\Policies\\") && !startsWith("SOFTWARE\\Policies\\Microsoft\\Windows\\");
}

// Whether a file name is that of a program, a library or a script: data naming none (a class
// name like "Word.Document.8", an empty handler value, a switch) is a setting.
bool NamesProgramFile(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot + 1);
    for (const std::string_view known : {"exe", "com", "bat", "cmd", "scr", "pif", "dll", "ocx", "cpl", "sys", "drv",
                                         "vbs", "vbe", "js", "jse", "wsf", "wsh", "hta", "ps1", "msi", "lnk", "xll", "jar"})
        if (SameNameIgnoringCase(extension, known)) return true;
    return false;
}

class RegistryPointsSource final : public AutostartSource {
public:
    explicit RegistryPointsSource(const std::vector<AutostartPoint>& points) {
        for (const AutostartPoint& point : points) {
            if (!point.IsRegistry()) continue;
            const std::vector<RegistryView> views =
                point.root == RegistryRoot::LocalMachine
                    ? std::vector<RegistryView>{RegistryView::Bits64, RegistryView::Bits32}
                    : std::vector<RegistryView>{RegistryView::Bits64};
            for (const RegistryView view : views) {
                Unit unit{point, view, RegistryPointId(point, view)};
                unit.watch = WatchOf(point.root, point.path, view, point.kind == AutostartPointKind::SubKeys);
                // A row that also looks at another key (a shadowed class) is read again when a
                // subkey is made or deleted there too.
                if (point.shadowsRoot) unit.shadowWatch = WatchOf(*point.shadowsRoot, point.shadowsPath, view, false);
                units_.push_back(std::move(unit));
            }
        }
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t point) const override { return units_[point].point.kind; }

    // The system is asked about every watched key at once.
    void PassStarts() override {
        std::vector<platform::RegistryWatch*> watches;
        watches.reserve(watches_.size());
        for (const auto& [name, watch] : watches_) watches.push_back(watch.get());
        platform::RegistryWatch::Poll(watches);
    }

    // A key that has not changed since its last reading gives that reading again.
    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Unit& unit = units_[index];
        // Each watch's number only grows: their sum moves on when either moves on.
        const std::uint64_t generation =
            unit.watch->Generation() + (unit.shadowWatch ? unit.shadowWatch->Generation() : 0);
        if (unit.last && generation == unit.readAt) return unit.last;
        unit.last = ReadNow(index);
        unit.readAt = generation;
        return unit.last;
    }

    std::optional<std::vector<AutostartEntry>> ReadNow(std::size_t index) {
        const Unit& unit = units_[index];
        try {
            const std::optional<RegistryKey> key = OpenPointKey(unit.point.root, unit.point.path, unit.view);
            if (!key) return std::vector<AutostartEntry>{};
            std::vector<AutostartEntry> entries;
            switch (unit.point.kind) {
            case AutostartPointKind::KeyValues:
            case AutostartPointKind::AutorunValues:
                for (const platform::RegistryValue& value : key->Values())
                    if (AutostartPointCounts(unit.point, value.name)) entries.push_back(EntryOf(value));
                break;
            case AutostartPointKind::OneValue:
                if (const auto value = key->ReadValue(unit.point.values.front())) entries.push_back(EntryOf(*value));
                break;
            case AutostartPointKind::SubKeys:
                for (const std::string& name : key->SubKeyNames()) {
                    if (unit.point.shadowsRoot && !RegistryKey::Open(ToHkey(*unit.point.shadowsRoot),
                                                                     unit.point.shadowsPath + "\\" + name))
                        continue;
                    if (auto entry = SubKeyEntry(*key, name, unit.point.values)) entries.push_back(std::move(*entry));
                }
                break;
            default:
                break;
            }
            return entries;
        } catch (const std::exception&) {
            LogCaught("autostart point " + unit.id);
            return std::nullopt;
        }
    }

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding,
                                          bool knownProgram) override {
        const Unit& unit = units_[index];
        if (unit.point.kind == AutostartPointKind::AutorunValues && finding.change == AutostartChange::Added) {
            // A new program in the autorun list, named as the autorun list always named it: by
            // the file-name part of the whole data.
            auto warning = std::make_unique<TAutorunAddWarning>(
                unit.point.root, std::string(PathFileName(finding.entry.data)), unit.point.path, finding.entry.item,
                finding.entry.data, unit.view);
            warning->KnownProgram = knownProgram;
            warning->PointId = unit.id;
            return warning;
        }
        // A policy setting that goes gives the browser its own setting back: nothing to put back.
        if (finding.change == AutostartChange::Vanished && IsApplicationPolicyKey(unit.point.path)) return nullptr;
        const auto change = finding.change == AutostartChange::Added     ? AutostartPointWarning::Change::Added
                            : finding.change == AutostartChange::Changed ? AutostartPointWarning::Change::Changed
                                                                         : AutostartPointWarning::Change::Vanished;
        auto warning = std::make_unique<AutostartPointWarning>(change, unit.id, unit.point.name, unit.point.root,
                                                                unit.point.path, unit.view, finding.entry.item,
                                                                unit.point.kind == AutostartPointKind::SubKeys);
        if (finding.change != AutostartChange::Vanished) {
            warning->Command = finding.entry.data;
            warning->Raw = finding.entry.raw;
        }
        if (finding.before) {
            warning->OldCommand = finding.before->data;
            warning->OldRaw = finding.before->raw;
        }
        const std::string program(PathFileName(CommandProgram(finding.entry.data)));
        if (!program.empty() && unit.point.kind != AutostartPointKind::SubKeys) warning->Name = program;
        // Data that names no file (a class name, an empty handler value) is a setting, not a program.
        warning->RunsProgram = unit.point.kind != AutostartPointKind::SubKeys && !IsApplicationPolicyKey(unit.point.path) &&
                               NamesProgramFile(program);
        warning->KnownProgram = knownProgram;
        return warning;
    }

private:
    struct Unit {
        AutostartPoint point;
        RegistryView view;
        std::string id;
        std::shared_ptr<platform::RegistryWatch> watch;        // shared by the rows of one key
        std::shared_ptr<platform::RegistryWatch> shadowWatch;  // the shadowed key's, if any
        std::uint64_t readAt = 0;
        std::optional<std::vector<AutostartEntry>> last;
    };

    std::shared_ptr<platform::RegistryWatch> WatchOf(RegistryRoot root, const std::string& path, RegistryView view,
                                                     bool subtree) {
        std::string name = std::to_string(static_cast<int>(view)) + (subtree ? "+" : " ") +
                           (root == RegistryRoot::LocalMachine ? "HKLM\\" : "HKCU\\") + path;
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::shared_ptr<platform::RegistryWatch>& watch = watches_[name];
        if (!watch) watch = std::make_shared<platform::RegistryWatch>(ToHkey(root), path, ViewFlag(view), subtree);
        return watch;
    }
    std::map<std::string, std::shared_ptr<platform::RegistryWatch>, std::less<>> watches_;

    // A subkey is an entry when it holds one of the run values (all of them shown,
    // "Name=data; ..."); with none listed, every subkey is, with its default value.
    static std::optional<AutostartEntry> SubKeyEntry(const RegistryKey& parent, const std::string& name,
                                                     const std::vector<std::string>& runValues) {
        const std::optional<RegistryKey> subKey = RegistryKey::Open(parent.Get(), name);
        if (!subKey) return std::nullopt;
        if (runValues.empty()) {
            const auto value = subKey->ReadValue("");
            return AutostartEntry{name, value ? RegistryDataAsText(value->type, value->data) : std::string(), {}};
        }
        std::string shown;
        for (const std::string& runValue : runValues) {
            const std::size_t slash = runValue.rfind('\\');
            std::optional<platform::RegistryValue> value;
            if (slash == std::string::npos) {
                value = subKey->ReadValue(runValue);
            } else if (const auto below = RegistryKey::Open(subKey->Get(), runValue.substr(0, slash))) {
                value = below->ReadValue(runValue.substr(slash + 1));
            }
            if (!value) continue;
            if (!shown.empty()) shown += "; ";
            shown += (slash == std::string::npos ? runValue : runValue.substr(0, slash)) + "=" +
                     RegistryDataAsText(value->type, value->data);
        }
        if (shown.empty()) return std::nullopt;
        return AutostartEntry{name, shown, {}};
    }

    std::vector<Unit> units_;
};

}  // namespace

std::unique_ptr<AutostartSource> MakeRegistryPointsSource(const std::vector<AutostartPoint>& points) {
    return std::make_unique<RegistryPointsSource>(points);
}

}  // namespace sentrel
