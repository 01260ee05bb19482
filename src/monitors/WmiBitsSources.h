#pragma once
// Two sources of the autostart monitor that live in system services: the permanent WMI event
// subscriptions ("wmi" rows of the table) and the user's background transfers that run a command
// when they end ("bits" rows). Both are listed through COM by `runner` off the window thread, at
// most every `intervalMs` (neither service tells of its changes), and a listing counts only when
// no fix or undo held or accepted a point of `gate` while it was made, as for the scheduled tasks
// (monitors/StartupSources.h). Where the system lacks the service or the calls (Wine), the
// diagnostic log says so once and the rows hold nothing to compare.

#include <functional>
#include <memory>
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

// The "wmi" rows (root\subscription, the one namespace of permanent subscriptions): an entry per
// consumer that runs something, by its path, shown with what it runs and when (the queries of the
// filters bound to it), keeping the consumer, its filters and bindings for the fix and undo.
std::unique_ptr<AutostartSource> MakeWmiSubscriptionsSource(const std::vector<AutostartPoint>& points,
                                                            std::shared_ptr<const AutostartGate> gate,
                                                            AutostartRunner runner, unsigned intervalMs,
                                                            WmiLister lister = platform::ListWmiSubscriptions);

// The "bits" rows: an entry per job, by its id, shown with its command, name and files, keeping
// what a job made again needs.
std::unique_ptr<AutostartSource> MakeBitsJobsSource(const std::vector<AutostartPoint>& points,
                                                    std::shared_ptr<const AutostartGate> gate, AutostartRunner runner,
                                                    unsigned intervalMs,
                                                    BitsLister lister = platform::ListBitsJobsWithCommands);

// The entries of a listing, one per consumer (its bindings and filters together) and per job.
std::vector<AutostartEntry> WmiSubscriptionEntries(const std::vector<platform::WmiSubscription>& subscriptions);
std::vector<AutostartEntry> BitsJobEntries(const std::vector<platform::BitsJob>& jobs);

}  // namespace sentrel
