#include "core/Dispatcher.h"

#include <algorithm>
#include <vector>

#include "common/DiagnosticLog.h"
#include "config/Options.h"
#include "core/CategoryActions.h"
#include "core/ColorList.h"
#include "core/WarningQueue.h"
#include "database/DangerRules.h"
#include "warnings/Warning.h"

namespace sentrel {

AlertTexts TDispatcher::PrepareTexts(const TWarning& warning) {
    // A host that spread malware makes any finding a known threat: the red alert.
    const std::string danger = warning.MaliciousHost.empty() ? warning.GetDanger() : std::string("_red");
    return {warning.GetTitle(),       warning.GetDescription(), warning.GetPicture(),
            danger,                   warning.Texts().identity, warning.SignatureText,
            warning.ListFacts,        warning.Command,          DangerReasonsLine(warning.DangerReasons)};
}

TDispatcher::Verdict TDispatcher::StandingVerdict(TWarning& warning, const AlertTexts& texts) {
    // A line holds the description the alert showed, or the finding's facts (TWarning::ListFacts).
    const auto listed = [&](const TColorList& list) {
        return list.Contains(texts.description) || (!texts.listFacts.empty() && list.Contains(texts.listFacts));
    };
    if (listed(context_.whiteList)) return Verdict::Drop;
    if (listed(context_.blackList)) {
        warning.SettledByBlackList = true;
        return Verdict::Fix;
    }
    for (std::string_view key : CategoryKeysOf(warning)) {
        if (key.empty()) break;
        switch (static_cast<CategoryAction>(context_.options.ReadInteger(key, 0))) {
        case CategoryAction::SolveAlways: return Verdict::Fix;
        case CategoryAction::IgnoreAlways: return Verdict::Drop;
        default: break;
        }
    }
    return Verdict::Ask;
}

void TDispatcher::MainTimerTimer() {
    owner_.Check("TDispatcher::MainTimerTimer");
    WarningQueue& queue = context_.queue;
    if (fixingWaiting_ || walkUnderway_ || queue.BeingFixed() || queue.AlertBusy() || queue.Current() != nullptr)
        return;
    if (queue.Empty()) return EndBurst();
    TWarning& warning = *queue.MakeHeadCurrent();

    try {
        // The lists hold descriptions as the alert window showed them.
        const AlertTexts texts = PrepareTexts(warning);

        switch (StandingVerdict(warning, texts)) {
        case Verdict::Fix: return Settle(true);
        case Verdict::Drop: return Settle(false);
        case Verdict::Ask: break;
        }

        switch (static_cast<NewThreatMode>(context_.options.ReadInteger(kWhatDoKey, kWhatDoDefault))) {
        case NewThreatMode::ShieldWithoutPrompt:
            return Settle(true);
        case NewThreatMode::DoNothing:
            return Settle(false);
        default:
            break;
        }

        // The warning stays current at the head of the queue; the alert window settles it.
        context_.showAlert(texts);
    } catch (...) {
        LogCaught("MainTimer");
        // Whatever failed, this warning must not hold the dispatcher for the rest of the run:
        // it leaves the queue (a fix that raised is not tried every second forever), and an
        // alert that could not be shown no longer holds the busy flag.
        if (queue.Current() == &warning && queue.BeingFixed() != &warning) {
            queue.SetAlertBusy(false);
            queue.RemoveHead();
        }
    }
}

TDispatcher::WaitingSettled TDispatcher::SettleWaiting(const SliceBudget& budget, bool fresh) {
    owner_.Check("TDispatcher::SettleWaiting");
    const WaitingSettled result = WalkWaiting(budget, fresh);
    walkUnderway_ = !result.finished;
    return result;
}

TDispatcher::WaitingSettled TDispatcher::WalkWaiting(const SliceBudget& budget, bool fresh) {
    WarningQueue& queue = context_.queue;
    if (fresh) leftToUser_.clear();
    WaitingSettled result;
    if (queue.BeingFixed()) {
        result.finished = false;
        return result;
    }
    // A fix may run a message loop that lets monitors queue more: the walk keeps to the
    // warnings that waited when this slice began, and each is looked up again before it is
    // touched.
    for (TWarning* warning : queue.Waiting()) {
        if (std::find(leftToUser_.begin(), leftToUser_.end(), warning) != leftToUser_.end()) continue;
        if (!budget()) {
            result.finished = false;
            return result;
        }
        const std::vector<TWarning*> now = queue.Waiting();
        if (std::find(now.begin(), now.end(), warning) == now.end()) continue;
        const Verdict verdict = StandingVerdict(*warning, PrepareTexts(*warning));
        if (verdict == Verdict::Ask) {
            leftToUser_.push_back(warning);
            continue;
        }
        if (verdict == Verdict::Fix) {
            fixingWaiting_ = true;
            try {
                queue.StartFix(*warning, context_.backuper, [this, warning](const FixResult& ended) {
                    fixingWaiting_ = false;
                    FixEnded(ended);
                    // As in a tick, a fix that raised is not tried again. Should the warning have
                    // become the head meanwhile, it goes as the head.
                    WarningQueue& fixedIn = context_.queue;
                    if (!fixedIn.RemoveWaiting(warning) && fixedIn.Head() == warning && !fixedIn.Current())
                        fixedIn.RemoveHead();
                });
            } catch (...) {
                fixingWaiting_ = false;
                LogCaught("settling the waiting warnings");
                queue.RemoveWaiting(warning);
            }
            ++result.settled;
            // One fix at a time: while it acts on a worker, the walk waits for its finish.
            if (queue.BeingFixed()) {
                result.finished = false;
                return result;
            }
            continue;
        }
        if (queue.RemoveWaiting(warning)) ++result.settled;
    }
    leftToUser_.clear();
    return result;
}

void TDispatcher::Settle(bool fix) {
    WarningQueue& queue = context_.queue;
    if (!fix) return queue.RemoveHead();
    // A fix that failed is logged, and its warning leaves the queue all the same: it is not
    // tried every second forever.
    queue.StartFix(*queue.Current(), context_.backuper, [this](const FixResult& result) {
        FixEnded(result);
        context_.queue.RemoveHead();
    });
}

void TDispatcher::FixEnded(const FixResult& result) {
    if (result.error) {
        try {
            std::rethrow_exception(result.error);
        } catch (...) {
            LogCaught("fix");
        }
    } else {
        burst_.NoteRemoved();
    }
    if (context_.tell) {
        for (const std::string& notice : result.notices) context_.tell(notice);
    }
}

void TDispatcher::EndBurst() {
    const std::string text = burst_.End(context_.queue.TakeRefusedWhileFull());
    if (text.empty()) return;
    LogEvent("burst settled: " + text);
    if (context_.tellUser) context_.tellUser(text);
}

}  // namespace sentrel
