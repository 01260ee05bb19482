#pragma once
// The warnings of two autostart sources that live in system services (monitors/WmiBitsSources.h):
// a WMI event subscription that runs a command line or a script, and a background transfer
// (BITS job) of the user's that runs a program when it ends. Both keep in Raw what their fix
// removes and their undo makes again (warnings/AutostartEntryData.h, KeptObjectsRaw).

#include <string>
#include <string_view>
#include <vector>

#include "warnings/AutostartEntryData.h"
#include "warnings/Warning.h"

namespace sentrel {

// A consumer new in root\subscription (or, Changed, one that runs something else or at another
// event now). Name is the consumer's name, ConsumerPath its path (`CommandLineEventConsumer.
// Name="x"`); Raw keeps the consumer, its filters and bindings; OldRaw as the shield knew them.
class WmiSubscriptionWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "WmiSubscriptionWarning";

    WmiSubscriptionWarning(std::string pointId, std::string consumerPath, std::string raw);
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string ConsumerPath;
    std::string Raw;
    bool Changed = false;
    std::string OldRaw;
    bool KnownProgram = false;
};

// A job of the user's with a notify command, new (or, Changed, one whose command is another now).
// Name is the job's display name, JobId its id; Raw keeps the job (name, type, notify command and
// flags, files); OldRaw as the shield knew it.
class BitsJobWarning : public TWarning {
public:
    static constexpr std::string_view kClassName = "BitsJobWarning";

    BitsJobWarning(std::string pointId, std::string jobId, std::string raw);
    bool AreEqual(const TWarning& other) const override;

    std::string PointId;
    std::string JobId;
    std::string Raw;
    bool Changed = false;
    std::string OldRaw;
    bool KnownProgram = false;
};

// What a consumer runs, in plain words: its command line (the program first), or its script's
// file, or its engine and code.
std::string WmiConsumerRuns(const KeptObject& consumer);
// A subscription entry's data: what its consumer runs and the queries of its filters,
// "C:\x\y.exe -z when: SELECT ...".
std::string WmiSubscriptionData(const std::vector<KeptObject>& objects);
// The name in a consumer's path (x of `Class.Name="x"`); the path itself when it has none.
std::string WmiNameOfPath(const std::string& path);

// The command a job runs when it ends: its program (quoted when it holds a space) and parameters.
std::string BitsJobCommand(const KeptObject& job);
// A job entry's data: its command, then its name and the addresses it transfers.
std::string BitsJobData(const std::vector<KeptObject>& objects);

// What an administrator is to remove from root\subscription for the subscription, in plain words.
std::string WmiRemovalAdvice(const WmiSubscriptionWarning& warning);

namespace texts {
WarningTexts WmiSubscriptionTexts(const TWarning& warning);
WarningTexts BitsJobTexts(const TWarning& warning);
}  // namespace texts

}  // namespace sentrel
