#include "monitors/WmiBitsSources.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "common/DiagnosticLog.h"
#include "database/Table.h"
#include "platform/HiddenProcess.h"
#include "platform/Win32Error.h"
#include "warnings/AutostartEntryData.h"
#include "warnings/WmiBitsKeptWin.h"
#include "warnings/WmiBitsWarnings.h"

namespace sentrel {

namespace {

// What the listings share with their finishes, which may outlive the source.
struct Listings {
    bool running = false;
    bool unsupported = false;  // this system cannot list them: never asked again
    bool failing = false;      // the last listing failed (logged once for a row of failures)
    ULONGLONG startedAt = 0;
    // The last listing's entries for each row, and the gate's count when it began; emptied row by
    // row as the rows take them.
    std::vector<std::optional<std::vector<AutostartEntry>>> results;
    std::uint64_t generation = 0;
};

// Lists off the window thread and hands each row the entries; the kinds below say what is listed
// and what a finding's warning is.
class ListedSource : public AutostartSource {
public:
    using Lister = std::function<std::vector<AutostartEntry>()>;

    ListedSource(AutostartPointKind kind, std::vector<AutostartPoint> points, std::shared_ptr<const AutostartGate> gate,
                 AutostartRunner runner, unsigned intervalMs, Lister lister, std::string what,
                 std::function<bool(DWORD code)> isMissing)
        : kind_(kind),
          gate_(std::move(gate)),
          runner_(std::move(runner)),
          lister_(std::move(lister)),
          intervalMs_(intervalMs),
          what_(std::move(what)),
          isMissing_(std::move(isMissing)) {
        for (AutostartPoint& point : points) {
            std::string id = AutostartKindWord(kind) + " " + point.path;
            units_.push_back({std::move(point), std::move(id)});
        }
        listings_->results.resize(units_.size());
    }

    std::size_t PointCount() const override { return units_.size(); }
    const std::string& PointId(std::size_t point) const override { return units_[point].id; }
    AutostartPointKind PointKind(std::size_t) const override { return kind_; }

    std::optional<std::vector<AutostartEntry>> Read(std::size_t index) override {
        Listings& listings = *listings_;
        if (listings.unsupported) return std::nullopt;
        std::optional<std::vector<AutostartEntry>> entries = std::move(listings.results[index]);
        listings.results[index].reset();
        // A listing begun before a fix or an undo may miss its change: it is not used.
        if (entries && listings.generation != gate_->Generation()) {
            for (auto& result : listings.results) result.reset();
            entries.reset();
        }
        StartListing();
        return entries;
    }

protected:
    const std::string& Id(std::size_t index) const { return units_[index].id; }

private:
    // A new listing when none runs, every row has taken the last one and the interval has passed.
    void StartListing() {
        Listings& listings = *listings_;
        if (listings.running || listings.unsupported) return;
        for (const auto& result : listings.results)
            if (result) return;
        const ULONGLONG now = GetTickCount64();
        if (listings.startedAt != 0 && now - listings.startedAt < intervalMs_) return;

        struct Outcome {
            std::vector<AutostartEntry> entries;
            std::optional<platform::Win32Error> error;
            std::string otherError;
        };
        auto outcome = std::make_shared<Outcome>();
        listings.running = true;
        listings.startedAt = now;
        auto work = [outcome, lister = lister_] {
            try {
                outcome->entries = lister();
            } catch (const platform::Win32Error& error) {
                outcome->error = error;
            } catch (const std::exception& error) {
                outcome->otherError = error.what();
            }
        };
        auto finish = [shared = listings_, outcome, what = what_, isMissing = isMissing_,
                       generation = gate_->Generation()] {
            Listings& done = *shared;
            done.running = false;
            if (outcome->error && isMissing(outcome->error->Code())) {
                done.unsupported = true;
                LogEvent(what + ": this system cannot list them (" + std::string(outcome->error->what()) +
                         "); they are not watched");
                return;
            }
            if (outcome->error || !outcome->otherError.empty()) {
                if (!done.failing)
                    LogEvent(what + " could not be listed: " +
                             (outcome->error ? std::string(outcome->error->what()) : outcome->otherError));
                done.failing = true;
                return;
            }
            done.failing = false;
            done.generation = generation;
            for (auto& result : done.results) result = outcome->entries;
        };
        try {
            runner_(std::move(work), std::move(finish));
        } catch (const std::exception&) {
            listings.running = false;
            LogCaught(what_ + " listing start");
        }
    }

    struct Unit {
        AutostartPoint point;
        std::string id;
    };
    AutostartPointKind kind_;
    std::vector<Unit> units_;
    std::shared_ptr<const AutostartGate> gate_;
    AutostartRunner runner_;
    Lister lister_;
    unsigned intervalMs_;
    std::string what_;
    std::function<bool(DWORD code)> isMissing_;
    std::shared_ptr<Listings> listings_ = std::make_shared<Listings>();
};

// The permanent subscriptions live in root\subscription alone: a row naming another namespace
// would watch nothing.
std::vector<AutostartPoint> WmiPoints(const std::vector<AutostartPoint>& points) {
    std::vector<AutostartPoint> chosen;
    for (AutostartPoint& point : AutostartPointsOfKind(points, AutostartPointKind::WmiSubscriptions)) {
        if (SameNameIgnoringCase(point.path, platform::kSubscriptionNamespace)) {
            chosen.push_back(std::move(point));
        } else {
            LogEvent("autostart points: the WMI namespace \"" + point.path + "\" is not " +
                     std::string(platform::kSubscriptionNamespace) + " and is not watched");
        }
    }
    return chosen;
}

// A listed source whose finding is a `Warning` of the entry's item and kept objects.
template <class Warning>
class ListedWarningsSource final : public ListedSource {
public:
    using ListedSource::ListedSource;

    std::unique_ptr<TWarning> MakeWarning(std::size_t index, const AutostartFinding& finding,
                                          bool knownProgram) override {
        auto warning = std::make_unique<Warning>(Id(index), finding.entry.item, finding.entry.raw);
        if (finding.change == AutostartChange::Changed && finding.before) {
            warning->Changed = true;
            warning->OldRaw = finding.before->raw;
        }
        warning->KnownProgram = knownProgram;
        return warning;
    }
};
using WmiSubscriptionsSource = ListedWarningsSource<WmiSubscriptionWarning>;
using BitsJobsSource = ListedWarningsSource<BitsJobWarning>;

bool BitsMissing(DWORD code) {
    return code == static_cast<DWORD>(E_NOTIMPL) || code == static_cast<DWORD>(E_NOINTERFACE) ||
           code == static_cast<DWORD>(REGDB_E_CLASSNOTREG);
}

}  // namespace

std::vector<AutostartEntry> WmiSubscriptionEntries(const std::vector<platform::WmiSubscription>& subscriptions) {
    // The consumers in the order first met, each with every filter and binding that starts it.
    std::vector<std::vector<KeptObject>> consumers;
    for (const platform::WmiSubscription& subscription : subscriptions) {
        auto same = std::find_if(consumers.begin(), consumers.end(), [&](const std::vector<KeptObject>& objects) {
            return SameNameIgnoringCase(objects.front().path, subscription.consumer.path);
        });
        if (same == consumers.end()) {
            consumers.push_back({KeptWmiObject("consumer", subscription.consumer)});
            same = consumers.end() - 1;
        }
        const bool filterKept = std::any_of(same->begin(), same->end(), [&](const KeptObject& object) {
            return object.role == "filter" && SameNameIgnoringCase(object.path, subscription.filter.path);
        });
        if (!filterKept) same->push_back(KeptWmiObject("filter", subscription.filter));
        same->push_back(KeptWmiObject("binding", subscription.binding));
    }
    std::vector<AutostartEntry> entries;
    for (const std::vector<KeptObject>& objects : consumers)
        entries.push_back({objects.front().path, WmiSubscriptionData(objects), KeptObjectsRaw(kWmiRawMark, objects)});
    return entries;
}

std::vector<AutostartEntry> BitsJobEntries(const std::vector<platform::BitsJob>& jobs) {
    std::vector<AutostartEntry> entries;
    for (const platform::BitsJob& job : jobs) {
        const std::vector<KeptObject> objects = KeptBitsJob(job);
        entries.push_back({job.id, BitsJobData(objects), KeptObjectsRaw(kBitsRawMark, objects)});
    }
    return entries;
}

ServiceEntriesLister ListWmiHere(WmiLister lister) {
    return [lister = std::move(lister)] { return WmiSubscriptionEntries(lister()); };
}

ServiceEntriesLister ListBitsHere(BitsLister lister) {
    return [lister = std::move(lister)] { return BitsJobEntries(lister()); };
}

namespace {

// The helper's output: "ok", the entries as a baseline's lines of one point, and "end", so that
// an output cut short is not taken for fewer entries; or "error <code>" and the message.
constexpr std::string_view kListedMark = "ok\n";
constexpr std::string_view kEndMark = "end\n";
constexpr std::string_view kFailedMark = "error ";
constexpr const char* kListedPoint = "listed";
// A listing has no reason to take long or to be large; a helper that does is stuck or broken.
constexpr DWORD kHelperTimeoutMs = 120000;
constexpr std::size_t kHelperMaxOutput = 16 * 1024 * 1024;

std::vector<AutostartEntry> EntriesOfHelperOutput(std::string_view output, const std::string& commandLine) {
    if (output.starts_with(kFailedMark)) {
        output.remove_prefix(kFailedMark.size());
        const std::size_t lineEnd = output.find('\n');
        const std::string code(output.substr(0, lineEnd));
        // The call it names; the system's message for the code is added again here.
        std::string message(lineEnd == std::string_view::npos ? "" : output.substr(lineEnd + 1));
        if (const std::size_t failed = message.rfind(" failed: "); failed != std::string::npos) message.resize(failed);
        char* end = nullptr;
        const unsigned long value = std::strtoul(code.c_str(), &end, 10);
        if (!code.empty() && end && *end == '\0') throw platform::Win32Error(message, static_cast<DWORD>(value));
    } else if (output.starts_with(kListedMark) && output.ends_with(kEndMark)) {
        output.remove_prefix(kListedMark.size());
        output.remove_suffix(kEndMark.size());
        AutostartBaseline listed = ParseAutostartBaseline(output);
        return std::move(listed[kListedPoint]);
    }
    throw platform::Win32Error(commandLine + " gave no listing", ERROR_INVALID_DATA);
}

bool WriteAll(HANDLE out, std::string_view text) {
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1 << 20));
        if (!WriteFile(out, text.data(), chunk, &written, nullptr) || written == 0) return false;
        text.remove_prefix(written);
    }
    return true;
}

}  // namespace

ServiceEntriesLister ListInHelper(std::string programPath, AutostartPointKind kind) {
    return [programPath = std::move(programPath), kind] {
        const std::string commandLine =
            "\"" + programPath + "\" " + std::string(kListingSwitch) + " " + AutostartKindWord(kind);
        const platform::HiddenRunOutcome outcome =
            platform::RunHiddenAndRead(commandLine, kHelperTimeoutMs, kHelperMaxOutput);
        if (outcome.exitCode > 1)
            throw platform::Win32Error(commandLine + " ended with code " + std::to_string(outcome.exitCode),
                                       ERROR_INVALID_DATA);
        return EntriesOfHelperOutput(outcome.output, commandLine);
    };
}

int WriteListingToStandardOutput(std::string_view word) {
    ServiceEntriesLister lister;
    if (word == AutostartKindWord(AutostartPointKind::WmiSubscriptions)) lister = ListWmiHere();
    if (word == AutostartKindWord(AutostartPointKind::BitsJobs)) lister = ListBitsHere();
    if (!lister) return 2;
    std::string output;
    int code = 0;
    try {
        output = std::string(kListedMark) + AutostartBaselineText({{kListedPoint, lister()}}) + std::string(kEndMark);
    } catch (const platform::Win32Error& error) {
        output = std::string(kFailedMark) + std::to_string(error.Code()) + "\n" + error.what();
        code = 1;
    } catch (const std::exception& error) {
        output = std::string(kFailedMark) + std::to_string(ERROR_INVALID_FUNCTION) + "\n" + error.what();
        code = 1;
    }
    return WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), output) ? code : 1;
}

std::unique_ptr<AutostartSource> MakeWmiSubscriptionsSource(const std::vector<AutostartPoint>& points,
                                                            std::shared_ptr<const AutostartGate> gate,
                                                            AutostartRunner runner, unsigned intervalMs,
                                                            ServiceEntriesLister lister) {
    return std::make_unique<WmiSubscriptionsSource>(
        AutostartPointKind::WmiSubscriptions, WmiPoints(points), std::move(gate), std::move(runner), intervalMs,
        std::move(lister), "WMI event subscriptions",
        [](DWORD code) { return platform::IsWmiMissing(code); });
}

std::unique_ptr<AutostartSource> MakeBitsJobsSource(const std::vector<AutostartPoint>& points,
                                                    std::shared_ptr<const AutostartGate> gate, AutostartRunner runner,
                                                    unsigned intervalMs, ServiceEntriesLister lister) {
    return std::make_unique<BitsJobsSource>(
        AutostartPointKind::BitsJobs, AutostartPointsOfKind(points, AutostartPointKind::BitsJobs), std::move(gate),
        std::move(runner), intervalMs, std::move(lister),
        "background transfers (BITS jobs)", &BitsMissing);
}

}  // namespace sentrel
