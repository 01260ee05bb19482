#pragma once
// Two sources of the autostart monitor that live in system services: the permanent WMI event
// subscriptions ("wmi" rows of the table) and the user's background transfers that run a command
// when they end ("bits" rows). Both are listed through COM by `runner` off the window thread, at
// most every `intervalMs` (neither service tells of its changes), and a listing counts only when
// no fix or undo held or accepted a point of `gate` while it was made, as for the scheduled tasks
// (monitors/StartupSources.h). Where the system lacks the service or the calls (Wine), the
// diagnostic log says so once and the rows hold nothing to compare. The shield lists them in a
// helper process, so that what a listing loads does not stay.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitors/AutostartMonitor.h"
#include "monitors/StartupSources.h"
#include "platform/BitsJobs.h"
#include "platform/WmiSubscriptions.h"

namespace sentrel {

// Lists the subscriptions (platform::ListWmiSubscriptions; throws Win32Error).
using WmiLister = std::function<std::vector<platform::WmiSubscription>()>;
// Lists the user's jobs with a notify command (platform::ListBitsJobsWithCommands; throws Win32Error).
using BitsLister = std::function<std::vector<platform::BitsJob>()>;
// Lists the entries of one of the two kinds (throws Win32Error).
using ServiceEntriesLister = std::function<std::vector<AutostartEntry>()>;

// The entries listed by `lister` in this process.
ServiceEntriesLister ListWmiHere(WmiLister lister = platform::ListWmiSubscriptions);
ServiceEntriesLister ListBitsHere(BitsLister lister = platform::ListBitsJobsWithCommands);

// The entries of `kind` (WmiSubscriptions or BitsJobs) listed by the program `programPath` started
// as a helper (kListingSwitch): the libraries and connections of a listing end with it instead of
// staying in the shield between listings. Its failures are thrown as it met them (Win32Error with
// the system's code), a helper that fails otherwise as Win32Error too.
ServiceEntriesLister ListInHelper(std::string programPath, AutostartPointKind kind);

// The switch that makes the program such a helper: "<program> /ListAutostarts wmi|bits".
inline constexpr std::string_view kListingSwitch = "/ListAutostarts";
// The helper's work: lists the kind named by `word` (its AutostartKindWord) here and writes the
// outcome to standard output. The process's exit code: 0 listed, 1 failed, 2 no such kind.
int WriteListingToStandardOutput(std::string_view word);

// The "wmi" rows (root\subscription, the one namespace of permanent subscriptions): an entry per
// consumer that runs something, by its path, shown with what it runs and when (the queries of the
// filters bound to it), keeping the consumer, its filters and bindings for the fix and undo.
std::unique_ptr<AutostartSource> MakeWmiSubscriptionsSource(const std::vector<AutostartPoint>& points,
                                                            std::shared_ptr<const AutostartGate> gate,
                                                            AutostartRunner runner, unsigned intervalMs,
                                                            ServiceEntriesLister lister);

// The "bits" rows: an entry per job, by its id, shown with its command, name and files, keeping
// what a job made again needs.
std::unique_ptr<AutostartSource> MakeBitsJobsSource(const std::vector<AutostartPoint>& points,
                                                    std::shared_ptr<const AutostartGate> gate, AutostartRunner runner,
                                                    unsigned intervalMs, ServiceEntriesLister lister);

// The entries of a listing, one per consumer (its bindings and filters together) and per job.
std::vector<AutostartEntry> WmiSubscriptionEntries(const std::vector<platform::WmiSubscription>& subscriptions);
std::vector<AutostartEntry> BitsJobEntries(const std::vector<platform::BitsJob>& jobs);

}  // namespace sentrel
