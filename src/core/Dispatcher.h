#pragma once
// The dispatcher: on every tick of MainTimer it takes the head of the warning queue and settles
// it, at most one warning per tick. In this order: the white list drops it, the black list fixes
// it, the first category whose standing action is "solve always" or "ignore always" fixes or
// drops it, the mode for new threats ("WhatDo") fixes or drops it; otherwise the alert window
// shows it and the user's choice settles it there (the warning stays current and the alert busy
// flag holds the dispatcher until then). A fix runs on a worker: the warning stays current until
// its finish has removed it, so no next warning is taken meanwhile.

#include <cstddef>
#include <functional>
#include <string>

#include "common/OwnerThread.h"
#include "core/BurstReport.h"
#include "monitors/SliceCursor.h"

namespace sentrel {

class TBackuper;
class TColorList;
class TOptions;
class TWarning;
class WarningQueue;
struct FixResult;

// The texts of a warning as the alert window shows them.
struct AlertTexts {
    std::string title;
    std::string description;
    std::string picture;
    std::string danger;
    std::string identity;  // WarningTexts::identity
    std::string signature;  // TWarning::SignatureText, on a line of its own
    std::string listFacts;  // TWarning::ListFacts: what the lists may hold instead of the description
    std::string command;    // TWarning::Command, on a line of its own
    std::string reasons;    // "Why it looks dangerous: ...", after the description; empty when none
};

// Option "WhatDo": what to do with a new threat no list or category settles.
enum class NewThreatMode : int {
    Ask = 0,
    ShieldWithoutPrompt = 1,
    DoNothing = 2,
};
inline constexpr const char* kWhatDoKey = "WhatDo";
inline constexpr int kWhatDoDefault = static_cast<int>(NewThreatMode::ShieldWithoutPrompt);

class TDispatcher {
public:
    struct Context {
        WarningQueue& queue;
        TColorList& whiteList;
        TColorList& blackList;
        TOptions& options;
        TBackuper& backuper;
        // Fills the alert window with the texts, sets the alert busy flag, shows the window and
        // brings it to the foreground.
        std::function<void(const AlertTexts&)> showAlert;
        // Tells the user, once at the end of a burst, what was removed without asking and what a
        // full queue dropped (a tray balloon). May be empty.
        std::function<void(const std::string&)> tellUser;
        // Says what an automatic fix has to tell the user, from a window of the shield.
        std::function<void(const std::string&)> tell;
    };

    explicit TDispatcher(Context context) : context_(std::move(context)) {}

    // One tick. A tick that fails part-way (a fix that raises, an alert that cannot be shown)
    // settles the warning it took, so the dispatcher is never held by it, and ends quietly.
    void MainTimerTimer();

    // Settles at once every warning waiting behind the current one that the lists or the
    // category actions decide (fixed or dropped, as a tick would), without an alert each; those
    // they leave to the mode or the user stay queued. What "Do it always with all such threats"
    // does to the waiting warnings. A walk stops when `budget` runs out, so that the windows
    // answer meanwhile; the next call goes on with it unless `fresh` begins a new one.
    struct WaitingSettled {
        std::size_t settled = 0;
        bool finished = true;  // every waiting warning was looked at
    };
    WaitingSettled SettleWaiting(const SliceBudget& budget = WholePass(), bool fresh = true);

    // The texts of `warning` as the alert shows them (made when the queue took it).
    static AlertTexts PrepareTexts(const TWarning& warning);

private:
    enum class Verdict { Ask, Drop, Fix };
    // What the white list, the black list and the category actions, in this order, say of a
    // warning with these texts; Ask when none of them decides.
    Verdict StandingVerdict(TWarning& warning, const AlertTexts& texts);
    // Settles the current warning: fixed first when `fix` (its finish removes it), else removed
    // from the queue at once.
    void Settle(bool fix);
    // The queue is empty and nothing is shown: the burst is told.
    void EndBurst();
    // A fix has ended: a failure is logged, a success counted for the burst, and what the fix
    // has to say is told.
    void FixEnded(const FixResult& result);
    // One slice of SettleWaiting.
    WaitingSettled WalkWaiting(const SliceBudget& budget, bool fresh);

    Context context_;
    // The window thread: the ticks, the walks and the fixes' ends run there, with the queue's.
    OwnerThread owner_;
    BurstReport burst_;
    // The waiting warnings the walk under way found to be left to the user.
    std::vector<const TWarning*> leftToUser_;
    // Set while a fix of the walk acts: no tick may take that warning, should it become the head
    // meanwhile.
    bool fixingWaiting_ = false;
    // Set between the slices of an unfinished walk (its fixes act one at a time on a worker): no
    // tick takes the head before the walk has settled what waits behind it.
    bool walkUnderway_ = false;
};

}  // namespace sentrel
